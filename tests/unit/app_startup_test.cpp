// Start-up and configuration (app/SFX.cpp, app/config.cpp): the header fields and
// option bits, the completeness check, the auto-start name rule, the start-up
// message, and the release of every buffer and handle on every way out.
#include <gtest/gtest.h>

#include <string>

#include "app/SFX.h"
#include "app/SFXgbls.h"
#include "app/SFXstrings.h"
#include "app/config.h"
#include "app/sfxformat.h"
#include "platform/posix/standin.h"
#include "support/drive.h"
#include "support/zipkit.h"

namespace {

using zipkit::SfxHeader;

// A one-entry stored ZIP whose offsets count from `base`, the start of the whole
// file; the end record carries a comment of `commentLength` bytes.
std::string Zip(unsigned base, size_t commentLength = 0, const std::string &data = "hello") {
    return zipkit::CraftZip({{"a.txt", data}}, base, std::string(commentLength, 'c'));
}

// Stub-sized padding, the header, the ZIP data.
std::string SfxFile(const std::string &header, size_t commentLength = 0) {
    return zipkit::SfxFile(header, Zip(HEADER_OFFSET + (unsigned)header.size(), commentLength));
}

// The one message box shown so far, as "caption | text", with its owner and style.
void ExpectOneBox(const std::string &caption, const std::string &text, UINT style) {
    ASSERT_EQ(standin::MessageBoxes().size(), 1u);
    const auto &box = standin::MessageBoxes()[0];
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.caption, caption);
    EXPECT_EQ(box.style, style);
}

