// Stand-in file access: CreateFileA and the handle calls, directory searches,
// attributes, directory creation and file times, over host file descriptors.
//
// Read-only files are host files without the owner-write bit (checked on the mode
// bits, since tests may run as root where the host would let the write pass).
// Sharing modes are ignored. Handles are small numbers that are never reused
// before standin::Reset(), so a closed handle stays invalid.
//
// The calls do what the program asks of them: files are opened to read or to
// write, existing or created afresh; positions and sizes are 32-bit values (no
// high halves); only the last-write time is set; attributes tell directories
// from files; a search reports the first matching name.
#include "platform/posix/internal.h"

#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>

namespace standin_detail {

namespace {

const uintptr_t FILE_HANDLE_BASE = 0x10000;
const uintptr_t FIND_HANDLE_BASE = 0x20000;

struct FileState {
    std::map<uintptr_t, int> files;  // open handles -> host descriptors
    std::set<uintptr_t> searches;    // open search handles
    uintptr_t nextFile = FILE_HANDLE_BASE, nextFind = FIND_HANDLE_BASE;
    long writeLimit = 0;
    bool failClose = false;
    bool failRename = false;
    long writeCalls = 0;
    long long writeBytes = 0;
};

FileState &S() {
    static FileState s;
    return s;
}

// The descriptor of an open file handle, or -1.
int Lookup(HANDLE h) {
    auto it = S().files.find((uintptr_t)h);
    return it == S().files.end() ? -1 : it->second;
}

bool ReadOnlyMode(const struct stat &st) { return !S_ISDIR(st.st_mode) && !(st.st_mode & S_IWUSR); }

// A file without its owner's write bit is read-only, as Wine shows it.
DWORD AttributesOf(const struct stat &st) {
    if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    return ReadOnlyMode(st) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
}

WIN32_FIND_DATAA FindEntry(const std::string &name, const struct stat &st) {
    WIN32_FIND_DATAA d;
    memset(&d, 0, sizeof d);
    d.dwFileAttributes = AttributesOf(st);
    memcpy(d.cFileName, name.data(), std::min(name.size(), (size_t)MAX_PATH - 1));
    return d;
}

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? (char)(c + 32) : c; }

// Case-insensitive match of "*" (any run) and "?" (one character).
bool Match(const char *p, const char *n) {
    for (; *p; p++, n++) {
        if (*p == '*') {
            for (const char *t = n;; t++) {
                if (Match(p + 1, t)) return true;
                if (!*t) return false;
            }
        }
        if (!*n || (*p != '?' && Fold(*p) != Fold(*n))) return false;
    }
    return !*n;
}

// Windows search patterns: "*.*" is every name, and "name.*" also finds "name"
// (a name without extension has an empty one).
bool PatternMatches(const std::string &pattern, const std::string &name) {
    if (Match(pattern.c_str(), name.c_str())) return true;
    size_t n = pattern.size();
    if (n >= 2 && pattern.compare(n - 2, 2, ".*") == 0 && name.find('.') == std::string::npos)
        return Match(pattern.substr(0, n - 2).c_str(), name.c_str());
    return false;
}

}  // namespace

void ResetFiles() {
    FileState &s = S();
    for (auto &f : s.files) close(f.second);
    s.files.clear();
    s.searches.clear();
    s.writeLimit = 0;
    s.failClose = s.failRename = false;
    s.writeCalls = 0;
    s.writeBytes = 0;
}

}  // namespace standin_detail

using namespace standin_detail;

