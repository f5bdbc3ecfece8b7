// mksfx signing: the finished self-extractor is signed with Authenticode by
// osslsigncode (found on PATH), before it is renamed into place, so that a failed
// signing leaves no output behind.
//
// Signing appends a certificate table after the ZIP data and records it in the
// PE header; the stub's completeness check knows that table. The signed file is
// checked here the way the stub will check it.
#include "mksfx.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char **environ;
#endif

namespace mksfx {

namespace {

const char kSigner[] = "osslsigncode";

#ifdef _WIN32
// _spawnvp joins the arguments with spaces; each one is quoted the way the C
// runtime's command-line parser reads it back.
std::string Quote(const std::string &arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string q = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        q.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        q += c;
    }
    q.append(backslashes * 2, '\\');
    return q + "\"";
}

// The program's exit code; -1 when it could not be started.
int RunProgram(const std::vector<std::string> &args) {
    std::vector<std::string> quoted;
    for (const std::string &a : args) quoted.push_back(Quote(a));
    std::vector<const char *> argv;
    for (const std::string &a : quoted) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    intptr_t rc = _spawnvp(_P_WAIT, args[0].c_str(), argv.data());
    return rc == -1 ? -1 : int(rc);
}
#else
int RunProgram(const std::vector<std::string> &args) {
    std::vector<char *> argv;
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    // Its report of success would mix with ours on stdout; its errors stay visible.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

}  // namespace

void SignFile(const std::string &path, const SignOptions &o) {
    std::string signedPath = path + ".signed";
    // A certificate without a key file is a PKCS#12 file that holds both.
    std::vector<std::string> args = {kSigner, "sign", o.key.empty() ? "-pkcs12" : "-certs", o.cert,
                                     "-h", "sha256"};
    if (!o.key.empty()) args.insert(args.end(), {"-key", o.key});
    if (!o.pass.empty()) args.insert(args.end(), {"-pass", o.pass});
    if (!o.timestamp.empty()) args.insert(args.end(), {"-ts", o.timestamp});
    args.insert(args.end(), {"-in", path, "-out", signedPath});
    remove(signedPath.c_str());
    int rc = RunProgram(args);
    if (rc != 0) {
        remove(signedPath.c_str());
        if (rc == -1 || rc == 127)
            Fail(std::string("signing needs ") + kSigner +
                 " on PATH (Debian: apt-get install osslsigncode), or sign the result yourself");
        Fail(std::string("signing failed: ") + kSigner + " ended with exit code " + std::to_string(rc));
    }
    std::string problem = CompletenessProblem(ReadWholeFile(signedPath));
    if (!problem.empty()) {
        remove(signedPath.c_str());
        Fail("the signed file would not pass the stub's completeness check: " + problem);
    }
    if (!RenameOver(signedPath, path)) {
        remove(signedPath.c_str());
        Fail(path + ": cannot replace it with its signed form (" + strerror(errno) + ")");
    }
}

}  // namespace mksfx
