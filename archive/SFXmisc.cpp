// SFXmisc: path and file-system helpers shared by the whole program (see SFXmisc.h).
//
// Callers: the configuration reader and destination resolution (app/), the walker
// and extraction pass (archive/), the dialogs (ui/) and the command (actions/).
// Writes no globals. Every write stays inside the caller's buffer as the header
// states, or inside the helper's own fixed buffer.
#include "archive/SFXmisc.h"
#include "app/SFXstrings.h"

// ---- texts --------------------------------------------------------------------

int TextLength(const char *text) {
    int n = 0;
    while (text[n]) n++;
    return n;
}

// Stops reading at the first NUL, so a count larger than the data behind `buffer`
// is safe as long as the data is NUL-terminated.
char *StringFromBuffer(char *out, const char *buffer, int count) {
    int i = 0;
    for (; i < count && buffer[i]; i++) out[i] = buffer[i];
    out[i] = 0;
    return out + i;
}

bool TextEqual(const char *a, const char *b, bool ignoreCase) {
    for (;; a++, b++) {
        char x = *a, y = *b;
        if (ignoreCase) {
            if (x >= 'a' && x <= 'z') x -= 'a' - 'A';
            if (y >= 'a' && y <= 'z') y -= 'a' - 'A';
        }
        if (x != y) return false;
        if (!x) return true;
    }
}

void AppendBackslash(char *text) {
    int n = TextLength(text);
    if (n < MAX_PATH && (n == 0 || text[n - 1] != '\\')) {
        text[n] = '\\';
        text[n + 1] = 0;
    }
}

void StripBackslash(char *text) {
    int n = TextLength(text);
    if (n && text[n - 1] == '\\') text[n - 1] = 0;
}

void SlashesToBackslashes(char *text) {
    for (; *text; text++)
        if (*text == '/') *text = '\\';
}

int FindFirstChar(const char *text, char c) {
    for (int i = 0; text[i]; i++)
        if (text[i] == c) return i;
    return -1;
}

int FindLastChar(const char *text, char c) {
    int found = -1;
    for (int i = 0; text[i]; i++)
        if (text[i] == c) found = i;
    return found;
}

// ---- path parts -----------------------------------------------------------------

static bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Count of characters before the name part: up to and including the last "\",
// "/" or ":" of the first `length` characters.
static int NameStart(const char *path, int length) {
    while (length && !IsSeparator(path[length - 1]) && path[length - 1] != ':') length--;
    return length;
}

void FileNamePart(const char *path, char *out) {
    StringFromBuffer(out, path + NameStart(path, TextLength(path)), 255);
}

// Length of the directory part, which is always a prefix of the path: a drive
// root ("C:\", or any three characters holding ":") stays whole, a separator
// after "X:" stays so that the root keeps its "\", any other last separator
// goes, and a last ":" stays ("C:file" gives "C:").
static int DirectoryPartLength(const char *path, int length) {
    if (length == 3 && (path[0] == ':' || path[1] == ':' || path[2] == ':')) return 3;
    int i = NameStart(path, length);
    if (i && IsSeparator(path[i - 1]) && !(i == 3 && path[1] == ':')) i--;
    return i;
}

void DirectoryPart(const char *path, char *out) {
    StringFromBuffer(out, path, DirectoryPartLength(path, TextLength(path)));
}

// ---- existence and creation -----------------------------------------------------------

// Room of the search pattern: the path, "*.*" and the NUL.
#define PATTERN_BUFFER_SIZE 255

// True when the text is not empty and names a directory by its attributes.
static bool IsDirectory(const char *text) {
    if (!text[0]) return false;
    DWORD attributes = GetFileAttributesA(text);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathExists(const char *text) {
    const char *searched = text;
    char pattern[PATTERN_BUFFER_SIZE];
    int n = TextLength(text);
    if (n && text[n - 1] == '\\') {
        // A directory is searched by its contents: every directory other than a
        // root holds at least its "." entry. A text with no room for the
        // pattern is reported absent rather than cut or overrun.
        if (n + 4 > PATTERN_BUFFER_SIZE) return false;
        StringFromBuffer(pattern, text, n);
        // An empty upper-case drive root has no entries; its attributes tell.
        if (n == 3 && text[0] >= 'A' && text[0] <= 'Z' && text[1] == ':') return IsDirectory(pattern);
        StringFromBuffer(pattern + n, STR_ALL_FILES_PATTERN, 3);
        SlashesToBackslashes(pattern);
        searched = pattern;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(searched, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

// One level of CreateDirectoryTree on path[0 .. length-1] (path[length] is NUL).
// The parent is a prefix of the path, so every level works in the same buffer,
// cutting it with a NUL and restoring the byte afterwards. Each level is shorter
// than the one that called it, so the depth is bounded by the text length.
static void CreateLevel(char *path, int length) {
    char stripped = 0;
    if (length && path[length - 1] == '\\') {
        stripped = '\\';
        path[--length] = 0;
    }
    if (length >= 3 && !PathExists(path)) {
        int parent = DirectoryPartLength(path, length);
        // A text ending in ":" is its own directory part: no call for itself.
        if (parent < length) {
            char cut = path[parent];
            path[parent] = 0;
            CreateLevel(path, parent);
            path[parent] = cut;
        }
        CreateDirectoryA(path, 0);  // failures show up in the caller's PathExists
    }
    if (stripped) path[length] = stripped;
}

void CreateDirectoryTree(const char *dir) {
    char path[MAX_PATH + 1];
    int n = TextLength(dir);
    // Longer texts cannot name a directory through the ANSI calls anyway.
    if (n > MAX_PATH) return;
    StringFromBuffer(path, dir, n);
    CreateLevel(path, n);
}

// ---- time stamps -----------------------------------------------------------------

void SetFileTimeFromDos(HANDLE file, DWORD dosDateTime) {
    FILETIME local, utc;
    // An impossible DOS value (a zero date, month 13, 25 o'clock) converts to
    // nothing: the file then keeps the time it was written at, never a time
    // made from whatever the conversion left undefined.
    if (!DosDateTimeToFileTime((WORD)(dosDateTime >> 16), (WORD)dosDateTime, &local)) return;
    LocalFileTimeToFileTime(&local, &utc);
    SetFileTime(file, 0, 0, &utc);
}
