// The build itself: the product code links over the stand-in.
#include <gtest/gtest.h>
#include "app/SFXstrings.h"
#include "app/SFXgbls.h"
#include "app/sfxformat.h"

TEST(Build, TextsAndDefaults) {
    EXPECT_STREQ(STR_PROGRAM_NAME, "Tarvex Self-Extractor");
    // The stub is padded to HEADER_OFFSET in whole 512-byte file blocks.
    EXPECT_EQ(HEADER_OFFSET % 512, 0);
}
