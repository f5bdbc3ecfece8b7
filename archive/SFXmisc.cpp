// SFXmisc: path and file-system helpers. PLACEHOLDER.
#include "archive/SFXmisc.h"

int TextLength(const char *text) { int n = 0; while (text[n]) n++; return n; }
void StringFromBuffer(char *out, const char *, int) { out[0] = 0; }
void AppendBackslash(char *) {}
void StripBackslash(char *) {}
void SlashesToBackslashes(char *) {}
void FileNamePart(const char *, char *out) { out[0] = 0; }
void DirectoryPart(const char *, char *out) { out[0] = 0; }
bool PathExists(char *) { return false; }
bool DriveRootIsDirectory(const char *) { return false; }
void CreateDirectoryTree(const char *) {}
void SetFileTimeFromDos(HANDLE, DWORD) {}
int FindFirstChar(const char *, char) { return -1; }
int FindLastChar(const char *, char) { return -1; }
