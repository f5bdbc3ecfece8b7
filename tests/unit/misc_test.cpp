// Path and file-system helpers of archive/SFXmisc over the stand-in's file system.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "archive/SFXmisc.h"
#include "platform/posix/standin.h"
#include "support/drive.h"

namespace {

namespace fs = std::filesystem;

// A fresh host folder mapped to drive D: (and an empty one to E:).
class MiscFs : public DriveTest {
protected:
    testutil::TempDir empty{"misc-empty"};
    void SetUp() override {
        DriveTest::SetUp();
        standin::MapDrive('E', empty.path());
    }
    bool HostDir(const std::string &rel) { return fs::is_directory(root + "/" + rel); }
};

std::string Call(void (*f)(char *), std::string text) {
    char buffer[MAX_PATH + 2] = {};
    text.copy(buffer, text.size());
    f(buffer);
    return buffer;
}

TEST(MiscText, LengthAndSearch) {
    struct { const char *text; char c; int first, last; } cases[] = {
        {"", 'a', -1, -1}, {"abc", 'x', -1, -1}, {"a\\b\\c", '\\', 1, 3}, {"|", '|', 0, 0},
    };
    for (auto &k : cases) {
        EXPECT_EQ(FindFirstChar(k.text, k.c), k.first) << k.text;
        EXPECT_EQ(FindLastChar(k.text, k.c), k.last) << k.text;
    }
    EXPECT_EQ(TextLength(""), 0);
    EXPECT_EQ(TextLength("abc"), 3);
}

TEST(MiscText, StringFromBufferCutsAtNul) {
    char out[8];
    StringFromBuffer(out, "ab\0cd", 5);
    EXPECT_STREQ(out, "ab");
    StringFromBuffer(out, "abcdef", 3);
    EXPECT_STREQ(out, "abc");
    memset(out, 'x', sizeof out);
    StringFromBuffer(out, "abc", 0);
    EXPECT_STREQ(out, "");
}

TEST(MiscText, TextEqual) {
    EXPECT_TRUE(TextEqual("Setup.exe", "SETUP.EXE", true));
    EXPECT_FALSE(TextEqual("Setup.exe", "SETUP.EXE", false));
    EXPECT_FALSE(TextEqual("SETUP.EX", "SETUP.EXE", true));
    EXPECT_FALSE(TextEqual("SETUP.EXE", "SETUP.EX", true));
    EXPECT_TRUE(TextEqual("", "", false));
    // Only ASCII letters fold: "[" (0x5B) is not "{" (0x7B).
    EXPECT_FALSE(TextEqual("[", "{", true));
}

TEST(MiscText, BackslashEdits) {
    std::string s259(259, 'a'), s260(260, 'a');
    struct { std::string in, appended, stripped; } cases[] = {
        {"", "\\", ""},
        {"a", "a\\", "a"},
        {"a\\", "a\\", "a"},
        {"a\\\\", "a\\\\", "a\\"},
        {"a/", "a/\\", "a/"},
        {s259, s259 + "\\", s259},
        {s260, s260, s260},
    };
    for (auto &k : cases) {
        EXPECT_EQ(Call(AppendBackslash, k.in), k.appended) << k.in;
        EXPECT_EQ(Call(StripBackslash, k.in), k.stripped) << k.in;
    }
    EXPECT_EQ(Call(SlashesToBackslashes, "a/b//c\\d/"), "a\\b\\\\c\\d\\");
}

TEST(MiscPath, FileNamePart) {
    struct { std::string path, name; } cases[] = {
        {"C:\\dir\\file.txt", "file.txt"}, {"C:\\dir\\", ""}, {"C:file", "file"},
        {"name", "name"}, {"a/b", "b"}, {"a\\b/c:d", "d"}, {"", ""},
        {"d\\" + std::string(300, 'n'), std::string(255, 'n')},
    };
    for (auto &k : cases) {
        char out[256];
        FileNamePart(k.path.c_str(), out);
        EXPECT_EQ(out, k.name) << k.path;
    }
}

TEST(MiscPath, DirectoryPart) {
    struct { const char *path, *dir; } cases[] = {
        {"C:\\dir\\file", "C:\\dir"}, {"C:\\file", "C:\\"}, {"C:\\", "C:\\"},
        {"file", ""}, {"dir/sub/", "dir/sub"}, {"dest\\sub\\", "dest\\sub"},
        {"C:file", "C:"}, {"\\name", ""}, {"a:b", "a:b"}, {"dest\\x:", "dest\\x:"},
        {"C:/file", "C:/"}, {"ab\\c", "ab"}, {"", ""},
    };
    for (auto &k : cases) {
        char out[64];
        DirectoryPart(k.path, out);
        EXPECT_STREQ(out, k.dir) << k.path;
    }
}

TEST_F(MiscFs, PathExists) {
    fs::create_directory(root + "/dir");
    std::ofstream(root + "/file.txt") << "x";
    struct { std::string text; bool exists; } cases[] = {
        {"D:\\file.txt", true},  {"D:/file.txt", true},   {"D:\\dir", true},
        {"D:\\dir\\", true},     {"D:\\dir/", false},     {"D:\\missing", false},
        {"D:\\missing\\", false}, {"Q:\\x", false},       {"", false},
        {"D:\\", true},          {"E:\\", true},          {"e:\\", false},
        {"D:\\file.txt\\", false}, {"Q:\\", false},       {"D:/dir/", false},
    };
    for (auto &k : cases) {
        char text[MAX_PATH + 1] = {};
        k.text.copy(text, k.text.size());
        EXPECT_EQ(PathExists(text), k.exists) << k.text;
    }
}

TEST_F(MiscFs, PathExistsLongDirectoryNames) {
    // "D:\" + name + "\": 251 characters still fit the pattern, 252 do not and are
    // reported absent even though the directory exists.
    for (int length : {251, 252}) {
        std::string name(length - 4, 'a');
        fs::create_directory(root + "/" + name);
        std::string text = "D:\\" + name + "\\";
        char buffer[MAX_PATH + 1] = {};
        text.copy(buffer, text.size());
        EXPECT_EQ(PathExists(buffer), length == 251) << length;
        EXPECT_EQ(buffer, text) << "the caller's text is left alone";
    }
}

TEST_F(MiscFs, CreateDirectoryTree) {
    fs::create_directory(root + "/a");
    CreateDirectoryTree("D:\\a\\b\\c");
    EXPECT_TRUE(HostDir("a/b/c"));
    CreateDirectoryTree("D:/p/q/r/");
    EXPECT_TRUE(HostDir("p/q/r"));
    CreateDirectoryTree("D:\\a\\b\\c");  // all there: nothing to do
    EXPECT_TRUE(HostDir("a/b/c"));
    // A text ending in ":" is its own directory part: one attempt on the text
    // itself (which the file system refuses), no call for a parent.
    CreateDirectoryTree("D:\\x:");
    CreateDirectoryTree("D:\\y\\z:");
    EXPECT_FALSE(HostDir("y"));
    for (const char *t : {"", "\\", "C:", "D:\\"}) CreateDirectoryTree(t);
}

TEST_F(MiscFs, CreateDirectoryTreeDepthAndLength) {
    // 128 levels in 259 characters: every level created, outermost first.
    std::string deep = "D:";
    while (deep.size() + 2 <= 259) deep += "\\a";
    CreateDirectoryTree(deep.c_str());
    std::string host = root;
    for (size_t i = 2; i < deep.size(); i += 2) host += "/a";
    EXPECT_TRUE(fs::is_directory(host));
    // A text over MAX_PATH characters creates nothing.
    std::string tooLong = "D:\\long" + std::string(260, 'b');
    CreateDirectoryTree(tooLong.c_str());
    EXPECT_FALSE(HostDir("long"));
}

TEST_F(MiscFs, SetFileTimeFromDos) {
    std::ofstream(root + "/t") << "x";
    standin::SetUtcOffsetMinutes(120);
    HANDLE h = CreateFileA("D:\\t", GENERIC_READ | GENERIC_WRITE, 0, 0, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    // 4 June 2001, 10:35:28 local time; two hours ahead of UTC.
    SetFileTimeFromDos(h, (0x2AC4u << 16) | 0x546E);
    CloseHandle(h);
    struct stat st;
    ASSERT_EQ(stat((root + "/t").c_str(), &st), 0);
    struct tm utc = {};
    utc.tm_year = 101, utc.tm_mon = 5, utc.tm_mday = 4;
    utc.tm_hour = 8, utc.tm_min = 35, utc.tm_sec = 28;
    EXPECT_EQ(st.st_mtime, timegm(&utc));
}

// A DOS value that names no moment leaves the file's time alone; the last valid
// day and second of a month still convert.
TEST_F(MiscFs, SetFileTimeFromImpossibleDos) {
    struct { const char *what; WORD date, time; bool sets; } cases[] = {
        {"zero date", 0x0000, 0x0000, false},
        {"month 0", 0x2A04, 0x546E, false},
        {"month 13", 0x2BA4, 0x546E, false},
        {"day 0", 0x2AC0, 0x546E, false},
        {"30 February 2001", 0x2A5E, 0x546E, false},
        {"hour 24", 0x2AC4, 0xC000, false},
        {"minute 60", 0x2AC4, 0x0780, false},
        {"second 60 (30 x 2)", 0x2AC4, 0x001E, false},
        {"29 February 2000", 0x285D, 0xBF7D, true},
        {"1 January 1980, midnight", 0x0021, 0x0000, true},
    };
    std::string host = root + "/t";
    for (auto &k : cases) {
        SCOPED_TRACE(k.what);
        std::ofstream(host) << "x";
        struct timespec old[2] = {{0, UTIME_OMIT}, {1000000000, 0}};  // 2001-09-09
        ASSERT_EQ(utimensat(AT_FDCWD, host.c_str(), old, 0), 0);
        HANDLE h = CreateFileA("D:\\t", GENERIC_WRITE, 0, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        SetFileTimeFromDos(h, ((DWORD)k.date << 16) | k.time);
        CloseHandle(h);
        struct stat st;
        ASSERT_EQ(stat(host.c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime != 1000000000, k.sets);
    }
}

}  // namespace