// Drive D: holds the program's own file, test.exe unless named otherwise.
class SfxTest : public DriveTest {
protected:
    void SetUp() override {
        FreshStandin();
        standin::SetModuleFileName("D:\\test.exe");
        standin::SetTempPath("C:\\TEMP\\");
    }
    void TearDown() override {
        ModuleShutdown();
        EXPECT_EQ(standin::LiveAllocations(), 0);
        EXPECT_EQ(standin::OpenHandles(), 0);
        DriveTest::TearDown();
    }
    // A clean stand-in for the next case, once the previous one has let go.
    void Restart() {
        ModuleShutdown();
        SetUp();
    }
    void Write(const std::string &bytes, const std::string &name = "test.exe") {
        testutil::WriteHostFile(root + "/" + name, bytes);
    }
    // Start-up and the open of the own file, then the header: what SfxRun does
    // before the start-up message, leaving the state for inspection.
    bool Configure(const std::string &bytes, const std::string &name = "test.exe") {
        ModuleShutdown();
        Write(bytes, name);
        standin::SetModuleFileName("D:\\" + name);
        EXPECT_TRUE(ModuleStartup());
        archiveHandle = CreateFileA(("D:\\" + name).c_str(), GENERIC_READ, FILE_SHARE_READ, 0,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
        EXPECT_NE(archiveHandle, INVALID_HANDLE_VALUE);
        return ReadConfiguration();
    }
    void ExpectIncorrectSizeBox() {
        ExpectOneBox("Error..", "Incorrect file size, please try to download this file again.",
                     MB_ICONERROR);
    }
};

// ---- header fields and option bits -----------------------------------------------------

using ConfigHeader = SfxTest;

TEST_F(ConfigHeader, WorkedExample) {
    const unsigned char bytes[60] = {
        0x44, 0x49, 0x44, 0x22, 0x00, 0x01, 0x3C, 0x00, 0x23, 'S', 'e', 'l', 'f', ' ', 'E',
        'x', 't', 'r', 'a', 'c', 't', 'i', 'n', 'g', ' ', 'A', 'r', 'c', 'h', 'i', 'v',
        'e', ',', ' ', 'T', 'A', 'R', 'V', 'E', 'X', ' ', '1', '.', '5', 0x00, 0x0D, '>',
        '<', 'A', 'D', 'O', 'P', 'T', 'E', 'D', '.', 'W', '5', '2', 0x00};
    std::string header((const char *)bytes, sizeof bytes);
    ASSERT_EQ(header, SfxHeader(0x22, "Self Extracting Archive, TARVEX 1.5", "", "><ADOPTED.W52"));
    // Cut short: the check is off in this header, so it still passes.
    std::string file = SfxFile(header);
    ASSERT_TRUE(Configure(file.substr(0, file.size() - 30)));
    EXPECT_STREQ(captionText, "Self Extracting Archive, TARVEX 1.5");
    EXPECT_FALSE(hasDefaultDir);
    EXPECT_STREQ(defaultDirText, "");
    EXPECT_TRUE(hasCommand);
    EXPECT_STREQ(commandText, "><ADOPTED.W52");
    EXPECT_FALSE(hasStartupMessage);
    EXPECT_STREQ(messageText, "");
    EXPECT_FALSE(showRunCheckbox);
    EXPECT_TRUE(selectFiles);
    EXPECT_FALSE(lockOverwriteMode);
    EXPECT_EQ(initialOverwriteMode, OVERWRITE_CONFIRM);
    EXPECT_FALSE(checkArchiveSize);
    EXPECT_FALSE(autoStart);
    EXPECT_TRUE(showFinishedMessage);
    EXPECT_EQ(archiveStart, HEADER_OFFSET + 60);
    EXPECT_TRUE(standin::MessageBoxes().empty());
}

TEST_F(ConfigHeader, OptionBits) {
    struct {
        int options;
        bool run, select, lock;
        int button;
        bool check, finished;
    } cases[] = {
        {0x00, false, false, false, OVERWRITE_CONFIRM, true, true},
        {0xFF, true, true, true, OVERWRITE_CONFIRM, false, false},
        {0x01, true, false, false, OVERWRITE_CONFIRM, true, true},
        {0x02, false, true, false, OVERWRITE_CONFIRM, true, true},
        {0x04, false, false, true, OVERWRITE_CONFIRM, true, true},
        {0x08, false, false, false, OVERWRITE_ALWAYS, true, true},
        {0x10, false, false, false, OVERWRITE_NEVER, true, true},
        {0x18, false, false, false, OVERWRITE_CONFIRM, true, true},
        {0x20, false, false, false, OVERWRITE_CONFIRM, false, true},
        {0x80, false, false, false, OVERWRITE_CONFIRM, true, false},
        {0x40, false, false, false, OVERWRITE_CONFIRM, true, true},
    };
    for (auto &k : cases) {
        SCOPED_TRACE(k.options);
        ASSERT_TRUE(Configure(SfxFile(SfxHeader(k.options))));
        EXPECT_EQ(showRunCheckbox, k.run);
        EXPECT_EQ(selectFiles, k.select);
        EXPECT_EQ(lockOverwriteMode, k.lock);
        EXPECT_EQ(initialOverwriteMode, k.button);
        EXPECT_EQ(checkArchiveSize, k.check);
        EXPECT_EQ(showFinishedMessage, k.finished);
        EXPECT_FALSE(autoStart);  // "test.exe" never qualifies
        EXPECT_STREQ(captionText, "Tarvex Self-Extractor");
        EXPECT_FALSE(hasDefaultDir || hasCommand || hasStartupMessage);
    }
}

TEST_F(ConfigHeader, TextsAndSlack) {
    std::string longest(255, 'm');
    std::string header = SfxHeader(0, "Cap", "D:\\dest\\", "run.txt", longest, 100);
    ASSERT_TRUE(Configure(SfxFile(header)));
    EXPECT_STREQ(captionText, "Cap");
    EXPECT_TRUE(hasDefaultDir);
    EXPECT_STREQ(defaultDirText, "D:\\dest\\");
    EXPECT_STREQ(commandText, "run.txt");
    EXPECT_TRUE(hasStartupMessage);
    EXPECT_EQ(messageText, longest);
    EXPECT_EQ(archiveStart, (LONG)(HEADER_OFFSET + header.size()));
    // The default directory is resolved while the header is read.
    ASSERT_TRUE(Configure(SfxFile(SfxHeader(0, "", "><"))));
    EXPECT_STREQ(defaultDirText, "C:\\TEMP\\");
}

TEST_F(ConfigHeader, WrongSignature) {
    for (std::string sig : {std::string("DIX"), std::string("did"), std::string("DI\0", 3),
                            std::string("\0ID", 3)}) {
        Restart();
        std::string h = SfxHeader(0);
        h.replace(0, 3, sig);
        EXPECT_FALSE(Configure(SfxFile(h)));
        ExpectIncorrectSizeBox();
    }
}

TEST_F(ConfigHeader, FileEndsInHeader) {
    // The stub part alone, and one cut after the signature with the check off.
    EXPECT_FALSE(Configure(std::string(HEADER_OFFSET, '\0') + "DI"));
    ExpectIncorrectSizeBox();
    Restart();
    std::string h = SfxHeader(OPT_NO_SIZE_CHECK, std::string(200, 'c'));
    EXPECT_TRUE(Configure(std::string(HEADER_OFFSET, '\0') + h.substr(0, 30)));
    EXPECT_EQ(captionText, std::string(21, 'c'));
    EXPECT_FALSE(hasCommand || hasStartupMessage);
}

// ---- completeness check ----------------------------------------------------------------------

using ConfigSize = SfxTest;

TEST_F(ConfigSize, Completeness) {
    std::string h = SfxHeader(0, "c", "", "", "");
    std::string good = SfxFile(h), commented = SfxFile(h, 1000);
    std::string zipless = std::string(HEADER_OFFSET, '\0') + h;
    // A fake end record (comment length 0xFFFF) inside the stored data, and one
    // inside the comment of the real record.
    std::string fake = std::string("PK\5\6", 4) + std::string(16, '\0') + "\xFF\xFF";
    std::string fakeEarly = zipless + Zip(HEADER_OFFSET + (unsigned)h.size(), 0, "x" + fake + "y");
    std::string fakeLate = good.substr(0, good.size() - 2) + "\x18" + std::string(1, '\0') + fake +
                           "zz";
    std::string farHeader = good;
    farHeader[HEADER_OFFSET + 6] = '\xFF', farHeader[HEADER_OFFSET + 7] = '\xFF';
    struct { const char *what; std::string file; int options; bool ok; } cases[] = {
        {"complete", good, 0, true},
        {"1,000-byte comment", commented, 0, true},
        {"64 KiB comment", SfxFile(h, 65535), 0, true},
        {"cut by one byte", good.substr(0, good.size() - 1), 0, false},
        {"cut inside the data", good.substr(0, good.size() - 60), 0, false},
        {"comment cut", commented.substr(0, commented.size() - 10), 0, false},
        {"one byte appended", good + "x", 0, false},
        {"end record only (22 bytes)", zipless + Zip(0).substr(Zip(0).size() - 22), 0, false},
        {"no ZIP data", zipless, 0, false},
        {"header shorter than headerSize", zipless.substr(0, zipless.size() - 1), 0, false},
        {"23 bytes: end record and a 1-byte comment",
         zipless + Zip(0, 1).substr(Zip(0, 1).size() - 23), 0, true},
        // A record signature that does not end the file is passed over, and the
        // scan goes on to the real record.
        {"stray record signature in the data", fakeEarly, 0, true},
        {"stray record signature in the comment", fakeLate, 0, true},
        {"stray record only, real one cut off", fakeEarly.substr(0, fakeEarly.size() - 22), 0,
         false},
        {"headerSize past the end of the file", farHeader, 0, false},
        {"check off, cut", good.substr(0, good.size() - 1), OPT_NO_SIZE_CHECK, true},
        {"check off, nothing", zipless, OPT_NO_SIZE_CHECK, true},
    };
    for (auto &k : cases) {
        SCOPED_TRACE(k.what);
        Restart();
        std::string file = k.file;
        file[HEADER_OFFSET + 3] = (char)k.options;
        EXPECT_EQ(Configure(file), k.ok);
        EXPECT_EQ(archiveSizeOk, k.ok && !k.options);
        if (k.ok) EXPECT_TRUE(standin::MessageBoxes().empty());
        else ExpectIncorrectSizeBox();
    }
}

TEST_F(ConfigSize, LeavesThePosition) {
    std::string h = SfxHeader(0, "cap", "", "cmd");
    ASSERT_TRUE(Configure(SfxFile(h)));
    // Just after the texts, as if the check had not run.
    EXPECT_EQ(SeekArchive(0, FILE_CURRENT), (DWORD)(HEADER_OFFSET + h.size()));
}

// ---- automatic start ----------------------------------------------------------------------

TEST(ConfigAutoStart, NameRule) {
    struct { const char *path; bool qualifies; } cases[] = {
        {"C:\\dir\\!x.exe", true},     {"SETUP.EXE", true},          {"D:\\setup.exe", true},
        {"C:\\Setup.exe", true},       {"C:\\Setup.exe.exe", false}, {"C:\\xsetup.exe", false},
        {"C:\\setup.ex", false},       {"C:/dir/!a.exe", true},      {"C:!x.exe", true},
        {"C:\\x!.exe", false},         {"C:\\!dir\\a.exe", false},   {"C:\\dir/SETUP.exe", true},
        {"", false},
    };
    for (auto &k : cases) EXPECT_EQ(IsAutoStartName(k.path), k.qualifies) << k.path;
}

TEST_F(SfxTest, AutoStartNeedsBitAndName) {
    struct { const char *name; int options; bool autoStart; } cases[] = {
        {"!x.exe", 0x40, true}, {"SETUP.EXE", 0x40, true}, {"setup.exe", 0xFF, true},
        {"x.exe", 0x40, false}, {"!x.exe", 0x00, false},   {"SETUP.EXE", 0xBF, false},
    };
    for (auto &k : cases) {
        ASSERT_TRUE(Configure(SfxFile(SfxHeader(k.options)), k.name)) << k.name;
        EXPECT_EQ(autoStart, k.autoStart) << k.name << " " << k.options;
    }
}

// ---- the whole run ------------------------------------------------------------------------

using Startup = SfxTest;

TEST_F(Startup, ReachesMainDialogAndReleasesEverything) {
    Write(SfxFile(SfxHeader(0, "Caption")));
    SfxRun();
    EXPECT_TRUE(standin::MessageBoxes().empty());
    ASSERT_EQ(standin::DialogsShown().size(), 1u);
    EXPECT_EQ(standin::DialogsShown()[0], "MainDialog");
    EXPECT_EQ(archiveHandle, nullptr);
    EXPECT_EQ(captionText, nullptr);
}

TEST_F(Startup, OwnFileCannotBeOpened) {
    standin::SetModuleFileName("D:\\renamed\\gone.exe");
    SfxRun();
    ExpectOneBox("Error reading archive.", "D:\\renamed\\gone.exe", MB_ICONERROR);
    EXPECT_TRUE(standin::DialogsShown().empty());
}

TEST_F(Startup, BadHeaderEndsBeforeAnyWindow) {
    std::string file = SfxFile(SfxHeader(0));
    Write(file.substr(0, file.size() - 1));
    SfxRun();
    ExpectIncorrectSizeBox();
    EXPECT_TRUE(standin::DialogsShown().empty());
}

TEST_F(Startup, StartupMessage) {
    struct {
        std::string message, caption;
        int answer;  // 0: the scripted user's default
        UINT style;
        std::string shown;
        bool mainDialog;
    } cases[] = {
        {"\1Continue?", "Cap", IDOK, 0x41, "Continue?", true},
        {"\1Continue?", "Cap", IDCANCEL, 0x41, "Continue?", false},
        {"\2Install?", "Cap", IDYES, 0x24, "Install?", true},
        {"\2Install?", "Cap", IDNO, 0x24, "Install?", false},
        {"\5Note", "Cap", IDCANCEL, 0, "Note", true},
        {std::string("\0Zero", 5), "Cap", IDCANCEL, 0, "Zero", true},
        {"\6", "Cap", 0, 0, "", true},
        {"Hello", "", IDCANCEL, 0, "Hello", true},
        {"\7Bell", "Cap", IDNO, 0, "\7Bell", true},
    };
    for (auto &k : cases) {
        SCOPED_TRACE(k.shown);
        Restart();
        Write(SfxFile(SfxHeader(0, k.caption, "", "", k.message)));
        if (k.answer) standin::QueueMessageBoxAnswer(k.answer);
        SfxRun();
        ExpectOneBox(k.caption.empty() ? "Tarvex Self-Extractor" : k.caption, k.shown, k.style);
        EXPECT_EQ(standin::DialogsShown().size(), k.mainDialog ? 1u : 0u);
        EXPECT_EQ(standin::LiveAllocations(), 0);
        EXPECT_EQ(standin::OpenHandles(), 0);
    }
}

TEST_F(Startup, FailedCloseIsReportedAndShutdownGoesOn) {
    ASSERT_TRUE(ModuleStartup());
    archiveHandle = (HANDLE)(uintptr_t)0x1234;  // no such file handle: the close fails
    ModuleShutdown();
    ExpectOneBox("Error..", "Cannot close the file", MB_ICONERROR);
    EXPECT_EQ(archiveHandle, nullptr);
    EXPECT_EQ(standin::LiveAllocations(), 0);
}

TEST_F(Startup, OutOfMemoryAtStartupEndsQuietly) {
    Write(SfxFile(SfxHeader(0)));
    // The CRC block and the four text buffers, each in turn.
    for (int n = 0; n < 5; n++) {
        Restart();
        standin::FailAllocationAfter(n);
        SfxRun();
        EXPECT_TRUE(standin::MessageBoxes().empty()) << n;
        EXPECT_TRUE(standin::DialogsShown().empty()) << n;
        EXPECT_EQ(standin::LiveAllocations(), 0) << n;
        EXPECT_EQ(standin::OpenHandles(), 0) << n;
    }
}

}  // namespace
