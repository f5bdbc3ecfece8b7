// mksfx list order: name pairs in the order a sorted list box under Wine shows
// them (CompareStringA, NORM_IGNORECASE, code page 1252), each where a bytewise or
// a plain case-folding order would differ or where one sort level decides.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/mksfx/mksfx.h"

namespace {

TEST(MksfxOrder, NamesCompareAsTheFileListComparesThem) {
    struct Case {
        const char *first, *second;
        int order;  // -1: first before second; 0: the list holds them equal
    } cases[] = {
        {"coop", "co-op", -1},         // the hyphen is skipped on the first level
        {"ab-", "a-b", -1},            // a mark earlier in the name sorts later
        {"a-b", "-ab", -1},
        {"a'b", "a-b", -1},            // apostrophe before hyphen
        {"a\xAD" "b", "a-b", -1},      // the soft hyphen weighs nothing
        {"lib/x.h", "lib-dev/a.h", -1},
        {"a b", "a_b", -1},            // space, underscore: punctuation ...
        {"a_b", "a0", -1},             // ... before digits
        {"a~", "a+", -1},              // punctuation before math symbols
        {"file10", "file2", -1},       // digit by digit
        {"alpha", "Zeta", -1},         // case ignored
        {"README", "readme.txt", -1},
        {"A.TXT", "a.txt", 0},
        {"e.txt", "\xE9.txt", -1},     // the accent decides on the second level ...
        {"\xE9" "a", "eb", -1},        // ... after the letters
        {"\xE9.txt", "f.txt", -1},
        {"\xC9", "\xE9", 0},
        {"\xDF", "st", -1},            // sharp s weighs as "ss"
        {"ss", "\xDF", 0},
        {"\xC6on", "af", -1},          // AE as "ae"
        {"a2", "a\xB2", -1},           // superscript two: a "2" of another form
        {"a\xB2", "a3", -1},
    };
    for (const Case &c : cases) {
        std::string a = mksfx::ListSortKey(c.first), b = mksfx::ListSortKey(c.second);
        int got = a < b ? -1 : b < a ? 1 : 0;
        EXPECT_EQ(got, c.order) << c.first << " | " << c.second;
    }
    // Names the list holds equal keep their given order.
    std::vector<std::string> names = {"b", "a.TXT", "A.txt", "a.txt"};
    mksfx::SortInListOrder(names, [](const std::string &n) { return n; });
    EXPECT_EQ(names, (std::vector<std::string>{"a.TXT", "A.txt", "a.txt", "b"}));
}

}  // namespace
