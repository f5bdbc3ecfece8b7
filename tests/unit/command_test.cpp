// The post-extraction command: splitting and token replacement, the short-path
// step, the run check box caption, and what RunAfterExtraction starts (the
// stand-in records ShellExecuteA and WinExec with the current directory).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "actions/command.h"
#include "app/SFXgbls.h"
#include "platform/posix/standin.h"
#include "support/drive.h"
#include "ui/Dialog.h"

namespace {

// The setup programs by their full path in the stand-in's system and Windows folders.
const std::string kNt = "C:\\WINDOWS\\system32\\rundll32.exe setupapi.dll,InstallHinfSection DefaultInstall";
const std::string k9x = "C:\\WINDOWS\\rundll.exe setupx.dll,InstallHinfSection DefaultInstall 132 ";

// A command text and what one step makes of it: the program part or the run
// check box's caption, and (when splitting) the parameter part.
struct CommandCase {
    const char *command, *expected, *parameters = "";
};

// Drive D: is a fresh host folder holding dest\ and def\; the shared text
// buffers point at the fixture's own.
class CommandTest : public DriveTest {
protected:
    char command[TEXT_BUFFER_SIZE] = {};
    char defaultDir[TEXT_BUFFER_SIZE] = {};
    char *savedCommand = nullptr, *savedDefault = nullptr;

