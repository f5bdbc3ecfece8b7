// The builder's tests: runs the host mksfx in a scratch folder with a stand-in
// stub that carries the marks mksfx checks (a PE32 i386 header, the caption,
// the manifest's level slot) and nothing else of the real one.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "support/testutil.h"

namespace mksfxtest {

// SFX_HEADER_OFFSET bytes that mksfx takes for a stub.
std::string FakeStub();
// Where a PE file keeps its checksum, which mksfx writes for the whole output.
size_t PeChecksumAt(const std::string &file);

struct Result {
    int status;
    std::string out, err;
};

class MksfxFixture : public ::testing::Test {
protected:
    testutil::TempDir tmp{"mksfx_test"};
    std::string dir = tmp.path();

    void SetUp() override;
    void Write(const std::string &name, const std::string &data) { testutil::WriteHostFile(tmp / name, data); }
    std::string Slurp(const std::string &name) { return testutil::ReadHostFile(tmp / name); }
    bool Exists(const std::string &name) { return testutil::HostExists(tmp / name); }
    // A shell command in the folder, $MKSFX the builder; its output in sh.log.
    int Sh(const std::string &command);
    // mksfx with `stub` (a later --stub wins).
    Result Run(const std::string &args, const std::string &stub = "stub.bin");
    // True when a temporary output file was left behind.
    bool TempLeftovers();
};

}  // namespace mksfxtest
