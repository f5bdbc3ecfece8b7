// SFXmisc: path and file-system helpers shared by the whole program.
//
// They live in archive/ beside the walker because most of them serve the
// file-system side of extraction (entry paths, existence, directory creation,
// time stamps); the configuration reader, the destination resolution, the
// dialogs and the command use the same helpers rather than keeping their own.
//
// Paths are 8-bit ANSI texts; "\" is the separator the program produces, "/" is
// accepted wherever a separator is looked for, and ":" ends a drive prefix.
// Helpers that "return a string" write it into a buffer the caller supplies,
// always NUL-terminated and always within the size stated for that helper.
#pragma once
#include "platform/win32.h"

// Number of bytes before the NUL.
int TextLength(const char *text);
// The program's one bounded copy: copies `count` bytes of `buffer` into `out`
// (count + 1 bytes of room), cut before the first NUL byte of the buffer, and
// terminates it; a count of 0 or less gives the empty text. Reads nothing past
// that NUL, so it serves as the copy of any shorter text too. Returns the
// position of the NUL, where a following copy appends.
char *StringFromBuffer(char *out, const char *buffer, int count);
// True when both texts are equal; with ignoreCase, ASCII a-z equal A-Z.
bool TextEqual(const char *a, const char *b, bool ignoreCase);
// Appends "\" when the text is empty or does not end in "\", and only when it
// holds fewer than 260 characters.
void AppendBackslash(char *text);
// Replaces one trailing "\" by the NUL.
void StripBackslash(char *text);
// Turns every "/" of the text into "\".
void SlashesToBackslashes(char *text);
// The part after the last "\", "/" or ":" (the whole path when there is none),
// at most 255 characters; `out` has room for 256 bytes.
void FileNamePart(const char *path, char *out);
// The directory part of a path (drive roots keep their separator); `out` has
// room for the path's length plus one.
void DirectoryPart(const char *path, char *out);
// True when a file or directory of that path exists; a text ending in "\" is
// taken for a directory. The text is left as it is; a directory text too long
// for the helper's own pattern buffer is reported absent.
bool PathExists(const char *text);
// Creates the directory and every missing parent, outermost first; no result.
// A text longer than MAX_PATH creates nothing.
void CreateDirectoryTree(const char *dir);
// Sets the file's last-write time from a DOS value (time low, date high, local);
// an impossible date or time leaves the file's time as it is.
void SetFileTimeFromDos(HANDLE file, DWORD dosDateTime);
// Position of the first / last c in the text, or -1 (also for an empty text).
int FindFirstChar(const char *text, char c);
int FindLastChar(const char *text, char c);
