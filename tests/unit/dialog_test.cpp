// The main dialog and the sub-dialogs run from the real templates over the
// stand-in: initialisation with the option bits, Start, Close, About and a
// cancelled browse, the overwrite question with "Don't ask again", the
// password prompt, the new-subdirectory dialog, and the window helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/SFXgbls.h"
#include "archive/extract.h"
#include "resources/resource.h"
#include "support/archives.h"
#include "support/runstate.h"
#include "ui/Dialog.h"

using zipkit::CraftedEntry;

namespace {

const int kAllControls[] = {IDOK,          IDC_DIR_EDIT,          IDC_BROWSE,         IDC_FILE_LIST,
                            IDC_PLAIN_LIST, IDC_CONFIRM_OVERWRITE, IDC_OVERWRITE,      IDC_DONT_OVERWRITE,
                            IDC_RUN_CHECK, IDCANCEL,              IDC_EXISTING_LABEL, IDC_DIR_LABEL,
                            IDC_SEPARATOR, IDC_ABOUT};
const std::vector<std::string> kItems = {"A.txt", "b.txt", "d/c.txt"};

std::string GoodZip() {
    return zipkit::CraftZip({{"b.txt", "bee"}, {"A.txt", "ay"}, {"d/c.txt", "sea"}});
}

// The run state a header would give, in buffers of the test's own; the
// destination folders live on drive D:.
class DialogTest : public RunStateTest {
protected:
    testutil::TempDir tmp{"dialogtest"};
    std::map<std::string, std::function<void(HWND)>> users;  // template name -> the user's part
    HWND mainDialog = nullptr;

