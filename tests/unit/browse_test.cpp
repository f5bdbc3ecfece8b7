// The folder browser behind the main dialog's "..." button, played over the
// stand-in's shell browser: the decoration (caption, "New..." next to OK with
// OK's font), "New..." following OK's state, what OK, "New..." and Cancel leave
// behind (destination, current directory, the freed item list), and the main
// dialog's part: the edit and the new-subdirectory dialog after "New...".
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/SFXgbls.h"
#include "resources/resource.h"
#include "support/archives.h"
#include "support/runstate.h"
#include "ui/Dialog.h"
#include "ui/browse.h"

namespace {

const char kMyComputer[] = "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";

archives::CraftedEntry Entry(const std::string &name, const std::string &data) {
    archives::CraftedEntry e;
    e.name = name;
    e.data = data;
    return e;
}

bool Enabled(HWND w) { return IsWindowEnabled(w) != FALSE; }

RECT ScreenRect(HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    return r;
}

// Folders live on drive D:; the run state is the test's own, as a header with no
// options would give it.
class BrowseTest : public RunStateTest {
protected:
    archives::TempDir tmp{"browsetest"};
    std::map<std::string, std::function<void(HWND)>> users;  // template name -> the user's part

    void SetUp() override {
        archives::Run("mkdir -p '" + tmp.path() + "/dest' '" + tmp.path() + "/cwd' '" + tmp.path() +
                      "/other' '" + tmp.path() + "/desk'");
        Fresh();
        InstallRunState();
    }
    void Fresh() {
        standin::Reset();
        standin::MapDrive('D', tmp.path());
        standin::SetDesktopFolder("D:\\desk");
        ASSERT_TRUE(SetCurrentDirectoryA("D:\\cwd"));
        standin::SetDialogScript([this](const std::string &name, HWND dialog) {
            auto it = users.find(name);
            if (it != users.end()) it->second(dialog);
        });
    }
    void TearDown() override {
        RestoreRunState();
        standin::Reset();
    }
    std::string Cwd() {
        char cwd[TEXT_BUFFER_SIZE];
        GetCurrentDirectoryA(sizeof cwd, cwd);
        return cwd;
    }
    // A browse on its own, from a buffer holding `before`.
    bool Browse(std::string &buffer, const std::string &before = "D:\\before") {
        char text[MAX_PATH];
        strcpy(text, before.c_str());
        bool result = BrowseForDestination(nullptr, text);
        buffer = text;
        return result;
    }
    // Item lists the browser handed out, and allocator references, still held.
    void ExpectNothingHeld() {
        EXPECT_EQ(standin::ShellAllocations(), 0);
        EXPECT_EQ(standin::ShellAllocatorReferences(), 0);
    }
};

// ---- decoration -------------------------------------------------------------------------

// The browser sits centred on screens of these sizes, so its client area lies at
// different screen positions (negative ones on the small screen): the button is
// placed in client coordinates whatever the offset.
TEST_F(BrowseTest, NewButtonStandsLeftOfOkWithItsFontAndHeight) {
    struct {
        int width, height;
    } screens[] = {{1024, 768}, {1920, 1080}, {200, 150}};
    for (auto &screen : screens) {
        SCOPED_TRACE(screen.width);
        Fresh();
        standin::SetScreenSize(screen.width, screen.height);
        bool seen = false;
        standin::SetBrowseScript([&](HWND browser) {
            seen = true;
            EXPECT_EQ(standin::WindowText(browser), "Extract to : ");
            EXPECT_EQ(standin::WindowText(GetDlgItem(browser, standin::BROWSE_TITLE_ID)),
                      "Please choose the destination directory");
            HWND ok = GetDlgItem(browser, IDOK), added = GetDlgItem(browser, IDC_NEW_FOLDER);
            ASSERT_NE(added, nullptr);
            EXPECT_EQ(added, newFolderButton);
            EXPECT_EQ(standin::WindowText(added), "New...");
            char cls[20];
            GetClassNameA(added, cls, sizeof cls);
            EXPECT_STREQ(cls, "Button");
            EXPECT_EQ(standin::WindowStyle(added),
                      (DWORD)(WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP));
            RECT o = ScreenRect(ok), n = ScreenRect(added);
            EXPECT_EQ(n.left, o.left - 90);
            EXPECT_EQ(n.top, o.top);
            EXPECT_EQ(n.right - n.left, 75);
            EXPECT_EQ(n.bottom - n.top, o.bottom - o.top);
            // The font was posted; the browser's loop has delivered it by now.
            LRESULT okFont = SendMessageA(ok, WM_GETFONT, 0, 0);
            EXPECT_NE(okFont, 0);
            EXPECT_EQ(SendMessageA(added, WM_GETFONT, 0, 0), okFont);
            // The browser opens on the desktop, a file-system folder.
            EXPECT_TRUE(Enabled(added));
            standin::Click(browser, IDCANCEL);
        });
        std::string buffer;
        EXPECT_FALSE(Browse(buffer));
        EXPECT_TRUE(seen);
        ASSERT_EQ(standin::Browses().size(), 1u);
        const auto &record = standin::Browses()[0];
        EXPECT_EQ(record.flags, (UINT)BIF_RETURNONLYFSDIRS);
        EXPECT_EQ(record.title, "Please choose the destination directory");
        // Nothing preselects the destination: the browser stays on its root.
        EXPECT_EQ(record.selections, std::vector<std::string>{""});
        EXPECT_EQ(standin::PendingMessages(), 0u);
    }
}

// ---- "New..." follows OK ----------------------------------------------------------------

// The user's clicks in the tree: the browser decides OK, the callback makes
// "New..." follow it.
TEST_F(BrowseTest, NewButtonFollowsOkThroughTheSelections) {
    struct {
        const char *label;
        std::vector<std::string> clicks;
        bool usable;
    } cases[] = {
        {"the desktop, as opened", {}, true},
        {"a folder", {"D:\\dest"}, true},
        {"a virtual item", {kMyComputer}, false},
        {"a folder after a virtual item", {kMyComputer, "D:\\other"}, true},
        {"a virtual item after a folder", {"D:\\other", kMyComputer}, false},
        {"back to the desktop", {kMyComputer, ""}, true},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.label);
        Fresh();
        standin::SetBrowseScript([&](HWND browser) {
            for (auto &item : c.clicks) EXPECT_TRUE(standin::BrowseSelect(browser, item));
            EXPECT_EQ(Enabled(GetDlgItem(browser, IDOK)), c.usable);
            EXPECT_EQ(Enabled(newFolderButton), c.usable);
            // A disabled "New..." cannot be pressed.
            EXPECT_EQ(standin::Click(browser, IDC_NEW_FOLDER), c.usable);
        });
        std::string buffer;
        EXPECT_EQ(Browse(buffer), c.usable);
        ExpectNothingHeld();
    }
}

