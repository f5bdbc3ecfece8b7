// Stand-in paths: the drive map, the virtual current directory, and the kernel32
// calls that only hand out path texts (current directory, temporary directory,
// module file name, short names).
//
// A program path "X:\a\b" names the host folder mapped to drive X plus a/b. The
// current directory is a Windows-form text kept here; the test process's own
// working directory is never changed. Start state (also after standin::Reset):
// drive C is mapped to the host root "/", and the current directory is the host
// process's working directory in that form (/work/main -> "C:\work\main").
// Host file names keep their case (no case-insensitive lookup of names).
#include "platform/posix/internal.h"

#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

namespace standin_detail {

namespace {

struct PathState {
    bool mapped[26];
    std::string folder[26];                 // host folder of each drive, no trailing "/"
    char cwdDrive;                          // current directory: drive letter as set
    std::vector<std::string> cwdComponents;  // and its components below the root
    std::string tempPath;
    std::string moduleFileName;
    std::map<std::string, std::string> shortNames;  // host path -> short form
    PathState() { Defaults(); }
    void Defaults();
};

PathState &S() {
    static PathState s;
    return s;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
int DriveIndex(char c) { return (c | 0x20) - 'a'; }

// Characters Windows refuses in a file or directory name.
bool NameIsValid(const std::string &name, bool wildcards) {
    for (unsigned char c : name) {
        if (c < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == ':') return false;
        if ((c == '?' || c == '*') && !wildcards) return false;
    }
    return true;
}

std::string HostFolderJoin(int drive, const std::vector<std::string> &components) {
    std::string host = S().folder[drive];
    for (const std::string &c : components) {
        host += '/';
        host += c;
    }
    return host.empty() ? "/" : host;
}

}  // namespace

std::string WindowsForm(char drive, const std::vector<std::string> &components) {
    std::string w(1, drive);
    w += ":\\";
    for (size_t i = 0; i < components.size(); i++) {
        if (i) w += '\\';
        w += components[i];
    }
    return w;
}

bool Resolve(const char *path, ResolvedPath &out, bool wildcardsInLast, bool checkNames) {
    PathState &s = S();
    if (!path || !*path) return false;
    const char *rest = path;
    std::vector<std::string> comps;
    if (IsLetter(path[0]) && path[1] == ':') {
        out.drive = path[0];
        rest = path + 2;
        // "X:name" is relative to the current directory when it is on drive X,
        // else to X's root (the stand-in keeps one current directory only).
        if (!IsSeparator(*rest) && DriveIndex(out.drive) == DriveIndex(s.cwdDrive))
            comps = s.cwdComponents;
    } else if (IsSeparator(path[0]) && IsSeparator(path[1])) {
        return false;  // UNC names have no host counterpart
    } else {
        out.drive = s.cwdDrive;
        if (!IsSeparator(*rest)) comps = s.cwdComponents;
    }
    int drive = DriveIndex(out.drive);
    if (drive < 0 || drive >= 26 || !s.mapped[drive]) return false;

    std::vector<std::string> parts;
    for (const char *p = rest; *p;) {
        while (IsSeparator(*p)) p++;
        const char *start = p;
        while (*p && !IsSeparator(*p)) p++;
        if (p > start) parts.emplace_back(start, p - start);
    }
    size_t n = strlen(rest);
    out.trailingSeparator = n > 0 && IsSeparator(rest[n - 1]);
    for (size_t i = 0; i < parts.size(); i++) {
        const std::string &c = parts[i];
        if (c == ".") continue;
        if (c == "..") {
            if (!comps.empty()) comps.pop_back();
            continue;
        }
        bool last = i + 1 == parts.size();
        if (checkNames && !NameIsValid(c, wildcardsInLast && last)) return false;
        comps.push_back(c);
    }
    out.components = comps;
    out.host = HostFolderJoin(drive, comps);
    return true;
}

void ResetPaths() { S().Defaults(); }

void PathState::Defaults() {
    PathState &s = *this;
    for (int i = 0; i < 26; i++) {
        s.mapped[i] = false;
        s.folder[i].clear();
    }
    s.mapped[2] = true;  // C: is the host root
    s.cwdDrive = 'C';
    s.cwdComponents.clear();
    char buf[4096];
    if (getcwd(buf, sizeof buf)) {
        for (char *p = buf; *p;) {
            while (*p == '/') p++;
            char *start = p;
            while (*p && *p != '/') p++;
            if (p > start) s.cwdComponents.emplace_back(start, p - start);
        }
    }
    s.tempPath = "C:\\TEMP\\";
    s.moduleFileName = "C:\\sfx.exe";
    s.shortNames.clear();
}

DWORD CopyOut(const std::string &text, LPSTR buffer, DWORD size) {
    if (text.size() + 1 > size || !buffer) return (DWORD)text.size() + 1;
    memmove(buffer, text.data(), text.size());
    buffer[text.size()] = 0;
    return (DWORD)text.size();
}

std::string Lower(const std::string &s) {
    std::string r = s;
    for (char &c : r)
        if (c >= 'A' && c <= 'Z') c = (char)(c + 32);
    return r;
}

// Compared in place: list-box searches call this for every item they pass.
bool EqualNoCase(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = (char)(x + 32);
        if (y >= 'A' && y <= 'Z') y = (char)(y + 32);
        if (x != y) return false;
    }
    return true;
}

}  // namespace standin_detail

