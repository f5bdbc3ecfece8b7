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

namespace mksfx {

namespace {

const char kSigner[] = "osslsigncode";

}  // namespace

void SignFile(const std::string &path, const SignOptions &o) {
    std::string signedPath = path + ".signed";
    // A certificate without a key file is a PKCS#12 file that holds both.
    std::vector<std::string> args = {kSigner, "sign", o.key.empty() ? "-pkcs12" : "-certs", o.cert,
                                     "-h", "sha256"};
    if (!o.key.empty()) args.insert(args.end(), {"-key", o.key});
    // The password comes on the signer's standard input, never on a command
    // line that every user of the machine can read; an empty one when there is
    // none, so that the signer never stops to ask.
    args.insert(args.end(), {"-readpass", "-"});
    if (!o.timestamp.empty()) args.insert(args.end(), {"-ts", o.timestamp});
    args.insert(args.end(), {"-in", path, "-out", signedPath});
    RemoveHostFile(signedPath);
    RemoveOnSignal(1, signedPath);
    int rc = RunProgram(args, o.pass + "\n", o.showOutput);
    if (rc != 0) {
        RemoveHostFile(signedPath);
        if (rc == -1 || rc == 127)
            Fail(std::string("signing needs ") + kSigner +
                 " on PATH (Debian: apt-get install osslsigncode), or sign the result yourself");
        Fail(std::string("signing failed: ") + kSigner + " ended with exit code " + std::to_string(rc) +
             (o.pass.empty() && !o.key.empty() ? " (a key with a password needs --sign-pass-file)" : "") +
             "; -v shows what it says");
    }
    std::string problem = CompletenessProblem(ReadWholeFile(signedPath));
    if (!problem.empty()) {
        RemoveHostFile(signedPath);
        Fail("the signed file would not pass the stub's completeness check: " + problem);
    }
    if (!RenameOver(signedPath, path)) {
        RemoveHostFile(signedPath);
        Fail(path + ": cannot replace it with its signed form (" + strerror(errno) + ")");
    }
    RemoveOnSignal(1, "");
}

}  // namespace mksfx