// A shell that announces its first selection before the program decorates the
// browser: "New..." starts disabled and waits for the user's first click.
TEST_F(BrowseTest, NewButtonWaitsForTheFirstSelectionChange) {
    standin::AnnounceSelectionFirst(true);
    standin::SetBrowseScript([&](HWND browser) {
        EXPECT_TRUE(Enabled(GetDlgItem(browser, IDOK)));
        EXPECT_FALSE(Enabled(newFolderButton));
        EXPECT_FALSE(standin::Click(browser, IDC_NEW_FOLDER));
        EXPECT_TRUE(standin::BrowseSelect(browser, "D:\\dest"));
        EXPECT_TRUE(standin::Click(browser, IDC_NEW_FOLDER));
    });
    std::string buffer;
    EXPECT_TRUE(Browse(buffer));
    EXPECT_EQ(buffer, "D:\\dest");
    ExpectNothingHeld();
}

// The callback on its own: it only ever disables OK, and "New..." copies OK's
// state whatever its own was.
TEST_F(BrowseTest, CallbackDisablesOkForVirtualItemsAndCopiesItsState) {
    // Item lists as the shell makes them: a browse without flags accepts anything.
    auto pick = [&](const std::string &item) {
        standin::SetBrowseScript([&](HWND browser) {
            standin::BrowseSelect(browser, item);
            standin::Click(browser, IDOK);
        });
        BROWSEINFOA info{};
        return SHBrowseForFolderA(&info);
    };
    LPITEMIDLIST folder = pick("D:\\dest"), computer = pick(kMyComputer);
    ASSERT_NE(folder, nullptr);
    ASSERT_NE(computer, nullptr);
    struct {
        const char *label;
        LPITEMIDLIST item;
        bool okBefore, okAfter;
    } cases[] = {
        {"folder, OK usable", folder, true, true},
        {"folder, OK disabled", folder, false, false},
        {"virtual, OK usable", computer, true, false},
        {"virtual, OK disabled", computer, false, false},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.label);
        standin::SetBrowseScript([&](HWND browser) {
            HWND ok = GetDlgItem(browser, IDOK);
            EnableWindow(ok, c.okBefore);
            ASSERT_EQ(Enabled(ok), c.okBefore);
            EnableWindow(newFolderButton, !c.okAfter);
            EXPECT_EQ(BrowseCallback(browser, BFFM_SELCHANGED, (LPARAM)c.item, 0), 0);
            EXPECT_EQ(Enabled(ok), c.okAfter);
            EXPECT_EQ(Enabled(newFolderButton), c.okAfter);
        });
        std::string buffer;
        EXPECT_FALSE(Browse(buffer));
    }
    LPMALLOC allocator = nullptr;
    ASSERT_GE(SHGetMalloc(&allocator), 0);
    allocator->Free(folder);
    allocator->Free(computer);
    allocator->Release();
    ExpectNothingHeld();
}

