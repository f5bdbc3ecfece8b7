// The build itself: the product code links over the stand-in.
#include <gtest/gtest.h>
#include "app/SFXstrings.h"
#include "app/SFXgbls.h"

TEST(Build, TextsAndDefaults) {
    EXPECT_STREQ(STR_PROGRAM_NAME, "Tarvex Self-Extractor");
    EXPECT_EQ(HEADER_OFFSET, 22528);
}
