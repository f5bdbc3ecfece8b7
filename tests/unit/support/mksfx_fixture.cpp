// The builder's test fixture (see mksfx_fixture.h).
#include "support/mksfx_fixture.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "support/zipkit.h"

#ifdef MKSFX_PATH

namespace mksfxtest {

std::string FakeStub() {
    std::string stub(SFX_HEADER_OFFSET, '\0');
    for (size_t i = 0; i < stub.size(); ++i) stub[i] = char(i * 7 + 3);
    auto put = [&](size_t at, const std::string &bytes) { stub.replace(at, bytes.size(), bytes); };
    std::string pe;
    zipkit::Put32(pe, 0x40);
    put(0, "MZ");
    put(0x3C, pe);
    put(0x40, std::string("PE\0\0\x4C\x01", 6));
    put(0x58, "\x0B\x01");
    put(0x98 + 0x40, std::string(8, '\0'));  // no certificate table
    put(0x400, "<requestedExecutionLevel level=\"asInvoker\"            />Tarvex Self-Extractor");
    return stub;
}

// The optional header's CheckSum, after the PE signature, the file header and
// 64 bytes; the DOS header gives the PE header's offset at 0x3C.
size_t PeChecksumAt(const std::string &file) { return zipkit::Get32(file, 0x3C) + 4 + 20 + 64; }

void MksfxFixture::SetUp() { Write("stub.bin", FakeStub()); }

int MksfxFixture::Sh(const std::string &command) {
    std::string line = "cd '" + dir + "' && MKSFX='" MKSFX_PATH "' && (" + command + ") >sh.log 2>&1";
    int rc = std::system(line.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

Result MksfxFixture::Run(const std::string &args, const std::string &stub) {
    std::string line = "cd '" + dir + "' && '" MKSFX_PATH "' --stub '" + stub + "' " + args + " >run.out 2>run.err";
    int rc = std::system(line.c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, Slurp("run.out"), Slurp("run.err")};
}

bool MksfxFixture::TempLeftovers() {
    for (auto &e : std::filesystem::recursive_directory_iterator(dir))
        if (e.path().filename().string().find(".tmp") != std::string::npos) return true;
    return false;
}

}  // namespace mksfxtest
#endif  // MKSFX_PATH