// ---- leaving the browser ----------------------------------------------------------------

TEST_F(BrowseTest, OkAndNewLeaveWithTheChosenFolder) {
    struct {
        const char *label;
        std::string choice;
        bool pressNew;
        // expected
        bool result;
        std::string buffer, cwd, displayName;
    } cases[] = {
        {"cancel", "", false, false, "D:\\before", "D:\\cwd", ""},
        {"OK", "D:\\dest", false, false, "D:\\dest", "D:\\dest", "dest"},
        {"New...", "D:\\dest", true, true, "D:\\dest", "D:\\dest", "dest"},
        {"OK, written another way", "d:/other/./", false, false, "D:\\other", "D:\\other", "other"},
        {"New... on a drive root", "D:\\", true, true, "D:\\", "D:\\", "Local Disk (D:)"},
        {"a folder that is not there", "D:\\missing", false, false, "D:\\before", "D:\\cwd", ""},
        {"OK on a virtual item", kMyComputer, false, false, "D:\\before", "D:\\cwd", ""},
        {"New... on a virtual item", kMyComputer, true, false, "D:\\before", "D:\\cwd", ""},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.label);
        Fresh();
        standin::SetBrowseChoice(c.choice, c.pressNew);
        browseDisplayName[0] = 0;
        std::string buffer;
        EXPECT_EQ(Browse(buffer), c.result);
        EXPECT_EQ(buffer, c.buffer);
        EXPECT_EQ(Cwd(), c.cwd);
        if (c.buffer != "D:\\before") EXPECT_STREQ(browseDisplayName, c.displayName.c_str());
        ExpectNothingHeld();
    }
}

// Messages reaching the browser after the program replaced its window procedure:
// only a click on "New..." is the program's; the rest still work the browser.
TEST_F(BrowseTest, ReplacedWindowProcedureKeepsTheBrowserWorking) {
    struct {
        const char *label;
        std::function<void(HWND)> user;
        bool result;
        std::string buffer;
    } cases[] = {
        {"the desktop at once", [](HWND b) { standin::Click(b, IDOK); }, false, "D:\\desk"},
        {"caption through the default processing",
         [](HWND b) {
             EXPECT_TRUE(SetWindowTextA(b, "renamed"));
             EXPECT_EQ(standin::WindowText(b), "renamed");
             standin::BrowseSelect(b, "D:\\other");
             standin::Click(b, IDOK);
         },
         false, "D:\\other"},
        {"New... message, notification 0",
         [](HWND b) {
             standin::BrowseSelect(b, "D:\\dest");
             EXPECT_EQ(SendMessageA(b, WM_COMMAND, IDC_NEW_FOLDER, 0), 1);
         },
         true, "D:\\dest"},
        {"other notification of New... is no click",
         [](HWND b) {
             standin::BrowseSelect(b, "D:\\dest");
             SendMessageA(b, WM_COMMAND, (6 << 16) | IDC_NEW_FOLDER, 0);  // BN_SETFOCUS
             EXPECT_TRUE(standin::WindowExists(b));
             standin::Click(b, IDOK);
         },
         false, "D:\\dest"},
        {"close box", [](HWND b) { SendMessageA(b, WM_CLOSE, 0, 0); }, false, "D:\\before"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.label);
        Fresh();
        standin::SetBrowseScript(c.user);
        std::string buffer;
        EXPECT_EQ(Browse(buffer), c.result);
        EXPECT_EQ(buffer, c.buffer);
        ExpectNothingHeld();
    }
}

TEST_F(BrowseTest, NewFolderRequestLastsOneBrowse) {
    std::string buffer;
    standin::SetBrowseChoice("D:\\dest", true);
    EXPECT_TRUE(Browse(buffer));
    standin::SetBrowseChoice("D:\\other", false);
    EXPECT_FALSE(Browse(buffer));
    EXPECT_EQ(buffer, "D:\\other");
    standin::SetBrowseChoice("", true);
    EXPECT_FALSE(Browse(buffer, "D:\\kept"));
    EXPECT_EQ(buffer, "D:\\kept");
}