using namespace standin_detail;

// ---- kernel32 ----------------------------------------------------------------------

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    return CopyOut(WindowsForm(S().cwdDrive, S().cwdComponents), buffer, size);
}

BOOL SetCurrentDirectoryA(LPCSTR path) {
    ResolvedPath r;
    struct stat st;
    if (!Resolve(path, r) || stat(r.host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return FALSE;
    S().cwdDrive = r.drive;
    S().cwdComponents = r.components;
    return TRUE;
}

DWORD GetTempPathA(DWORD size, LPSTR buffer) { return CopyOut(S().tempPath, buffer, size); }

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    const std::string &name = S().moduleFileName;
    if (size == 0 || !buffer) return 0;
    // Like Windows since Vista: a name that does not fit is cut to size-1 characters,
    // terminated, and the result is `size`.
    DWORD n = name.size() < size ? (DWORD)name.size() : size - 1;
    memcpy(buffer, name.data(), n);
    buffer[n] = 0;
    return name.size() < size ? n : size;
}

DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size) {
    ResolvedPath r;
    struct stat st;
    if (!Resolve(longPath, r) || stat(r.host.c_str(), &st) != 0) return 0;
    std::string result = longPath;  // copied first: source and destination may overlap
    auto it = S().shortNames.find(r.host);
    if (it != S().shortNames.end()) result = it->second;
    return CopyOut(result, shortPath, size);
}

// ---- control surface -----------------------------------------------------------------

namespace standin {

void MapDrive(char letter, const std::string &hostFolder) {
    int d = DriveIndex(letter);
    if (!IsLetter(letter)) return;
    std::string f = hostFolder;
    while (!f.empty() && f.back() == '/') f.pop_back();
    S().mapped[d] = true;
    S().folder[d] = f;
}

void SetModuleFileName(const std::string &path) { S().moduleFileName = path; }
void SetTempPath(const std::string &path) { S().tempPath = path; }

std::string HostPath(const std::string &path) {
    ResolvedPath r;
    if (!Resolve(path.c_str(), r, true, false)) return "";
    return r.host;
}

std::string WindowsPath(const std::string &hostPath) {
    // The drive whose folder is the longest prefix of the host path.
    int best = -1;
    size_t bestLen = 0;
    for (int d = 0; d < 26; d++) {
        if (!S().mapped[d]) continue;
        const std::string &f = S().folder[d];
        bool prefix = hostPath.compare(0, f.size(), f) == 0 &&
                      (hostPath.size() == f.size() || hostPath[f.size()] == '/');
        if (prefix && (best < 0 || f.size() > bestLen)) {
            best = d;
            bestLen = f.size();
        }
    }
    if (best < 0) return "";
    std::vector<std::string> comps;
    for (size_t p = bestLen; p < hostPath.size();) {
        while (p < hostPath.size() && hostPath[p] == '/') p++;
        size_t start = p;
        while (p < hostPath.size() && hostPath[p] != '/') p++;
        if (p > start) comps.push_back(hostPath.substr(start, p - start));
    }
    return WindowsForm((char)('C' + best - 2), comps);
}

void SetShortPath(const std::string &longPath, const std::string &shortPath) {
    ResolvedPath r;
    if (Resolve(longPath.c_str(), r)) S().shortNames[r.host] = shortPath;
}

}  // namespace standin
