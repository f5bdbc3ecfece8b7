// mksfx host: the builder's one door to the system it runs on. Paths, command
// line and console text are UTF-8 inside the builder on every system; on
// Windows the file calls here are the wide ones, so that any name the file
// system holds can be packed, whatever the machine's ANSI code page. Text
// conversion between code pages, starting a program and the clean-up on a
// signal live here too, so that the builder's logic holds no system switch.
#include "mksfx.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#include <process.h>
#include <shellapi.h>
#else
#include <iconv.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char **environ;
#endif

namespace fs = std::filesystem;

namespace mksfx {

namespace {

// The files to remove when a signal ends the builder: the output's temporary
// file and its signed form. Fixed buffers, as a handler may not allocate.
char cleanupPaths[2][4096];

#ifdef _WIN32
std::wstring Wide(const std::string &utf8) {
    if (utf8.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring w(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &w[0], n);
    return w;
}

std::string Utf8(const wchar_t *w, size_t length) {
    if (!length) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, w, int(length), nullptr, 0, nullptr, nullptr);
    std::string s(size_t(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w, int(length), &s[0], n, nullptr, nullptr);
    return s;
}

void RemoveNative(const char *utf8) { _wremove(Wide(utf8).c_str()); }
#else
void RemoveNative(const char *path) { unlink(path); }
#endif

void OnSignal(int signal) {
    for (const char *path : cleanupPaths)
        if (*path) RemoveNative(path);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

std::vector<std::string> CommandLine(int argc, char **argv) {
    std::vector<std::string> args;
#ifdef _WIN32
    // The ANSI argv has lost every character outside the machine's code page.
    (void)argc, (void)argv;
    int n = 0;
    wchar_t **w = CommandLineToArgvW(GetCommandLineW(), &n);
    for (int i = 0; w && i < n; ++i) args.push_back(Utf8(w[i], wcslen(w[i])));
    LocalFree(w);
    SetConsoleOutputCP(CP_UTF8);
#else
    args.assign(argv, argv + argc);
#endif
    for (int signal : {SIGINT, SIGTERM})
        std::signal(signal, OnSignal);
#ifndef _WIN32
    std::signal(SIGHUP, OnSignal);
    // Past a file size limit a write fails (EFBIG) and the failure path cleans up.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    return args;
}

void RemoveOnSignal(int slot, const std::string &path) {
    char *to = cleanupPaths[slot];
    to[0] = '\0';
    if (path.size() < sizeof cleanupPaths[slot]) std::memcpy(to, path.c_str(), path.size() + 1);
}

fs::path HostPath(const std::string &utf8) {
#ifdef _WIN32
    return fs::path(Wide(utf8));
#else
    return fs::path(utf8);
#endif
}

std::string Utf8Path(const fs::path &path) {
#ifdef _WIN32
    return Utf8(path.native().c_str(), path.native().size());
#else
    return path.native();
#endif
}

FILE *OpenHostFile(const std::string &path, const char *mode) {
#ifdef _WIN32
    return _wfopen(Wide(path).c_str(), Wide(mode).c_str());
#else
    return fopen(path.c_str(), mode);
#endif
}

FILE *CreateExclusive(const std::string &path) {
#ifdef _WIN32
    int fd = _wopen(Wide(path).c_str(), _O_CREAT | _O_EXCL | _O_RDWR | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    int fd = open(path.c_str(), O_CREAT | O_EXCL | O_RDWR, 0666);
#endif
    if (fd < 0) return nullptr;
    FILE *f = fdopen(fd, "w+b");
    if (!f) close(fd);
    return f;
}

bool RemoveHostFile(const std::string &path) {
    std::error_code ec;
    return fs::remove(HostPath(path), ec);
}

bool RenameOver(const std::string &from, const std::string &to) {
#ifdef _WIN32
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return rename(from.c_str(), to.c_str()) == 0;
#endif
}

bool TruncateAt(FILE *f, uint64_t length) {
    if (fflush(f) != 0) return false;
#ifdef _WIN32
    return _chsize_s(_fileno(f), int64_t(length)) == 0;
#else
    return ftruncate(fileno(f), off_t(length)) == 0;
#endif
}

bool SeekHostFile(FILE *f, uint64_t position) {
#ifdef _WIN32
    return _fseeki64(f, int64_t(position), SEEK_SET) == 0;
#else
    return fseeko(f, off_t(position), SEEK_SET) == 0;
#endif
}

HostStat StatHostFile(const std::string &path) {
    HostStat s;
#ifdef _WIN32
    struct _stat64 st;
    bool ok = _wstat64(Wide(path).c_str(), &st) == 0;
#else
    struct stat st;
    bool ok = stat(path.c_str(), &st) == 0;
#endif
    if (!ok) {
        s.error = strerror(errno);
        return s;
    }
    s.exists = true;
    s.isDirectory = (st.st_mode & S_IFMT) == S_IFDIR;
    s.isFile = (st.st_mode & S_IFMT) == S_IFREG;
    s.size = uint64_t(st.st_size);
    s.modified = int64_t(st.st_mtime);
    return s;
}

bool CalendarTime(int64_t seconds, bool utc, struct tm &out) {
    time_t t = time_t(seconds);
#ifdef _WIN32
    return (utc ? gmtime_s(&out, &t) : localtime_s(&out, &t)) == 0;
#else
    return (utc ? gmtime_r(&t, &out) : localtime_r(&t, &out)) != nullptr;
#endif
}

long ProcessId() {
#ifdef _WIN32
    return long(_getpid());
#else
    return long(getpid());
#endif
}

std::string ProgramPath() {
#ifdef _WIN32
    wchar_t buffer[32768];
    DWORD n = GetModuleFileNameW(nullptr, buffer, 32768);
    return n > 0 && n < 32768 ? Utf8(buffer, n) : std::string();
#else
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.native();
#endif
}

// ---- text in code pages ----

#ifdef _WIN32
bool ConvertText(const std::string &in, int from, int to, std::string &out) {
    out.clear();
    if (in.empty()) return true;
    int n = MultiByteToWideChar(UINT(from), MB_ERR_INVALID_CHARS, in.data(), int(in.size()), nullptr, 0);
    if (n <= 0) return false;
    std::wstring w(size_t(n), L'\0');
    MultiByteToWideChar(UINT(from), 0, in.data(), int(in.size()), &w[0], n);
    // No best fit ("é" must not become "e"): the default character is a
    // failure. UTF-8 knows neither flag.
    BOOL usedDefault = FALSE;
    bool exact = to != CP_UTF8;
    DWORD flags = exact ? WC_NO_BEST_FIT_CHARS : 0;
    n = WideCharToMultiByte(UINT(to), flags, w.data(), int(w.size()), nullptr, 0, nullptr,
                            exact ? &usedDefault : nullptr);
    if (n <= 0 || usedDefault) return false;
    out.assign(size_t(n), '\0');
    WideCharToMultiByte(UINT(to), flags, w.data(), int(w.size()), &out[0], n, nullptr, nullptr);
    return true;
}

bool CodePageServed(int codepage) { return IsValidCodePage(UINT(codepage)) != 0; }
#else
namespace {
std::string IconvName(int codepage) { return codepage == kUtf8 ? "UTF-8" : "CP" + std::to_string(codepage); }
}  // namespace

bool ConvertText(const std::string &in, int from, int to, std::string &out) {
    iconv_t cd = iconv_open(IconvName(to).c_str(), IconvName(from).c_str());
    if (cd == iconv_t(-1)) return false;
    out.clear();
    char *src = const_cast<char *>(in.data());
    size_t left = in.size();
    char buffer[256];
    bool ok = true;
    while (left > 0 && ok) {
        char *dst = buffer;
        size_t room = sizeof buffer;
        // Without //TRANSLIT glibc refuses what it cannot map exactly (EILSEQ);
        // E2BIG only means the buffer is full; a count above 0 is an inexact mapping.
        size_t r = iconv(cd, &src, &left, &dst, &room);
        out.append(buffer, size_t(dst - buffer));
        if (r == size_t(-1) ? errno != E2BIG : r > 0) ok = false;
    }
    if (ok) {  // the end of a stateful encoding
        char *dst = buffer;
        size_t room = sizeof buffer;
        ok = iconv(cd, nullptr, nullptr, &dst, &room) != size_t(-1);
        out.append(buffer, size_t(dst - buffer));
    }
    iconv_close(cd);
    return ok;
}

bool CodePageServed(int codepage) {
    iconv_t cd = iconv_open(IconvName(codepage).c_str(), "UTF-8");
    if (cd == iconv_t(-1)) return false;
    iconv_close(cd);
    return true;
}
#endif

// ---- programs ----

#ifdef _WIN32
namespace {
// _spawnvp joins the arguments with spaces; each one is quoted the way the C
// runtime's command-line parser reads it back.
std::wstring Quote(const std::string &arg) {
    std::wstring w = Wide(arg);
    if (!w.empty() && w.find_first_of(L" \t\"") == std::wstring::npos) return w;
    std::wstring q = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : w) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        q.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        q += c;
    }
    q.append(backslashes * 2, L'\\');
    return q + L"\"";
}

// Points `fd` at `to` for the child and gives back the saved original.
int Redirect(int fd, int to) {
    int saved = _dup(fd);
    _dup2(to, fd);
    return saved;
}
}  // namespace

int RunProgram(const std::vector<std::string> &args, const std::string &input, bool showOutput) {
    std::vector<std::wstring> quoted;
    for (const std::string &a : args) quoted.push_back(Quote(a));
    std::vector<const wchar_t *> argv;
    for (const std::wstring &a : quoted) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    int pipe[2];
    if (_pipe(pipe, 4096, _O_BINARY | _O_NOINHERIT) != 0) return -1;
    _write(pipe[1], input.data(), unsigned(input.size()));
    _close(pipe[1]);
    int null = _open("NUL", _O_WRONLY);
    int in = Redirect(0, pipe[0]);
    int out = showOutput ? -1 : Redirect(1, null), err = showOutput ? -1 : Redirect(2, null);
    intptr_t rc = _wspawnvp(_P_WAIT, argv[0], argv.data());
    _dup2(in, 0);
    if (!showOutput) _dup2(out, 1), _dup2(err, 2);
    for (int fd : {pipe[0], null, in, out, err})
        if (fd >= 0) _close(fd);
    return rc == -1 ? -1 : int(rc);
}
#else
int RunProgram(const std::vector<std::string> &args, const std::string &input, bool showOutput) {
    std::vector<char *> argv;
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    // The input reaches the program through a pipe on its standard input,
    // which no other user of the machine can read.
    int fds[2];
    if (pipe(fds) != 0) return -1;
    ssize_t written = write(fds[1], input.data(), input.size());  // a pipe holds a password
    (void)written;
    close(fds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    if (!showOutput) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (rc != 0) return -1;
    int status;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

}  // namespace mksfx
