// A fixture base for tests over the stand-in's file system: the stand-in reset,
// with a fresh host folder as drive D: that goes, with everything in it, when
// the test ends.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "platform/posix/standin.h"
#include "support/testutil.h"

class DriveTest : public ::testing::Test {
protected:
    testutil::TempDir drive{"sfx-drive"};
    const std::string root = drive.path();  // the host folder that is drive D:

    void SetUp() override { FreshStandin(); }
    void TearDown() override { standin::Reset(); }
    // The stand-in back to its start (records, current directory, faults), with
    // drive D: in place again.
    void FreshStandin() {
        standin::Reset();
        standin::MapDrive('D', root);
    }
};