// ---- open files ---------------------------------------------------------------------

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                   DWORD disposition, DWORD flags, HANDLE templateFile) {
    ResolvedPath r;
    if (!Resolve(name, r) || r.trailingSeparator || r.isRoot()) return INVALID_HANDLE_VALUE;
    bool write = (access & GENERIC_WRITE) != 0;
    struct stat st;
    bool exists = stat(r.host.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return INVALID_HANDLE_VALUE;
    int oflags;
    if (disposition == OPEN_EXISTING && exists)
        oflags = write ? O_WRONLY : O_RDONLY;
    else if (disposition == CREATE_ALWAYS && write)
        oflags = O_WRONLY | O_CREAT | O_TRUNC;
    else if (disposition == CREATE_NEW && write && !exists)
        oflags = O_WRONLY | O_CREAT | O_EXCL;
    else
        return INVALID_HANDLE_VALUE;
    if (exists && write && ReadOnlyMode(st)) return INVALID_HANDLE_VALUE;
    int fd = open(r.host.c_str(), oflags | O_CLOEXEC, 0666);
    if (fd < 0) return INVALID_HANDLE_VALUE;
    uintptr_t h = S().nextFile;
    S().nextFile += 4;
    S().files[h] = fd;
    return (HANDLE)h;
}

BOOL ReadFile(HANDLE h, LPVOID buffer, DWORD toRead, LPDWORD readCount, LPOVERLAPPED ov) {
    int fd = Lookup(h);
    if (readCount) *readCount = 0;
    if (fd < 0) return FALSE;
    DWORD done = 0;
    while (done < toRead) {
        ssize_t n = read(fd, (char *)buffer + done, toRead - done);
        if (n < 0) return FALSE;
        if (n == 0) break;
        done += (DWORD)n;
    }
    if (readCount) *readCount = done;
    return TRUE;
}

BOOL WriteFile(HANDLE h, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED ov) {
    FileState &s = S();
    int fd = Lookup(h);
    if (written) *written = 0;
    if (fd < 0) return FALSE;
    s.writeCalls++;
    s.writeBytes += toWrite;
    DWORD limit = toWrite;
    if (s.writeLimit > 0 && (DWORD)s.writeLimit < limit) limit = (DWORD)s.writeLimit;
    DWORD done = 0;
    while (done < limit) {
        ssize_t n = write(fd, (const char *)buffer + done, limit - done);
        if (n <= 0) {
            if (written) *written = done;
            return FALSE;
        }
        done += (DWORD)n;
    }
    if (written) *written = done;
    return TRUE;
}

// The program moves by 32-bit distances alone (no distanceHigh).
DWORD SetFilePointer(HANDLE h, LONG distance, PLONG distanceHigh, DWORD moveMethod) {
    int fd = Lookup(h);
    if (fd < 0) return INVALID_SET_FILE_POINTER;
    int64_t base;
    struct stat st;
    switch (moveMethod) {
        case FILE_BEGIN: base = 0; break;
        case FILE_CURRENT: base = lseek(fd, 0, SEEK_CUR); break;
        case FILE_END: base = fstat(fd, &st) == 0 ? (int64_t)st.st_size : -1; break;
        default: return INVALID_SET_FILE_POINTER;
    }
    int64_t pos = base + distance;
    // Positions are kept within the signed 32-bit range the program works in; a
    // failed move leaves the position where it was.
    if (base < 0 || pos < 0 || pos > 0x7FFFFFFF) return INVALID_SET_FILE_POINTER;
    if (lseek(fd, pos, SEEK_SET) < 0) return INVALID_SET_FILE_POINTER;
    return (DWORD)pos;
}

// The low 32 bits (the program asks for no high half).
DWORD GetFileSize(HANDLE h, LPDWORD sizeHigh) {
    int fd = Lookup(h);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) return INVALID_FILE_SIZE;
    return (DWORD)st.st_size;
}

BOOL CloseHandle(HANDLE h) {
    auto it = S().files.find((uintptr_t)h);
    if (it == S().files.end()) return FALSE;
    close(it->second);
    S().files.erase(it);
    return S().failClose ? FALSE : TRUE;
}

// The program sets the last-write time alone; the access time stays.
BOOL SetFileTime(HANDLE h, const FILETIME *creation, const FILETIME *access,
                 const FILETIME *lastWrite) {
    int fd = Lookup(h);
    if (fd < 0 || !lastWrite) return FALSE;
    uint64_t ticks = ((uint64_t)lastWrite->dwHighDateTime << 32) | lastWrite->dwLowDateTime;
    struct timespec t[2];
    t[0].tv_sec = 0;
    t[0].tv_nsec = UTIME_OMIT;
    t[1].tv_sec = (time_t)(ticks / TICKS_PER_SECOND) - (time_t)SECONDS_1601_TO_1970;
    t[1].tv_nsec = (long)(ticks % TICKS_PER_SECOND) * 100;
    return futimens(fd, t) == 0;
}