    void SetUp() override {
        testutil::RunCommand("mkdir -p '" + tmp.path() + "/dest' '" + tmp.path() + "/cwd'");
        Fresh();
        ASSERT_TRUE(SetCurrentDirectoryA("D:\\cwd"));
        InstallRunState();
        overwriteMode = OVERWRITE_ALWAYS;
        overwriteAnswer = 0;
        currentPassword[0] = 0;
    }
    // The stand-in back to its start (records and current directory too), with
    // drive D: and the scripted user in place again.
    void Fresh() {
        standin::Reset();
        standin::MapDrive('D', tmp.path());
        standin::SetDialogScript([this](const std::string &name, HWND dialog) {
            if (name == "MainDialog") mainDialog = dialog;
            auto it = users.find(name);
            if (it != users.end()) it->second(dialog);
        });
    }
    void TearDown() override {
        RestoreRunState();
        standin::Reset();
    }
    INT_PTR RunMain(const std::string &zip = GoodZip()) {
        archives::OpenedSfx sfx(tmp / "sfx.exe", zip);
        EXPECT_TRUE(sfx.ok());
        return DialogBoxParamA(0, "MainDialog", 0, MainDialogProc, 0);
    }
    std::string Cwd() {
        char cwd[TEXT_BUFFER_SIZE];
        GetCurrentDirectoryA(sizeof cwd, cwd);
        return cwd;
    }
    std::string Host(const std::string &rel) { return testutil::ReadHostFile(tmp / rel); }
    static HWND Item(HWND dialog, int id) { return GetDlgItem(dialog, id); }
    static std::string Text(HWND dialog, int id) { return standin::WindowText(Item(dialog, id)); }
    static std::vector<std::string> Selected(HWND list) {
        std::vector<std::string> items = standin::ListItems(list), out;
        std::vector<bool> selection = standin::ListSelection(list);
        for (size_t i = 0; i < items.size(); i++)
            if (selection[i]) out.push_back(items[i]);
        return out;
    }
};

// ---- initialisation ---------------------------------------------------------------

TEST_F(DialogTest, InitialisationFollowsTheOptionBits) {
    struct {
        const char *label;
        bool selectFiles, lock;
        int button;
        const char *command;  // nullptr: none
        bool showRun;
        const char *defaultDir;  // nullptr: none, the current directory is proposed
        // expected
        BYTE mode;
        bool runVisible;
        int runCheck;
        const char *runText, *edit;
    } cases[] = {
        {"confirm, no command", true, false, IDC_CONFIRM_OVERWRITE, nullptr, true, nullptr,
         OVERWRITE_CONFIRM, false, BST_UNCHECKED, "run", "D:\\cwd"},
        {"plain list, overwrite", false, false, IDC_OVERWRITE, nullptr, false, "D:\\dest",
         OVERWRITE_ALWAYS, false, BST_UNCHECKED, "run", "D:\\dest"},
        {"locked, don't overwrite", true, true, IDC_DONT_OVERWRITE, nullptr, false, nullptr,
         OVERWRITE_NEVER, false, BST_UNCHECKED, "run", "D:\\cwd"},
        {"command shown", true, false, IDC_CONFIRM_OVERWRITE, "><setup.exe|-auto", true, "D:\\dest",
         OVERWRITE_CONFIRM, true, BST_CHECKED, "After extraction, run : setup.exe -auto", "D:\\dest\\"},
        {"command hidden", true, false, IDC_CONFIRM_OVERWRITE, "><drv.inf", false, nullptr,
         OVERWRITE_CONFIRM, false, BST_CHECKED, "After extraction, install : drv.inf ", "D:\\cwd\\"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.label);
        selectFiles = c.selectFiles;
        lockOverwriteMode = c.lock;
        initialOverwriteMode = c.mode;
        hasCommand = c.command != nullptr;
        strcpy(command, c.command ? c.command : "");
        showRunCheckbox = c.showRun;
        hasDefaultDir = c.defaultDir != nullptr;
        strcpy(defaultDir, c.defaultDir ? c.defaultDir : "");
        HWND seenMain = nullptr;
        users["MainDialog"] = [&](HWND d) {
            seenMain = mainWindow;
            EXPECT_EQ(standin::WindowText(d), "Test archive");
            EXPECT_NE(standin::ClassIcon(d), 0);
            RECT r;
            GetWindowRect(d, &r);
            EXPECT_EQ(r.left, (1024 - (r.right - r.left)) / 2);
            EXPECT_EQ(r.top, (768 - (r.bottom - r.top)) / 2);

            EXPECT_EQ(Text(d, IDC_DIR_EDIT), c.edit);
            EXPECT_STREQ(extractDir, c.edit);
            DWORD from = 1, to = 1;
            standin::EditSelection(Item(d, IDC_DIR_EDIT), &from, &to);
            EXPECT_EQ(from, 0u);
            EXPECT_EQ(to, 32767u);

            HWND files = Item(d, IDC_FILE_LIST), plain = Item(d, IDC_PLAIN_LIST);
            EXPECT_EQ(standin::WindowVisible(files), c.selectFiles);
            EXPECT_EQ(standin::WindowVisible(plain), !c.selectFiles);
            EXPECT_EQ(standin::ListItems(files), kItems);
            EXPECT_EQ(Selected(files), kItems);  // also while hidden
            EXPECT_EQ(standin::ListItems(plain), c.selectFiles ? std::vector<std::string>{} : kItems);

            for (int id : {IDC_OVERWRITE, IDC_DONT_OVERWRITE, IDC_CONFIRM_OVERWRITE, IDC_EXISTING_LABEL})
                EXPECT_EQ(Item(d, id) != nullptr, !c.lock) << id;
            if (!c.lock)
                for (int id : {IDC_OVERWRITE, IDC_DONT_OVERWRITE, IDC_CONFIRM_OVERWRITE})
                    EXPECT_EQ(standin::CheckState(Item(d, id)), id == c.button) << id;
            EXPECT_EQ(overwriteMode, c.mode);

            HWND run = Item(d, IDC_RUN_CHECK);
            EXPECT_EQ(standin::WindowVisible(run), c.runVisible);
            EXPECT_EQ(standin::CheckState(run), c.runCheck);
            EXPECT_EQ(standin::WindowText(run), c.runText);
        };
        mainWindow = nullptr;
        RunMain();
        EXPECT_NE(mainDialog, nullptr);
        EXPECT_EQ(seenMain, mainDialog);  // recorded as the last step of initialisation
        EXPECT_TRUE(standin::ShellExecutes().empty());
    }
}

// ---- Start and Close ----------------------------------------------------------------

TEST_F(DialogTest, StartExtractsIntoTheTypedDestination) {
    struct {
        const char *label;
        const char *typed;
        bool selectFiles;
        std::string folder;  // where the files land, relative to the test folder
        const char *editAfter;
    } cases[] = {
        {"trailing backslash", "D:\\dest\\", true, "dest", "D:\\dest\\"},
        {"new folder", "D:\\dest\\new", true, "dest/new", "D:\\dest\\new"},
        {"empty edit: current directory", "", true, "cwd", "D:\\cwd"},
        {"plain list: every entry", "D:\\dest", false, "dest", "D:\\dest"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.label);
        testutil::RunCommand("rm -rf '" + tmp.path() + "/dest' '" + tmp.path() + "/cwd'; mkdir '" +
                      tmp.path() + "/dest' '" + tmp.path() + "/cwd'");
        Fresh();
        SetCurrentDirectoryA("D:\\cwd");
        selectFiles = c.selectFiles;
        users["MainDialog"] = [&](HWND d) {
            // Deselecting in the work list counts only when files may be chosen.
            standin::SetListSelection(Item(d, IDC_FILE_LIST), 1, false);
            SetDlgItemTextA(d, IDC_DIR_EDIT, c.typed);
            EXPECT_TRUE(standin::Click(d, IDOK));
            EXPECT_EQ(Text(d, IDC_DIR_EDIT), c.editAfter);
            EXPECT_TRUE(standin::WindowVisible(Item(d, IDC_FILE_LIST)));
            EXPECT_FALSE(standin::WindowVisible(Item(d, IDC_PLAIN_LIST)));
        };
        INT_PTR result = RunMain();
        EXPECT_EQ(Host(c.folder + "/A.txt"), "ay");
        EXPECT_EQ(Host(c.folder + "/d/c.txt"), "sea");
        EXPECT_EQ(Host(c.folder + "/b.txt"), c.selectFiles ? "" : "bee");
        // A deselected entry is left out, and the run is still complete.
        EXPECT_EQ(result, IDOK);
        ASSERT_EQ(standin::MessageBoxes().size(), 1u);
        EXPECT_EQ(standin::MessageBoxes()[0].caption, "Finished.");
        EXPECT_EQ(extractDir[strlen(extractDir) - 1] == '\\', false) << extractDir;
    }
}

TEST_F(DialogTest, FailedRunStaysOpenUnlessStartedAutomatically) {
    CraftedEntry bad{"bad.txt", "data"};
    bad.setCrc = true;
    bad.crc = 1;
    std::string zip = zipkit::CraftZip({{"A.txt", "ay"}, bad});
    hasCommand = true;
    strcpy(command, "><setup.exe");
    strcpy(defaultDir, "D:\\dest");
    hasDefaultDir = true;
    initialOverwriteMode = OVERWRITE_ALWAYS;
    for (bool automatic : {false, true}) {
        SCOPED_TRACE(automatic ? "automatic start" : "Start pressed");
        Fresh();
        autoStart = automatic;
        bool scriptRan = false;
        users["MainDialog"] = [&](HWND d) {
            scriptRan = true;
            EXPECT_TRUE(standin::Click(d, IDOK));
            EXPECT_TRUE(standin::WindowExists(d));
            EXPECT_EQ(Selected(Item(d, IDC_FILE_LIST)), std::vector<std::string>{"bad.txt"});
            for (int id : {IDOK, IDCANCEL, IDC_DIR_EDIT, IDC_FILE_LIST, IDC_ABOUT})
                EXPECT_TRUE(standin::WindowEnabled(Item(d, id))) << id;
            EXPECT_TRUE(standin::Click(d, IDCANCEL));
        };
        EXPECT_EQ(RunMain(zip), IDCANCEL);
        EXPECT_EQ(scriptRan, !automatic);
        ASSERT_FALSE(standin::MessageBoxes().empty());
        EXPECT_EQ(standin::MessageBoxes().back().text, "The selected file(s) couldn't get extracted.");
        EXPECT_TRUE(standin::ShellExecutes().empty());
        EXPECT_EQ(Host("dest/A.txt"), "ay");
    }
}

TEST_F(DialogTest, AutomaticStartRunsTheCommandWithoutTheUser) {
    autoStart = true;
    hasCommand = true;
    showRunCheckbox = false;  // hidden, still checked
    strcpy(command, "><setup.exe|-go");
    strcpy(defaultDir, "D:\\dest");
    hasDefaultDir = true;
    bool scriptRan = false;
    users["MainDialog"] = [&](HWND) { scriptRan = true; };
    RunMain();
    EXPECT_FALSE(scriptRan);
    EXPECT_EQ(Host("dest/d/c.txt"), "sea");
    ASSERT_EQ(standin::ShellExecutes().size(), 1u);
    EXPECT_EQ(standin::ShellExecutes()[0].file, "D:\\dest\\setup.exe");
    EXPECT_EQ(standin::ShellExecutes()[0].parameters, "-go");
    EXPECT_EQ(standin::ShellExecutes()[0].directory, "D:\\dest\\");
    // Close ran last: the destination is the current directory.
    EXPECT_EQ(Cwd(), "D:\\dest");
}

TEST_F(DialogTest, RunCheckBoxDecidesWhetherTheCommandRuns) {
    hasCommand = true;
    showRunCheckbox = true;
    strcpy(command, "><setup.exe");
    for (bool untick : {false, true}) {
        Fresh();
        users["MainDialog"] = [&](HWND d) {
            if (untick) EXPECT_TRUE(standin::Click(d, IDC_RUN_CHECK));
            SetDlgItemTextA(d, IDC_DIR_EDIT, "D:\\dest");
            standin::Click(d, IDOK);
        };
        EXPECT_EQ(RunMain(), IDOK);
        EXPECT_EQ(standin::ShellExecutes().size(), untick ? 0u : 1u);
    }
}

TEST_F(DialogTest, CloseMakesAnExistingDestinationCurrent) {
    struct {
        std::string typed, cwdAfter, stored;
    } cases[] = {
        {"D:\\dest", "D:\\dest", "D:\\dest"},
        {"D:\\missing", "D:\\cwd", "D:\\missing"},
        {"D:\\" + std::string(300, 'x'), "D:\\cwd", "D:\\" + std::string(256, 'x')},  // 259 kept
    };
    for (auto &c : cases) {
        SetCurrentDirectoryA("D:\\cwd");
        users["MainDialog"] = [&](HWND d) {
            SetDlgItemTextA(d, IDC_DIR_EDIT, c.typed.c_str());
            EXPECT_TRUE(standin::Click(d, IDCANCEL));
        };
        EXPECT_EQ(RunMain(), IDCANCEL) << c.typed;
        EXPECT_EQ(Cwd(), c.cwdAfter) << c.typed;
        EXPECT_EQ(std::string(extractDir), c.stored);
    }
}

TEST_F(DialogTest, AboutAndCancelledBrowse) {
    users["MainDialog"] = [&](HWND d) {
        EXPECT_TRUE(standin::Click(d, IDC_ABOUT));
        // A cancelled browser puts the stored destination back into the edit.
        SetDlgItemTextA(d, IDC_DIR_EDIT, "D:\\typed");
        EXPECT_TRUE(standin::Click(d, IDC_BROWSE));
        EXPECT_EQ(Text(d, IDC_DIR_EDIT), "D:\\cwd");
    };
    RunMain();
    ASSERT_EQ(standin::MessageBoxes().size(), 1u);
    const auto &about = standin::MessageBoxes()[0];
    EXPECT_EQ(about.owner, mainDialog);
    EXPECT_EQ(about.caption, "About Tarvex Self-Extractor...");
    EXPECT_EQ(about.style, (UINT)MB_OK);
    EXPECT_NE(about.text.find("Tarvex Self-Extractor"), std::string::npos);
    EXPECT_EQ(standin::DialogsShown(), std::vector<std::string>{"MainDialog"});
}

// ---- window helpers -------------------------------------------------------------------

TEST_F(DialogTest, ChildrenDisabledAroundARunKeepHiddenAndStaticOnes) {
    users["MainDialog"] = [&](HWND d) {
        // No command: the run check box is hidden; files may be chosen: the
        // plain list is hidden.
        std::map<int, bool> before;
        for (int id : kAllControls) before[id] = standin::WindowEnabled(Item(d, id));
        SetChildrenEnabled(d, false);
        for (int id : kAllControls) {
            bool keeps = id == IDC_PLAIN_LIST || id == IDC_RUN_CHECK || id == IDC_EXISTING_LABEL ||
                         id == IDC_DIR_LABEL || id == IDC_SEPARATOR;
            EXPECT_EQ(standin::WindowEnabled(Item(d, id)), keeps) << id;
        }
        SetChildrenEnabled(d, true);
        for (int id : kAllControls) EXPECT_EQ(standin::WindowEnabled(Item(d, id)), before[id]) << id;
    };
    RunMain();
}

TEST_F(DialogTest, CenterWindowRoundsTowardZero) {
    users["MainDialog"] = [&](HWND d) {
        RECT r;
        GetWindowRect(d, &r);
        int w = r.right - r.left, h = r.bottom - r.top;
        struct {
            int dx, dy, x, y;
        } cases[] = {{100, 60, 50, 30}, {1, 1, 0, 0}, {-1, -1, 0, 0}, {-3, -5, -1, -2}, {-4, -200, -2, -100}};
        for (auto &c : cases) {
            standin::SetScreenSize(w + c.dx, h + c.dy);
            CenterWindow(d);
            GetWindowRect(d, &r);
            EXPECT_EQ(r.left, c.x) << c.dx;
            EXPECT_EQ(r.top, c.y) << c.dy;
            EXPECT_EQ(r.right - r.left, w);
        }
    };
    RunMain();
}

// ---- FILEEXIST ------------------------------------------------------------------------

// The question comes from a Start pressed by the user, so the main dialog is
// recorded and its radio buttons follow a "Don't ask again".
TEST_F(DialogTest, OverwriteQuestionAndDontAskAgain) {
    struct {
        const char *label;
        bool automatic, dontAsk;
        int answer;
        // expected
        const char *a, *b;  // contents of A.txt and b.txt afterwards
        int questions;
        BYTE mode;
        int checked;  // radio button checked afterwards
    } cases[] = {
        {"yes each time", false, false, IDOK, "ay", "bee", 2, OVERWRITE_CONFIRM, IDC_CONFIRM_OVERWRITE},
        {"no each time", false, false, IDCANCEL, "old", "old", 2, OVERWRITE_CONFIRM, IDC_CONFIRM_OVERWRITE},
        {"yes, don't ask", false, true, IDOK, "ay", "bee", 1, OVERWRITE_ALWAYS, IDC_OVERWRITE},
        {"no, don't ask", false, true, IDCANCEL, "old", "old", 1, OVERWRITE_NEVER, IDC_DONT_OVERWRITE},
        // Before mainWindow is recorded the buttons are left alone.
        {"automatic, yes, don't ask", true, true, IDOK, "ay", "bee", 1, OVERWRITE_ALWAYS,
         IDC_CONFIRM_OVERWRITE},
    };
    hasDefaultDir = true;
    strcpy(defaultDir, "D:\\dest");
    for (auto &c : cases) {
        SCOPED_TRACE(c.label);
        testutil::RunCommand("rm -rf '" + tmp.path() + "/dest'");
        testutil::WriteHostFile(tmp / "dest/A.txt", "old");
        testutil::WriteHostFile(tmp / "dest/b.txt", "old");
        Fresh();
        autoStart = c.automatic;
        mainWindow = nullptr;
        std::vector<std::string> asked;
        users["FileExist"] = [&](HWND d) {
            asked.push_back(Text(d, IDC_EXIST_TEXT));
            if (c.dontAsk) EXPECT_TRUE(standin::Click(d, IDC_DONT_ASK));
            EXPECT_TRUE(standin::Click(d, c.answer));
        };
        HWND radios[3] = {};
        users["MainDialog"] = [&](HWND d) {
            for (int i = 0; i < 3; i++) radios[i] = Item(d, IDC_OVERWRITE + i);
            standin::Click(d, IDOK);
        };
        RunMain();
        EXPECT_EQ(Host("dest/A.txt"), c.a);
        EXPECT_EQ(Host("dest/b.txt"), c.b);
        ASSERT_EQ((int)asked.size(), c.questions);
        EXPECT_EQ(asked[0], "b.txt...already exists, overwrite ?");  // archive order
        EXPECT_EQ(overwriteMode, c.mode);
        if (!c.automatic)
            for (int i = 0; i < 3; i++)
                EXPECT_EQ(standin::CheckState(radios[i]), IDC_OVERWRITE + i == c.checked) << i;
    }
}

TEST_F(DialogTest, OverwriteAnswerFollowsTheModeWithoutDontAsk) {
    struct {
        BYTE mode;
        bool dontAsk;
        int answer;
        BYTE modeAfter, answerAfter;  // 7: left as it was
    } cases[] = {
        {OVERWRITE_CONFIRM, false, IDOK, OVERWRITE_CONFIRM, 1},
        {OVERWRITE_CONFIRM, false, IDCANCEL, OVERWRITE_CONFIRM, 0},
        {OVERWRITE_NEVER, false, IDOK, OVERWRITE_NEVER, 1},
        {OVERWRITE_ALWAYS, false, IDCANCEL, OVERWRITE_ALWAYS, 7},
        {OVERWRITE_ALWAYS, true, IDCANCEL, OVERWRITE_NEVER, 0},
        {OVERWRITE_CONFIRM, true, IDOK, OVERWRITE_ALWAYS, 1},
    };
    strcpy(currentEntryName, "readme.txt");
    for (auto &c : cases) {
        overwriteMode = c.mode;
        overwriteAnswer = 7;
        mainWindow = nullptr;
        std::string text;
        users["FileExist"] = [&](HWND d) {
            text = Text(d, IDC_EXIST_TEXT);
            if (c.dontAsk) standin::Click(d, IDC_DONT_ASK);
            // The notification code in the high word changes nothing.
            SendMessageA(d, WM_COMMAND, (WPARAM)c.answer | 0x10000u * 5, 0);
        };
        EXPECT_EQ(DialogBoxParamA(0, "FileExist", 0, FileExistDialogProc, 0), c.answer);
        EXPECT_EQ(text, "readme.txt...already exists, overwrite ?");
        EXPECT_EQ(overwriteMode, c.modeAfter) << (int)c.mode << c.dontAsk << c.answer;
        EXPECT_EQ(overwriteAnswer, c.answerAfter) << (int)c.mode << c.dontAsk << c.answer;
    }
}

// ---- PASSWD ---------------------------------------------------------------------------

TEST_F(DialogTest, PasswordPromptReturnsAtMost79CharactersAndIgnoresEsc) {
    const std::string l100(100, 'p');
    struct {
        std::string typed, returned;
    } cases[] = {{"", ""}, {"secret", "secret"}, {l100, l100.substr(0, 79)}};
    for (auto &c : cases) {
        memset(passwordText, '#', sizeof passwordText);
        users["PASSWD"] = [&](HWND d) {
            EXPECT_EQ(standin::FocusedWindow(), Item(d, IDC_PASSWORD));
            SetDlgItemTextA(d, IDC_PASSWORD, c.typed.c_str());
            SendMessageA(d, WM_COMMAND, IDCANCEL, 0);  // Esc
            EXPECT_TRUE(standin::WindowExists(d));
            EXPECT_TRUE(standin::Click(d, IDOK));
        };
        EXPECT_EQ(DialogBoxParamA(0, "PASSWD", 0, PasswordDialogProc, 0), IDOK);
        EXPECT_EQ(std::string(passwordText), c.returned);
        EXPECT_EQ(passwordLength, (LONG)c.returned.size());
    }
}

// ---- DLGNEW ---------------------------------------------------------------------------

// The folder browser has made the chosen folder current and written it into
// extractDir without a trailing backslash. With the backslash the folder is 20
// characters long.
TEST_F(DialogTest, NewSubdirectoryBecomesTheDestination) {
    const std::string folder = "basefolder012345", base = "D:\\" + folder + "\\";
    const std::string a120(120, 'a'), b117(117, 'b');
    struct {
        const char *label;
        std::string name;
        int result;
        std::string dir, cwd;  // extractDir and current directory afterwards, after the base
        std::string created;   // below the folder ("" none)
        bool error;
    } cases[] = {
        {"empty", "", IDOK, "", "", "", false},
        {"two levels", "sub1\\sub2", IDOK, "sub1\\sub2", "sub1\\sub2", "sub1/sub2", false},
        {"slashes", "s1/s2", IDOK, "s1/s2", "s1\\s2", "s1/s2", false},
        {"leading backslash kept", "\\lead", IDOK, "\\lead", "lead", "lead", false},
        {"drive letter", "C:x", IDCANCEL, "", "", "", true},
        {"stream name", "x:y", IDCANCEL, "", "", "", true},
        {"backslashes only", "\\\\", IDCANCEL, "", "", "", true},
        // 20 + 238 + 1 < 260: appended; one more and the destination stays the folder.
        {"longest appended", a120 + "\\" + b117, IDOK, a120 + "\\" + b117, a120 + "\\" + b117,
         a120 + "/" + b117, false},
        {"too long to append", a120 + "\\" + b117 + "b", IDOK, "", a120 + "\\" + b117 + "b",
         a120 + "/" + b117 + "b", false},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.label);
        testutil::RunCommand("rm -rf '" + tmp.path() + "/" + folder + "'; mkdir '" + tmp.path() + "/" + folder + "'");
        Fresh();
        SetCurrentDirectoryA(base.c_str());
        strcpy(extractDir, base.substr(0, base.size() - 1).c_str());
        users["DLGNEW"] = [&](HWND d) {
            EXPECT_EQ(Text(d, IDC_CURRENT_DIR), base);
            EXPECT_EQ(standin::FocusedWindow(), Item(d, IDC_NEW_SUBDIR));
            SetDlgItemTextA(d, IDC_NEW_SUBDIR, c.name.c_str());
            EXPECT_TRUE(standin::Click(d, IDOK));
            // After a refusal the dialog stays open for another try or Cancel.
            if (!standin::MessageBoxes().empty()) standin::Click(d, IDCANCEL);
        };
        EXPECT_EQ(DialogBoxParamA(0, "DLGNEW", 0, NewDirDialogProc, 0), c.result);
        EXPECT_EQ(std::string(extractDir), base + c.dir);
        std::string cwd = base + c.cwd;
        if (c.cwd.empty()) cwd.pop_back();
        EXPECT_EQ(Cwd(), cwd);
        if (!c.created.empty()) EXPECT_TRUE(testutil::HostIsDirectory(tmp / (folder + "/" + c.created)));
        EXPECT_EQ(testutil::HostTree(tmp / folder).empty(), c.created.empty());
        ASSERT_EQ(standin::MessageBoxes().size(), c.error ? 1u : 0u);
        if (c.error) {
            const auto &box = standin::MessageBoxes()[0];
            EXPECT_EQ(box.text, "Error in directory ..");
            EXPECT_EQ(box.caption, "Error..");
            EXPECT_EQ(box.style, (UINT)MB_ICONERROR);
            EXPECT_NE(box.owner, nullptr);
        }
    }
}

}  // namespace