// Without the allocator the path is already written, but nothing else happens:
// the list stays allocated, the current directory stays, no "New..." follows.
TEST_F(BrowseTest, AllocatorFailureKeepsOnlyThePath) {
    for (bool pressNew : {false, true}) {
        SCOPED_TRACE(pressNew);
        Fresh();
        standin::FailShellAllocator(true);
        standin::SetBrowseChoice("D:\\dest", pressNew);
        std::string buffer;
        EXPECT_FALSE(Browse(buffer));
        EXPECT_EQ(buffer, "D:\\dest");
        EXPECT_EQ(Cwd(), "D:\\cwd");
        EXPECT_EQ(standin::ShellAllocations(), 1);
        EXPECT_EQ(standin::ShellAllocatorReferences(), 0);
    }
}

// ---- through the main dialog's "..." --------------------------------------------------

TEST_F(BrowseTest, MainDialogTakesTheChosenFolderIntoTheEdit) {
    struct {
        const char *label;
        std::string choice;
        bool pressNew;
        const char *newName;  // DLGNEW: typed name and OK; nullptr: Cancel
        bool failAllocator;
        // expected
        std::string dir, cwd, created;  // extractDir (= the edit), current directory, new folder
        bool newDialog;
    } cases[] = {
        {"cancel resets the typed edit", "", false, nullptr, false, "D:\\cwd", "D:\\cwd", "", false},
        {"OK", "D:\\dest", false, nullptr, false, "D:\\dest", "D:\\dest", "", false},
        {"New..., subdirectory made", "D:\\dest", true, "sub", false, "D:\\dest\\sub",
         "D:\\dest\\sub", "dest/sub", true},
        {"New..., no name", "D:\\dest", true, "", false, "D:\\dest\\", "D:\\dest", "", true},
        {"New..., dialog cancelled: the typed edit", "D:\\dest", true, nullptr, false, "D:\\typed",
         "D:\\dest", "", true},
        {"New... without allocator", "D:\\dest", true, "sub", true, "D:\\dest", "D:\\cwd", "", false},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.label);
        archives::Run("rm -rf '" + tmp.path() + "/dest/sub'");
        Fresh();
        standin::SetBrowseChoice(c.choice, c.pressNew);
        standin::FailShellAllocator(c.failAllocator);
        HWND mainDialog = nullptr;
        users["MainDialog"] = [&](HWND d) {
            mainDialog = d;
            SetDlgItemTextA(d, IDC_DIR_EDIT, "D:\\typed");
            EXPECT_TRUE(standin::Click(d, IDC_BROWSE));
            EXPECT_EQ(std::string(extractDir), c.dir);
            EXPECT_EQ(standin::WindowText(GetDlgItem(d, IDC_DIR_EDIT)), c.dir);
            EXPECT_EQ(Cwd(), c.cwd);
        };
        users["DLGNEW"] = [&](HWND d) {
            EXPECT_EQ(standin::WindowText(GetDlgItem(d, IDC_CURRENT_DIR)), "D:\\dest\\");
            if (c.newName) {
                SetDlgItemTextA(d, IDC_NEW_SUBDIR, c.newName);
                EXPECT_TRUE(standin::Click(d, IDOK));
            } else {
                EXPECT_TRUE(standin::Click(d, IDCANCEL));
            }
        };
        {
            archives::OpenedSfx sfx(tmp / "sfx.exe", archives::CraftZip({Entry("a.txt", "ay")}));
            ASSERT_TRUE(sfx.ok());
            DialogBoxParamA(0, "MainDialog", 0, MainDialogProc, 0);
        }
        ASSERT_EQ(standin::Browses().size(), 1u);
        EXPECT_EQ(standin::Browses()[0].owner, mainDialog);
        std::vector<std::string> shown{"MainDialog"};
        if (c.newDialog) shown.push_back("DLGNEW");
        EXPECT_EQ(standin::DialogsShown(), shown);
        if (!c.created.empty()) EXPECT_TRUE(archives::HostIsDirectory(tmp / c.created));
        EXPECT_EQ(archives::HostTree(tmp / "dest").empty(), c.created.empty());
        EXPECT_EQ(standin::ShellAllocatorReferences(), 0);
        EXPECT_EQ(standin::ShellAllocations(), c.failAllocator ? 1 : 0);
    }
}

}  // namespace