    void SetUp() override {
        DriveTest::SetUp();
        Mkdir("dest");
        Mkdir("def");
        Mkdir("my dir");
        Mkdir("Program Files");
        ASSERT_TRUE(SetCurrentDirectoryA("D:\\"));
        savedCommand = commandText;
        savedDefault = defaultDirText;
        commandText = command;
        defaultDirText = defaultDir;
        hasCommand = true;
        strcpy(extractDir, "D:\\dest");
    }
    void TearDown() override {
        commandText = savedCommand;
        defaultDirText = savedDefault;
        hasCommand = false;
        extractDir[0] = 0;
        DriveTest::TearDown();
    }
    void Mkdir(const std::string &rel) { ASSERT_EQ(mkdir((root + "/" + rel).c_str(), 0777), 0); }
    void Touch(const std::string &rel) { std::ofstream(root + "/" + rel) << "x"; }
    void SetCommand(const std::string &text) {
        ASSERT_LT(text.size(), sizeof command);
        strcpy(command, text.c_str());
    }
    std::string Part(int which) {
        char out[COMMAND_PART_SIZE];
        GetCommandPart((CommandPart)which, out, sizeof out);
        return out;
    }
    std::string Caption() {
        char out[600];
        BuildRunCaption(out, sizeof out);
        return out;
    }
    std::string Cwd() {
        char cwd[MAX_PATH + 1];
        GetCurrentDirectoryA(sizeof cwd, cwd);
        return cwd;
    }
};

TEST(CommandTokens, ReplacesEachTokenOfTheInputOnce) {
    struct {
        const char *text, *replacement;
        int outSize;
        const char *expected;
    } cases[] = {
        {"><a", "D:\\x\\", 64, "D:\\x\\a"},
        {"a><b><c", "R", 64, "aRbRc"},
        {">>><<<", "R", 64, ">>R<<"},
        {"<>", "R", 64, "<>"},
        {"x>", "R", 64, "x>"},
        {"", "R", 64, ""},
        {"><", "", 64, ""},
        // Inserted text is never searched again.
        {"><", "><", 64, "><"},
        {"><><", "a><", 64, "a><a><"},
        {"><", "<>", 64, "<>"},
        {"><>", "<", 64, "<>"},
        // Cut at outSize - 1, in the middle of a replacement or of plain text.
        {"><><", "abcdef", 8, "abcdefa"},
        {"abcdef", "R", 4, "abc"},
        {"><", "R", 1, ""},
    };
    for (auto &c : cases) {
        char out[80];
        memset(out, '#', sizeof out);
        ReplaceDirToken(c.text, c.replacement, out, c.outSize);
        EXPECT_STREQ(out, c.expected) << c.text << " / " << c.replacement;
        EXPECT_EQ(out[c.outSize], '#') << c.text;  // nothing written past outSize
    }
}

TEST(CommandInf, NameEndsInInfWithoutRegardToCase) {
    struct {
        const char *name;
        bool inf;
    } cases[] = {
        {"driver.inf", true}, {"DRIVER.INF", true}, {"x.Inf", true},     {"x.iNf", true},
        {".inf", true},       {"D:\\d\\S.INF", true}, {"x.infx", false}, {"x.in", false},
        {"inf", false},       {"", false},          {"xinf", false},     {"x_inf", false},
        {"x.inf ", false},    {"x.exe", false},
    };
    for (auto &c : cases) EXPECT_EQ(IsInfFile(c.name), c.inf) << c.name;
}

TEST_F(CommandTest, FirstSeparatorSplitsAndTokensBecomeTheDestination) {
    const CommandCase cases[] = {
        {"setup.exe|-auto", "setup.exe", "-auto"},
        {"setup.exe", "setup.exe", ""},
        {"a|b|c", "a", "b|c"},
        {"|x", "", "x"},
        {"x|", "x", ""},
        {"", "", ""},
        {"><run.exe|><data.txt", "D:\\dest\\run.exe", "D:\\dest\\data.txt"},
        {"><a><b|c><", "D:\\dest\\aD:\\dest\\b", "cD:\\dest\\"},
        // The separator divides before tokens are looked for.
        {">|<", ">", "<"},
    };
    for (auto &c : cases) {
        SetCommand(c.command);
        EXPECT_EQ(Part(1), c.expected) << c.command;
        EXPECT_EQ(Part(2), c.parameters) << c.command;
    }
}

TEST_F(CommandTest, DestinationGainsOneTrailingBackslash) {
    SetCommand("x.exe");
    struct {
        std::string before, after;
    } cases[] = {
        {"D:\\dest", "D:\\dest\\"},
        {"D:\\dest\\", "D:\\dest\\"},
        {"", "\\"},
        {std::string(259, 'a'), std::string(259, 'a') + "\\"},
        {std::string(260, 'a'), std::string(260, 'a')},  // full: left alone
    };
    for (auto &c : cases) {
        strcpy(extractDir, c.before.c_str());
        Part(1);
        EXPECT_EQ(std::string(extractDir), c.after) << c.before.size();
    }
}

TEST_F(CommandTest, DestinationHoldingTheTokenIsInsertedOnce) {
    strcpy(extractDir, "D:\\a><b");
    SetCommand("><x.exe|><");
    EXPECT_EQ(Part(1), "D:\\a><b\\x.exe");
    EXPECT_EQ(Part(2), "D:\\a><b\\");
}

TEST_F(CommandTest, ShortFormReplacesAnExistingNameOnlyWhenItFits) {
    Touch("Program Files/setup.exe");
    Touch("Program Files/long name.inf");
    Touch("Program Files/a.exe");
    standin::SetShortPath("D:\\Program Files\\setup.exe", "D:\\PROGRA~1\\setup.exe");
    standin::SetShortPath("D:\\Program Files\\long name.inf", "D:\\PROGRA~1\\LONGNA~1.INF");
    // Exactly as long as the part: no room for its NUL.
    standin::SetShortPath("D:\\Program Files\\a.exe", "D:\\PROGRA~1\\ABCDE\\a.exe");
    strcpy(extractDir, "D:\\Program Files");
    const CommandCase cases[] = {
        {"><setup.exe", "D:\\PROGRA~1\\setup.exe"},
        {"><long name.inf", "D:\\PROGRA~1\\LONGNA~1.INF"},
        {"><a.exe", "D:\\Program Files\\a.exe"},
        // Not the exact name of an existing file: the long form stays.
        {"><missing.exe", "D:\\Program Files\\missing.exe"},
        {"><setup.exe -x", "D:\\Program Files\\setup.exe -x"},
        // Existing, and its short form is itself: unchanged.
        {"D:\\dest", "D:\\dest"},
    };
    for (auto &c : cases) {
        SetCommand(c.command);
        EXPECT_EQ(Part(1), c.expected) << c.command;
    }
    // A short form longer than the part does not fit either ("my dir" becomes
    // "MYDIR~1"): the long form stays.
    Touch("my dir/setup.exe");
    standin::SetShortPath("D:\\my dir\\setup.exe", "D:\\MYDIR~1\\setup.exe");
    strcpy(extractDir, "D:\\my dir");
    SetCommand("><setup.exe");
    EXPECT_EQ(Part(1), "D:\\my dir\\setup.exe");
}

TEST_F(CommandTest, CaptionNamesTheActionAndBothNames) {
    const CommandCase cases[] = {
        {"><setup.exe|-auto", "After extraction, run : setup.exe -auto"},
        {"><driver.inf", "After extraction, install : driver.inf "},
        {"><Driver.Inf|.ntx86", "After extraction, install : Driver.Inf .ntx86"},
        {"x.infx", "After extraction, run : x.infx "},
        {"prog.exe|/s", "After extraction, run : prog.exe s"},
        {"><sub\\tool.exe|><readme.txt", "After extraction, run : tool.exe readme.txt"},
        {"C:tool.exe|a|b", "After extraction, run : tool.exe a|b"},
        {"", "After extraction, run :  "},
    };
    for (auto &c : cases) {
        SetCommand(c.command);
        EXPECT_EQ(Caption(), c.expected) << c.command;
    }
    // The caption has the destination's backslash side effect too.
    EXPECT_STREQ(extractDir, "D:\\dest\\");
}

TEST_F(CommandTest, CaptionIsBoundedByItsBuffer) {
    SetCommand("><setup.exe|-auto");
    char out[16];
    memset(out, '#', sizeof out);
    BuildRunCaption(out, 10);
    EXPECT_STREQ(out, "After ext");
    EXPECT_EQ(out[10], '#');
}

TEST_F(CommandTest, OpensThroughTheShellInTheDestination) {
    SetCommand("><setup.exe|-auto|x");
    std::string before = Cwd();
    RunAfterExtraction(BST_CHECKED);
    ASSERT_EQ(standin::ShellExecutes().size(), 1u);
    const auto &r = standin::ShellExecutes()[0];
    EXPECT_EQ(r.owner, nullptr);
    EXPECT_EQ(r.verb, "open");
    EXPECT_EQ(r.file, "D:\\dest\\setup.exe");
    EXPECT_EQ(r.parameters, "-auto|x");
    EXPECT_EQ(r.directory, "D:\\dest\\");
    EXPECT_EQ(r.show, SW_SHOW);
    EXPECT_EQ(r.currentDirectory, before);  // no default directory: unchanged
    EXPECT_EQ(Cwd(), before);
    EXPECT_TRUE(standin::WinExecs().empty());
}

TEST_F(CommandTest, DefaultDirectoryIsCurrentDuringTheStartAndRestoredAfter) {
    struct {
        const char *defaultDir, *during;
    } cases[] = {
        {"D:\\def", "D:\\def"},
        {"D:\\missing", "D:\\"},  // a failed change is ignored
        {"", "D:\\"},
    };
    for (auto &c : cases) {
        FreshStandin();
        ASSERT_TRUE(SetCurrentDirectoryA("D:\\"));
        strcpy(defaultDir, c.defaultDir);
        SetCommand("><setup.exe");
        RunAfterExtraction(BST_CHECKED);
        SetCommand("><drv.inf");
        RunAfterExtraction(BST_CHECKED);
        ASSERT_EQ(standin::ShellExecutes().size(), 1u) << c.defaultDir;
        ASSERT_EQ(standin::WinExecs().size(), 1u) << c.defaultDir;
        EXPECT_EQ(standin::ShellExecutes()[0].currentDirectory, c.during) << c.defaultDir;
        EXPECT_EQ(standin::WinExecs()[0].currentDirectory, c.during) << c.defaultDir;
        EXPECT_EQ(standin::ShellExecutes()[0].directory, "D:\\dest\\") << c.defaultDir;
        EXPECT_EQ(standin::ShellExecutes()[0].parameters, "") << c.defaultDir;  // no "|"
        EXPECT_EQ(Cwd(), "D:\\") << c.defaultDir;
    }
}

TEST_F(CommandTest, NothingStartsWithoutCheckCommandOrProgramName) {
    struct {
        const char *command;
        LRESULT check;
        bool hasCommand;
    } cases[] = {
        {"setup.exe", BST_UNCHECKED, true},
        {"setup.exe", 2, true},  // indeterminate
        {"setup.exe", BST_CHECKED, false},
        {"a.ex", BST_CHECKED, true},  // four characters
        {"a.in|x.exe", BST_CHECKED, true},
        {"|setup.exe", BST_CHECKED, true},
        {"", BST_CHECKED, true},
    };
    strcpy(extractDir, "D:\\dest");
    for (auto &c : cases) {
        SetCommand(c.command);
        hasCommand = c.hasCommand;
        RunAfterExtraction(c.check);
        EXPECT_TRUE(standin::ShellExecutes().empty()) << c.command;
        EXPECT_TRUE(standin::WinExecs().empty()) << c.command;
    }
    // Five characters are enough.
    SetCommand("a.exe");
    hasCommand = true;
    RunAfterExtraction(BST_CHECKED);
    EXPECT_EQ(standin::ShellExecutes().size(), 1u);
}

TEST_F(CommandTest, InfCommandLinesPerPlatform) {
    const std::string inf = "D:\\dest\\drv.inf";
    struct {
        DWORD platform;
        const char *command;
        std::string line;
    } cases[] = {
        {2, "><drv.inf|.ntx86", kNt + ".ntx86 132 " + inf},
        {2, "><drv.inf", kNt + " 132 " + inf},
        {2, "><drv.inf|.NTX86", kNt + " 132 " + inf},  // compared with case
        {2, "><drv.inf|.ntx86 ", kNt + " 132 " + inf},
        {2, "><drv.inf|.ntx86|", kNt + " 132 " + inf},
        {2, "><DRV.Inf|other", kNt + " 132 D:\\dest\\DRV.Inf"},
        {1, "><drv.inf|.ntx86", k9x + inf},
        {1, "><drv.inf", k9x + inf},
        {0, "><drv.inf|.ntx86", inf},
        {3, "><drv.inf", inf},
    };
    for (auto &c : cases) {
        FreshStandin();
        standin::SetPlatformId(c.platform);
        strcpy(extractDir, "D:\\dest");
        SetCommand(c.command);
        RunAfterExtraction(BST_CHECKED);
        ASSERT_EQ(standin::WinExecs().size(), 1u) << c.command;
        EXPECT_EQ(standin::WinExecs()[0].commandLine, c.line) << c.platform << c.command;
        EXPECT_EQ(standin::WinExecs()[0].show, (UINT)SW_SHOW);
        EXPECT_TRUE(standin::ShellExecutes().empty());
    }
}

// Never by bare name: a program of that name beside the self-extractor or in the
// current directory would run instead.
TEST_F(CommandTest, InfSetupProgramByItsFolder) {
    struct {
        DWORD platform;
        const char *system, *windows;
        std::string line;  // empty: nothing started
    } cases[] = {
        {2, "C:\\Win Dows\\sys", "C:\\Win Dows",
         "\"C:\\Win Dows\\sys\\rundll32.exe\" setupapi.dll,InstallHinfSection DefaultInstall 132 D:\\d\\a.inf"},
        {1, "C:\\sys", "C:\\My Win\\",
         "\"C:\\My Win\\rundll.exe\" setupx.dll,InstallHinfSection DefaultInstall 132 D:\\d\\a.inf"},
        {2, "C:\\", "C:\\", "C:\\rundll32.exe setupapi.dll,InstallHinfSection DefaultInstall 132 D:\\d\\a.inf"},
        {2, "", "C:\\WINDOWS", ""},
        {1, "C:\\WINDOWS\\system32", "", ""},
    };
    for (auto &c : cases) {
        standin::Reset();
        standin::SetPlatformId(c.platform);
        standin::SetSystemFolders(c.system, c.windows);
        strcpy(extractDir, "D:\\d");
        SetCommand("><a.inf");
        RunAfterExtraction(BST_CHECKED);
        if (c.line.empty()) {
            EXPECT_TRUE(standin::WinExecs().empty()) << c.system << c.windows;
        } else {
            ASSERT_EQ(standin::WinExecs().size(), 1u) << c.system;
            EXPECT_EQ(standin::WinExecs()[0].commandLine, c.line);
        }
    }
}

TEST_F(CommandTest, InfUsesTheShortPathAndNeedsTheVersion) {
    Touch("Program Files/drv.inf");
    standin::SetShortPath("D:\\Program Files\\drv.inf", "D:\\PROGRA~1\\drv.inf");
    strcpy(extractDir, "D:\\Program Files");
    SetCommand("><drv.inf|.ntx86");
    RunAfterExtraction(BST_CHECKED);
    ASSERT_EQ(standin::WinExecs().size(), 1u);
    EXPECT_EQ(standin::WinExecs()[0].commandLine, kNt + ".ntx86 132 D:\\PROGRA~1\\drv.inf");

    standin::SetPlatformId(2, /*fail=*/true);
    RunAfterExtraction(BST_CHECKED);
    EXPECT_EQ(standin::WinExecs().size(), 1u);  // nothing more started
    EXPECT_TRUE(standin::ShellExecutes().empty());
}

// A 255-character command full of tokens and a destination of 259 characters
// grow to about 33 KB of text: every buffer of the way must cut it.
TEST_F(CommandTest, TokenFloodStaysWithinTheBuffers) {
    std::string dest = "D:\\" + std::string(256, 'd');
    strcpy(extractDir, dest.c_str());
    std::string flood;
    while (flood.size() + 2 <= 255) flood += "><";
    flood += "x";
    const std::string commands[] = {flood, "setup.exe|" + flood.substr(0, 244),
                                    flood.substr(0, 250) + ".inf"};
    for (const std::string &cmd : commands) {
        SetCommand(cmd);
        char out[COMMAND_PART_SIZE + 16];
        memset(out, '#', sizeof out);
        GetCommandPart(cmd.find('|') == std::string::npos ? COMMAND_PROGRAM : COMMAND_PARAMETERS, out,
                       COMMAND_PART_SIZE);
        EXPECT_EQ(strlen(out), (size_t)COMMAND_PART_SIZE - 1);
        EXPECT_EQ(out[COMMAND_PART_SIZE], '#');
        Caption();
        RunAfterExtraction(BST_CHECKED);
    }
    ASSERT_EQ(standin::ShellExecutes().size(), 3u);
    std::string whole = dest + "\\";
    EXPECT_EQ(standin::ShellExecutes()[0].file.size(), (size_t)COMMAND_PART_SIZE - 1);
    EXPECT_EQ(standin::ShellExecutes()[0].file.substr(0, whole.size()), whole);
    EXPECT_EQ(standin::ShellExecutes()[1].file, "setup.exe");
    EXPECT_EQ(standin::ShellExecutes()[1].parameters.size(), (size_t)COMMAND_PART_SIZE - 1);
    // The third command's ".inf" is cut off: it is opened, not installed.
    EXPECT_TRUE(standin::WinExecs().empty());
}

}  // namespace
