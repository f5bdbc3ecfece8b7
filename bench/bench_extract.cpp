// Extraction benchmark: one Info-ZIP archive of the corpus extracted by our
// ExtractEntries and by Info-ZIP `unzip -o -q`, each into a fresh folder.
//
// Ours runs as the program does: the archive is wrapped into a self-extractor
// file (header area + minimal header + ZIP) that is opened as the program's own
// file, and the main dialog's template is run through the stand-in with a
// listing pass into the file list, every item selected, and one extraction
// pass (overwrite mode 0). The timing covers the dialog with both passes; the
// wrapper file is written once, before. unzip's timing covers its whole
// process. Before each timed run the output folder is emptied and the file
// system synced. The two take turns; the best of the rounds counts. At the end
// both folders must hold exactly the corpus.
//
// usage: bench_extract ZIP CORPUSDIR WORKDIR OUTDIR ROUNDS [ours]
//   WORKDIR  where the self-extractor file goes
//   OUTDIR   where the two output folders go
//   ours     only our extraction, ROUNDS times (for profiling)
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/SFXgbls.h"
#include "archive/extract.h"
#include "bench/bench.h"
#include "platform/posix/standin.h"
#include "support/archives.h"
#include "ui/Dialog.h"

extern char **environ;
namespace fs = std::filesystem;

namespace {

using bench::Fail;
using bench::WallTime;

void FreshFolder(const std::string &path) {
    fs::remove_all(path);
    fs::create_directories(path);
    sync();
}

double RunOurs(const std::string &out) {
    FreshFolder(out);
    std::string windowsOut = standin::WindowsPath(out);
    if (windowsOut.empty() || windowsOut.size() >= TEXT_BUFFER_SIZE) Fail("output folder path");
    std::strcpy(extractDir, windowsOut.c_str());
    overwriteMode = OVERWRITE_ALWAYS;
    double t0 = WallTime();
    archives::PassOutcome outcome = archives::ListAndExtract(archives::UserPlay{});
    double t = WallTime() - t0;
    if (!outcome.result() || !outcome.stillSelected.empty()) {
        for (const auto &box : outcome.boxes)
            std::fprintf(stderr, "  box: %s | %s\n", box.caption.c_str(), box.text.c_str());
        Fail("our extraction pass failed (" + std::to_string(outcome.stillSelected.size()) +
             " entries left selected)");
    }
    return t;
}

double RunUnzip(const std::string &zip, const std::string &out) {
    FreshFolder(out);
    std::vector<std::string> args = {"unzip", "-o", "-q", zip, "-d", out};
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    double t0 = WallTime();
    pid_t pid;
    if (posix_spawnp(&pid, "unzip", nullptr, nullptr, argv.data(), environ) != 0) Fail("spawn unzip");
    int status = 0;
    waitpid(pid, &status, 0);
    double t = WallTime() - t0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Fail("unzip failed");
    return t;
}

// Every regular file below `folder`, by relative path, with its contents.
std::map<std::string, std::string> Tree(const std::string &folder) {
    std::map<std::string, std::string> files;
    for (const auto &e : fs::recursive_directory_iterator(folder)) {
        if (!e.is_regular_file()) continue;
        files[fs::relative(e.path(), folder).string()] = testutil::ReadHostFile(e.path().string());
    }
    return files;
}

}  // namespace

int main(int argc, char **argv) {
    bench::Start("bench_extract", argc, 5, "ZIP CORPUSDIR WORKDIR OUTDIR ROUNDS [ours]");
    std::string zipPath = fs::absolute(argv[1]).string();
    std::string corpus = argv[2];
    std::string work = fs::absolute(argv[3]).string();
    std::string outDir = fs::absolute(argv[4]).string();
    int rounds = std::atoi(argv[5]);
    bool oursOnly = argc > 6 && std::string(argv[6]) == "ours";
    if (rounds < 1) rounds = 1;

    std::string zip = testutil::ReadHostFile(zipPath);
    if (zip.empty()) Fail("cannot read " + zipPath);
    standin::Reset();
    archives::OpenedSfx sfx(work + "/corpus-sfx.exe", zip);
    if (!sfx.ok()) Fail("cannot open the self-extractor file");
    autoStart = false;
    showFinishedMessage = true;

    const std::string outOurs = outDir + "/extract-ours", outUnzip = outDir + "/extract-unzip";
    double best[2] = {1e30, 1e30};
    for (int round = 0; round < rounds; round++) {
        // Alternate who goes first, so neither always finds the other's dirty pages.
        for (int k = 0; k < (oursOnly ? 1 : 2); k++) {
            int which = oursOnly ? 0 : (k + round) % 2;
            double t = which == 0 ? RunOurs(outOurs) : RunUnzip(zipPath, outUnzip);
            if (t < best[which]) best[which] = t;
        }
    }

    std::map<std::string, std::string> expected = Tree(corpus);
    long long bytes = 0;
    for (const auto &f : expected) bytes += (long long)f.second.size();
    std::printf("extract archive: %zu bytes, %zu files, %lld bytes uncompressed\n", zip.size(),
                expected.size(), bytes);
    if (Tree(outOurs) != expected) Fail("our output differs from the corpus");
    std::printf("extract ours:  output identical to the corpus\n");
    if (!oursOnly) {
        if (Tree(outUnzip) != expected) Fail("unzip's output differs from the corpus");
        std::printf("extract unzip: output identical to the corpus\n");
    }
    std::printf("extract ours   %8.2f ms  (listing and extraction pass, best of %d)\n", best[0] * 1e3,
                rounds);
    if (!oursOnly) {
        std::printf("extract unzip  %8.2f ms  (whole process, best of %d)\n", best[1] * 1e3, rounds);
        std::printf("extract ours/unzip %.2f\n", best[0] / best[1]);
    }
    fs::remove_all(outOurs);
    fs::remove_all(outUnzip);
    fs::remove(work + "/corpus-sfx.exe");
    return 0;
}
