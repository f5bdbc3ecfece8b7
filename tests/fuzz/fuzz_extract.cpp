// Fuzz target: a whole listing and extraction pass of ExtractEntries over
// arbitrary bytes taken as the archive, through the real MAINDIALOG template on
// the stand-in, every entry selected, a scripted user who types a password and
// answers Yes. The first byte picks the overwrite mode.
//
// Beyond what the sanitizers catch, a run fails (abort) when a pass keeps a heap
// block or a file handle, or when anything appears outside the destination.
// With FUZZ_VERBOSE set, each run prints the dialogs and message boxes it saw
// (for reading a reproducer).
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/SFXgbls.h"
#include "archive/extract.h"
#include "platform/posix/standin.h"
#include "support/archives.h"
#include "support/testutil.h"
#include "ui/Dialog.h"

namespace {

// The destination lies three levels below the fuzzer's root, which the
// stand-in maps as drive C: an absolute name lands in the root, a name climbing
// out with ".." in one of the levels; either shows as an extra entry.
std::string root, dest, input;

int CountEntries(const std::string &folder) {
    DIR *d = opendir(folder.c_str());
    if (!d) return 0;
    int n = 0;
    while (dirent *e = readdir(d))
        if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) n++;
    closedir(d);
    return n;
}

void RemoveRoot() {
    std::error_code error;
    std::filesystem::remove_all(root, error);
}

void Setup() {
    char pattern[] = "/tmp/sfx-fuzz-XXXXXX";
    root = mkdtemp(pattern);
    std::atexit(RemoveRoot);
    dest = root + "/w/x/dest";
    input = root + "/in.bin";
    testutil::InitCrcTable();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (root.empty()) Setup();
    if (size == 0) return 0;
    std::error_code error;
    std::filesystem::remove_all(dest, error);
    testutil::WriteHostFile(input, std::string((const char *)data + 1, size - 1));

    standin::Reset();
    standin::MapDrive('C', root);
    std::filesystem::create_directories(root + "/w/x", error);
    std::string destWin = standin::WindowsPath(dest);
    std::snprintf(extractDir, sizeof extractDir, "%s", destWin.c_str());
    overwriteMode = data[0] % 3;
    currentPassword[0] = 0;
    autoStart = false;
    showFinishedMessage = true;
    archiveHandle = CreateFileA(standin::WindowsPath(input).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    if (archiveHandle == INVALID_HANDLE_VALUE) abort();
    archiveStart = 0;
    long handles = standin::OpenHandles();
    long live = standin::LiveAllocations();

    archives::UserPlay play;
    play.laterPasswords = "pw";
    play.laterAnswers = IDOK;
    archives::ListAndExtract(play);
    if (std::getenv("FUZZ_VERBOSE")) {
        for (const std::string &name : standin::DialogsShown())
            std::fprintf(stderr, "dialog %s\n", name.c_str());
        for (const auto &box : standin::MessageBoxes())
            std::fprintf(stderr, "box [%s] %s\n", box.caption.c_str(), box.text.c_str());
    }

    if (standin::LiveAllocations() != live) abort();      // a block of the pass was kept
    if (standin::OpenHandles() != handles) abort();       // an output file was left open
    CloseHandle(archiveHandle);
    archiveHandle = 0;
    // Nothing but the path to the destination and the input.
    if (CountEntries(root) != 2 || CountEntries(root + "/w") != 1 ||
        CountEntries(root + "/w/x") != (access(dest.c_str(), F_OK) == 0 ? 1 : 0))
        abort();
    return 0;
}