// ---- the directory tree -----------------------------------------------------------------

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    ResolvedPath r;
    // A pattern that ends in a separator names no entry and finds nothing.
    if (!Resolve(pattern, r, true) || r.trailingSeparator || r.isRoot())
        return INVALID_HANDLE_VALUE;
    const std::string &last = r.components.back();
    struct stat st;
    bool found = false;
    if (last.find_first_of("*?") == std::string::npos) {
        found = stat(r.host.c_str(), &st) == 0;
        if (found) *data = FindEntry(last, st);
    } else {
        std::string dir = r.host.substr(0, r.host.size() - last.size() - 1);
        if (dir.empty()) dir = "/";
        DIR *d = opendir(dir.c_str());
        if (!d) return INVALID_HANDLE_VALUE;
        std::vector<std::string> names;
        // A drive root has no "." and ".." entries; every other directory has both.
        if (r.components.size() > 1) {
            names.push_back(".");
            names.push_back("..");
        }
        std::vector<std::string> others;
        while (struct dirent *e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") others.push_back(n);
        }
        closedir(d);
        std::sort(others.begin(), others.end());
        names.insert(names.end(), others.begin(), others.end());
        for (const std::string &n : names) {
            if (!PatternMatches(last, n)) continue;
            found = stat((dir == "/" ? "/" + n : dir + "/" + n).c_str(), &st) == 0;
            if (found) {
                *data = FindEntry(n, st);
                break;
            }
        }
    }
    if (!found) return INVALID_HANDLE_VALUE;
    uintptr_t h = S().nextFind;
    S().nextFind += 4;
    S().searches.insert(h);
    return (HANDLE)h;
}

BOOL FindClose(HANDLE h) { return S().searches.erase((uintptr_t)h) ? TRUE : FALSE; }

DWORD GetFileAttributesA(LPCSTR name) {
    ResolvedPath r;
    struct stat st;
    if (!Resolve(name, r) || stat(r.host.c_str(), &st) != 0) return INVALID_FILE_ATTRIBUTES;
    // "dir\" names the directory; "file\" names nothing.
    if (r.trailingSeparator && !S_ISDIR(st.st_mode)) return INVALID_FILE_ATTRIBUTES;
    return AttributesOf(st);
}

// Only the read-only attribute has a place on the host: the owner's write bit.
BOOL SetFileAttributesA(LPCSTR name, DWORD attributes) {
    ResolvedPath r;
    struct stat st;
    if (!Resolve(name, r) || stat(r.host.c_str(), &st) != 0) return FALSE;
    mode_t mode = (attributes & FILE_ATTRIBUTE_READONLY) ? st.st_mode & ~0222 : st.st_mode | S_IWUSR;
    return chmod(r.host.c_str(), mode & 07777) == 0;
}

BOOL CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES sa) {
    ResolvedPath r;
    if (!Resolve(name, r) || r.isRoot()) return FALSE;
    return mkdir(r.host.c_str(), 0777) == 0;
}

// Only plain files are deleted and renamed, as the program asks.
BOOL DeleteFileA(LPCSTR name) {
    ResolvedPath r;
    struct stat st;
    if (!Resolve(name, r) || stat(r.host.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return FALSE;
    return unlink(r.host.c_str()) == 0;
}

BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) {
    ResolvedPath a, b;
    struct stat st;
    if (S().failRename || !Resolve(from, a) || !Resolve(to, b) || stat(a.host.c_str(), &st) != 0)
        return FALSE;
    bool exists = stat(b.host.c_str(), &st) == 0;
    if (exists && (!(flags & MOVEFILE_REPLACE_EXISTING) || S_ISDIR(st.st_mode) || ReadOnlyMode(st)))
        return FALSE;
    return rename(a.host.c_str(), b.host.c_str()) == 0;
}

BOOL MoveFileA(LPCSTR from, LPCSTR to) { return MoveFileExA(from, to, 0); }

// The stand-in's calls set no error codes; the program asks after MoveFileExA
// only whether the call is missing, which it never is here.
DWORD GetLastError(void) { return 0; }

// A new empty file "<dir>\<prefix>N.TMP" with the first free N.
UINT GetTempFileNameA(LPCSTR dir, LPCSTR prefix, UINT unique, LPSTR out) {
    for (unsigned n = 1; n < 0x10000; n++) {
        char name[32];
        snprintf(name, sizeof name, "%.3s%X.TMP", prefix, n);
        std::string path = std::string(dir) + "\\" + name;
        ResolvedPath r;
        if (path.size() >= MAX_PATH || !Resolve(path.c_str(), r)) return 0;
        int fd = open(r.host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return 0;
        }
        close(fd);
        memcpy(out, path.c_str(), path.size() + 1);
        return n;
    }
    return 0;
}

// ---- control surface ------------------------------------------------------------------------

namespace standin {

void SetWriteLimit(long bytesPerCall) { S().writeLimit = bytesPerCall; }
void FailCloseAndRename(bool close, bool rename) {
    S().failClose = close;
    S().failRename = rename;
}
long WriteCalls() { return S().writeCalls; }
long long WriteBytes() { return S().writeBytes; }
long OpenHandles() { return (long)S().files.size(); }

}  // namespace standin
