// The POSIX stand-in: the Win32 behaviour the product relies on and that the
// stand-in could get wrong (positions, search patterns, list boxes, nesting of
// dialogs, registry sizes, DOS times, injected faults).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "platform/posix/standin.h"
#include "resources/resource.h"
#include "support/drive.h"

namespace {

// A fresh host folder mapped as drive D: and made the current directory.
class StandinFiles : public DriveTest {
protected:
    void SetUp() override {
        DriveTest::SetUp();
        ASSERT_TRUE(SetCurrentDirectoryA("D:\\"));
    }
    void Write(const std::string &rel, const std::string &data) {
        std::ofstream(root + "/" + rel, std::ios::binary) << data;
    }
    void Mkdir(const std::string &rel) { ASSERT_EQ(mkdir((root + "/" + rel).c_str(), 0777), 0); }
};

TEST_F(StandinFiles, PathsResolveAgainstDrivesAndCurrentDirectory) {
    Mkdir("sub");
    struct {
        const char *path;
        std::string host;  // "" = invalid
    } cases[] = {
        {"D:\\sub\\f.txt", root + "/sub/f.txt"}, {"D:/sub/f.txt", root + "/sub/f.txt"},
        {"sub\\f.txt", root + "/sub/f.txt"},     {"\\sub\\..\\x", root + "/x"},
        {"d:x", root + "/x"},                    {"Q:\\x", ""},
        {"\\\\server\\share", ""},               {"", ""},
    };
    for (auto &c : cases) EXPECT_EQ(standin::HostPath(c.path), c.host) << c.path;
    EXPECT_TRUE(SetCurrentDirectoryA("sub"));
    char cwd[MAX_PATH];
    EXPECT_EQ(GetCurrentDirectoryA(sizeof cwd, cwd), 6u);
    EXPECT_STREQ(cwd, "D:\\sub");
    EXPECT_EQ(GetCurrentDirectoryA(3, cwd), 7u);  // too small: size needed with NUL
    EXPECT_FALSE(SetCurrentDirectoryA("D:\\missing"));
    EXPECT_EQ(standin::HostPath("f"), root + "/sub/f");
    EXPECT_EQ(standin::WindowsPath(root + "/sub/f"), "D:\\sub\\f");
}

TEST_F(StandinFiles, InvalidNamesCannotBeCreated) {
    const char *bad[] = {"a<b", "a>b", "a\"b", "a|b", "a?b", "a*b", "dir\\a:b", "Z:\\x"};
    for (const char *name : bad) {
        EXPECT_EQ(CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
                  INVALID_HANDLE_VALUE)
            << name;
        EXPECT_FALSE(CreateDirectoryA(name, nullptr)) << name;
    }
}

TEST_F(StandinFiles, CreateFileDispositionsAndReadOnly) {
    Write("ro", "x");
    chmod((root + "/ro").c_str(), 0444);
    Write("rw", "data");
    Mkdir("dir");
    struct {
        const char *name;
        DWORD access, disposition;
        bool opens;
    } cases[] = {
        {"rw", GENERIC_READ, OPEN_EXISTING, true},   {"none", GENERIC_READ, OPEN_EXISTING, false},
        {"new", GENERIC_WRITE, CREATE_ALWAYS, true}, {"ro", GENERIC_READ, OPEN_EXISTING, true},   {"ro", GENERIC_WRITE, OPEN_EXISTING, false},
        {"ro", GENERIC_WRITE, CREATE_ALWAYS, false}, {"dir", GENERIC_READ, OPEN_EXISTING, false},
        {"dir", GENERIC_WRITE, CREATE_ALWAYS, false}, {"rw\\", GENERIC_READ, OPEN_EXISTING, false},
        {"nodir\\f", GENERIC_WRITE, CREATE_ALWAYS, false},
    };
    for (auto &c : cases) {
        HANDLE h = CreateFileA(c.name, c.access, 0, nullptr, c.disposition, 0, nullptr);
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens) << c.name << " " << c.disposition;
        if (h != INVALID_HANDLE_VALUE) EXPECT_TRUE(CloseHandle(h));
    }
    HANDLE h = CreateFileA("rw", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_EQ(GetFileSize(h, nullptr), 0u);  // truncated
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_EQ(standin::OpenHandles(), 0);
}

TEST_F(StandinFiles, SetFilePointerKeepsSigned32BitPositions) {
    Write("f", std::string(100, 'a'));
    HANDLE h = CreateFileA("f", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    struct {
        LONG distance;
        DWORD method;
        DWORD result;  // 0xFFFFFFFF: fails and the position stays
        DWORD after;   // position afterwards
    } cases[] = {
        {10, FILE_BEGIN, 10, 10},
        {-5, FILE_CURRENT, 5, 5},
        {-6, FILE_CURRENT, 0xFFFFFFFF, 5},
        {-1, FILE_BEGIN, 0xFFFFFFFF, 5},
        {-100, FILE_END, 0, 0},
        {-101, FILE_END, 0xFFFFFFFF, 0},
        {50, FILE_END, 150, 150},  // past the end is allowed
        {0x7FFFFFFF, FILE_BEGIN, 0x7FFFFFFF, 0x7FFFFFFF},
        {1, FILE_CURRENT, 0xFFFFFFFF, 0x7FFFFFFF},
        {0, FILE_END, 100, 100},
    };
    for (auto &c : cases) {
        EXPECT_EQ(SetFilePointer(h, c.distance, nullptr, c.method), c.result) << c.distance;
        EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), c.after) << c.distance;
    }
    char buf[8];
    DWORD n = 99;
    EXPECT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));  // at the end: 0 bytes, TRUE
    EXPECT_EQ(n, 0u);
    CloseHandle(h);
}

TEST_F(StandinFiles, FindFirstFilePatterns) {
    Mkdir("empty");
    Mkdir("full");
    Write("full/Alpha.TXT", "1");
    Write("full/beta", "2");
    struct {
        const char *pattern;
        const char *first;  // nullptr: nothing found
    } cases[] = {
        {"D:\\empty\\*.*", "."},        {"empty\\*", "."},
        {"D:\\*.*", "empty"},           // a drive root has no "." entry
        {"full\\*.txt", "Alpha.TXT"},   {"full\\?ETA", "beta"},
        {"full\\beta.*", "beta"},       {"full\\beta", "beta"},
        {"full", "full"},               {"full\\", nullptr},
        {"full/", nullptr},             {"full\\gamma*", nullptr},
        {"full\\beta\\", nullptr},      {"fu*\\beta", nullptr},
        {"Q:\\*.*", nullptr},
    };
    for (auto &c : cases) {
        WIN32_FIND_DATAA d;
        HANDLE h = FindFirstFileA(c.pattern, &d);
        if (!c.first) {
            EXPECT_EQ(h, INVALID_HANDLE_VALUE) << c.pattern;
            continue;
        }
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << c.pattern;
        EXPECT_STREQ(d.cFileName, c.first) << c.pattern;
        EXPECT_TRUE(FindClose(h));
    }
    WIN32_FIND_DATAA d;
    FindClose(FindFirstFileA("full", &d));
    EXPECT_EQ(d.dwFileAttributes, (DWORD)FILE_ATTRIBUTE_DIRECTORY);
    FindClose(FindFirstFileA("full\\beta", &d));
    EXPECT_EQ(d.dwFileAttributes, (DWORD)FILE_ATTRIBUTE_NORMAL);
}

TEST_F(StandinFiles, AttributesDirectoriesAndShortNames) {
    Mkdir("d");
    Write("f", "x");
    struct {
        const char *name;
        DWORD attributes;
    } cases[] = {
        {"d", FILE_ATTRIBUTE_DIRECTORY},      {"d\\", FILE_ATTRIBUTE_DIRECTORY},
        {"D:\\", FILE_ATTRIBUTE_DIRECTORY},   {"f", FILE_ATTRIBUTE_NORMAL},
        {"f\\", INVALID_FILE_ATTRIBUTES},     {"nothing", INVALID_FILE_ATTRIBUTES},
        {"Q:\\", INVALID_FILE_ATTRIBUTES},
    };
    for (auto &c : cases) EXPECT_EQ(GetFileAttributesA(c.name), c.attributes) << c.name;
    EXPECT_FALSE(CreateDirectoryA("d", nullptr));
    EXPECT_FALSE(CreateDirectoryA("x\\y", nullptr));
    EXPECT_TRUE(CreateDirectoryA("d\\e", nullptr));

    standin::SetShortPath("D:\\d\\e", "D:\\D~1\\E");
    char buf[MAX_PATH] = "D:\\d\\e";
    EXPECT_EQ(GetShortPathNameA(buf, buf, 5), 9u);  // does not fit: size with NUL
    EXPECT_EQ(GetShortPathNameA(buf, buf, sizeof buf), 8u);  // same buffer
    EXPECT_STREQ(buf, "D:\\D~1\\E");
    EXPECT_EQ(GetShortPathNameA("f", buf, sizeof buf), 1u);
    EXPECT_STREQ(buf, "f");
    EXPECT_EQ(GetShortPathNameA("none", buf, sizeof buf), 0u);
}

TEST_F(StandinFiles, ShortWritesAndDosTimes) {
    HANDLE h = CreateFileA("out", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    standin::SetWriteLimit(3);
    DWORD n = 0;
    EXPECT_TRUE(WriteFile(h, "abcdef", 6, &n, nullptr));
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(standin::WriteCalls(), 1);

    // 0x2AC4/0x546E is 2001-06-04 10:35:28 local time; at UTC+2 that is 08:35:28 UTC.
    standin::SetUtcOffsetMinutes(120);
    FILETIME local, utc;
    ASSERT_TRUE(DosDateTimeToFileTime(0x2AC4, 0x546E, &local));
    ASSERT_TRUE(LocalFileTimeToFileTime(&local, &utc));
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &utc));
    CloseHandle(h);
    struct stat st;
    ASSERT_EQ(stat((root + "/out").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 991643728);  // 2001-06-04T08:35:28Z
    EXPECT_EQ(st.st_size, 3);

    struct {
        WORD date, time;
        bool valid;
    } dates[] = {
        {0x0021, 0, true},          // 1980-01-01
        {0x0020, 0, false},         // day 0
        {0x0001, 0, false},         // month 0
        {0x01A1, 0, false},         // month 13
        {0x2A5E, 0, false},         // 2001-02-30
        {0x2AC4, 0xC000, false},    // hour 24
        {0x2AC4, 0xBF7D, true},     // 23:59:58
    };
    for (auto &d : dates) EXPECT_EQ(DosDateTimeToFileTime(d.date, d.time, &local) != 0, d.valid)
                              << std::hex << d.date << " " << d.time;
}

TEST(StandinHeap, AllocationFailureAndLiveCount) {
    standin::Reset();
    standin::FailAllocationAfter(1);
    void *a = HeapAlloc(GetProcessHeap(), 0, 16);
    void *b = HeapAlloc(GetProcessHeap(), 0, 16);
    void *c = HeapAlloc(GetProcessHeap(), 0, 16);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(b, nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(standin::LiveAllocations(), 2);
    HeapFree(GetProcessHeap(), 0, a);
    standin::Reset();  // c belongs to the previous test now
    EXPECT_EQ(standin::LiveAllocations(), 0);
    HeapFree(GetProcessHeap(), 0, c);
    EXPECT_EQ(standin::LiveAllocations(), 0);
}

TEST(StandinRegistry, OpenAndQuerySizes) {
    standin::Reset();
    standin::RegistrySet(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Product", "Path", "C:\\Prog");
    standin::RegistrySet(HKEY_CURRENT_USER, "Software\\X", "", "dflt", false);
    HKEY key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\VENDOR", 0, KEY_READ, &key),
              ERROR_SUCCESS);  // parent keys exist, case does not matter
    RegCloseKey(key);
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Vendor", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Product", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "path", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 8u);  // with the terminator
    BYTE buf[16];
    size = 4;
    EXPECT_NE(RegQueryValueExA(key, "Path", nullptr, nullptr, buf, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(RegQueryValueExA(key, "Path", nullptr, nullptr, buf, &size), ERROR_SUCCESS);
    EXPECT_STREQ((char *)buf, "C:\\Prog");
    EXPECT_NE(RegQueryValueExA(key, "Other", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_NE(RegCloseKey(key), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\X", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(key, "", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);  // stored without terminator
    RegCloseKey(key);
}

TEST(StandinUser, MessageBoxAnswersAndRecords) {
    standin::Reset();
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_YESNO | MB_ICONQUESTION), IDYES);
    standin::QueueMessageBoxAnswer(IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "last", "cap", MB_YESNO), IDNO);
    ASSERT_EQ(standin::MessageBoxes().size(), 3u);
    EXPECT_EQ(standin::MessageBoxes()[2].text, "last");
    EXPECT_EQ(standin::MessageBoxes()[2].style, (UINT)MB_YESNO);
}

// ---- the fake window system, over the program's own templates ------------------------

class StandinWindows : public ::testing::Test {
protected:
    void SetUp() override { standin::Reset(); }
    void TearDown() override { standin::Reset(); }
};

// Records what the dialog procedures saw; MainDialog opens PASSWD on IDOK.
std::vector<std::string> seen;
INT_PTR InnerProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COMMAND && LOWORD(wParam) == IDOK) {
        char text[8];
        GetDlgItemTextA(dlg, IDC_PASSWORD, text, sizeof text);
        seen.push_back(std::string("inner ok ") + text);
        EndDialog(dlg, 77);
        return TRUE;
    }
    return FALSE;
}
INT_PTR OuterProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        seen.push_back("init " + std::to_string(lParam) + (IsWindowVisible(dlg) ? " shown" : ""));
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wParam) == IDOK) {
        INT_PTR r = DialogBoxParamA(nullptr, "passwd", dlg, InnerProc, 0);
        seen.push_back("inner returned " + std::to_string(r));
        MessageBoxA(dlg, "done", "cap", MB_OK);
        EndDialog(dlg, r + 1);
        return TRUE;
    }
    if (msg == WM_COMMAND) {
        seen.push_back("posted " + std::to_string(wParam));
        return TRUE;
    }
    return FALSE;
}

TEST_F(StandinWindows, TemplatesBecomeWindows) {
    HWND main = nullptr;
    standin::SetDialogScript([&](const std::string &name, HWND dlg) {
        main = dlg;
        EXPECT_EQ(standin::WindowText(dlg), "Self-Extracting Archive, Tarvex 1.5");
        HWND list = GetDlgItem(dlg, IDC_FILE_LIST), ok = GetDlgItem(dlg, IDOK);
        char cls[8];
        EXPECT_EQ(GetClassNameA(list, cls, sizeof cls), 7);
        EXPECT_STREQ(cls, "ListBox");
        EXPECT_EQ(GetClassNameA(list, cls, 5), 4);  // truncated
        EXPECT_EQ(GetClassNameA(dlg, cls, sizeof cls), 6);
        EXPECT_STREQ(cls, "#32770");
        EXPECT_EQ(standin::WindowStyle(list) & 0xF, 0xBu);  // notify, sort, multiple selection
        EXPECT_TRUE(IsWindowVisible(ok));
        ShowWindow(GetDlgItem(dlg, IDC_PLAIN_LIST), SW_HIDE);
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(dlg, IDC_PLAIN_LIST)));
        ShowWindow(dlg, SW_HIDE);
        EXPECT_FALSE(IsWindowVisible(ok));  // the parent's flag counts
        ShowWindow(dlg, SW_SHOW);
        int count = 0;
        EnumChildWindows(dlg, [](HWND, LPARAM p) -> BOOL { return ++*(int *)p < 3; },
                         (LPARAM)&count);
        EXPECT_EQ(count, 3);  // stopped by the callback
        RECT r;
        ASSERT_TRUE(GetWindowRect(ok, &r));
        POINT pt{r.left, r.top};
        ScreenToClient(dlg, &pt);
        EXPECT_EQ(pt.x, 226);  // 151 dialog units
        EXPECT_EQ(pt.y, 225);  // 139 dialog units
        EXPECT_EQ(r.bottom - r.top, 26);
        EXPECT_NE(SendMessageA(ok, WM_GETFONT, 0, 0), 0);
        EXPECT_TRUE(standin::Click(dlg, IDC_CONFIRM_OVERWRITE));
        EXPECT_TRUE(standin::Click(dlg, IDC_OVERWRITE));
        EXPECT_EQ(standin::CheckState(GetDlgItem(dlg, IDC_CONFIRM_OVERWRITE)), 0);  // same group
        EXPECT_FALSE(standin::Click(dlg, IDC_PLAIN_LIST));                        // hidden
        EnableWindow(GetDlgItem(dlg, IDC_OVERWRITE), FALSE);
        EXPECT_FALSE(standin::Click(dlg, IDC_OVERWRITE));
        SendMessageA(GetDlgItem(dlg, IDC_DONT_OVERWRITE), BM_SETCHECK, BST_CHECKED, 0);
        EXPECT_EQ(SendMessageA(GetDlgItem(dlg, IDC_OVERWRITE), BM_GETCHECK, 0, 0), BST_CHECKED);
    });
    EXPECT_EQ(DialogBoxParamA(nullptr, "MAINDIALOG", nullptr, nullptr, 0), IDCANCEL);
    EXPECT_FALSE(standin::WindowExists(main));
    EXPECT_EQ(GetDlgItem(main, IDOK), nullptr);
    EXPECT_EQ(standin::WindowText(main), "Self-Extracting Archive, Tarvex 1.5");  // the record stays
    EXPECT_EQ(DialogBoxParamA(nullptr, "missing", nullptr, nullptr, 0), -1);
    EXPECT_EQ(standin::DialogsShown(), std::vector<std::string>{"MAINDIALOG"});
}

TEST_F(StandinWindows, NestedDialogsWithScripts) {
    seen.clear();
    standin::SetDialogScript([](const std::string &name, HWND dlg) {
        if (name == "MainDialog") {
            PostMessageA(dlg, WM_COMMAND, 5, 0);
            SendMessageA(dlg, WM_COMMAND, IDOK, 0);
        } else {
            SetDlgItemTextA(dlg, IDC_PASSWORD, "typed text");
            SendMessageA(dlg, WM_COMMAND, IDOK, 0);
        }
    });
    EXPECT_EQ(DialogBoxParamA(nullptr, "MainDialog", nullptr, OuterProc, 42), 78);
    // The inner dialog's message loop delivers what the outer script posted.
    EXPECT_EQ(seen, (std::vector<std::string>{"init 42", "posted 5", "inner ok typed t",
                                              "inner returned 77"}));
    EXPECT_EQ(standin::DialogsShown(), (std::vector<std::string>{"MainDialog", "passwd"}));
    ASSERT_EQ(standin::MessageBoxes().size(), 1u);
    EXPECT_EQ(standin::PendingMessages(), 0u);

    seen.clear();
    standin::SetDialogScript([](const std::string &, HWND dlg) {
        PostMessageA(dlg, WM_COMMAND, 6, 0);
    });
    EXPECT_EQ(DialogBoxParamA(nullptr, "MainDialog", nullptr, OuterProc, 1), IDCANCEL);
    EXPECT_EQ(seen, (std::vector<std::string>{"init 1", "posted 6"}));
}

LRESULT CALLBACK Subclass(HWND w, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COMMAND && wParam == 1277) {
        PostMessageA(w, WM_COMMAND, IDOK, 0);
        return 1;
    }
    return DefDlgProcA(w, msg, wParam, lParam);
}

TEST_F(StandinWindows, SubclassedDialogAndPostedCommands) {
    seen.clear();
    standin::SetDialogScript([](const std::string &name, HWND dlg) {
        if (name != "MainDialog") return;
        LONG old = SetWindowLongA(dlg, GWL_WNDPROC, (LONG)(LONG_PTR)Subclass);
        EXPECT_NE(old, 0);
        SetWindowTextA(dlg, "renamed");  // through the subclass to the caption
        EXPECT_EQ(standin::WindowText(dlg), "renamed");
        EXPECT_EQ(SendMessageA(dlg, WM_COMMAND, 1277, 0), 1);
        EXPECT_EQ(standin::PendingMessages(), 1u);
    });
    // The posted IDOK reaches OuterProc, which runs PASSWD (no script action: IDCANCEL).
    EXPECT_EQ(DialogBoxParamA(nullptr, "MainDialog", nullptr, OuterProc, 0), IDCANCEL + 1);
}

TEST_F(StandinWindows, ListBoxes) {
    standin::SetDialogScript([](const std::string &, HWND dlg) {
        HWND multi = GetDlgItem(dlg, IDC_FILE_LIST), single = GetDlgItem(dlg, IDC_PLAIN_LIST);
        struct {
            const char *item;
            LRESULT index;
        } adds[] = {{"b.txt", 0}, {"A.txt", 0}, {"c", 2}, {"B.TXT", 2}, {"_x", 0}, {"~y", 1},
                    {"1", 2}};
        for (auto &a : adds)
            EXPECT_EQ(SendMessageA(multi, LB_ADDSTRING, 0, (LPARAM)a.item), a.index) << a.item;
        EXPECT_EQ(standin::ListItems(multi),
                  (std::vector<std::string>{"_x", "~y", "1", "A.txt", "b.txt", "B.TXT", "c"}));
        struct {
            WPARAM start;
            const char *text;
            LRESULT found;
        } finds[] = {
            {(WPARAM)-1, "b.txt", 4}, {4, "b.txt", 5}, {5, "B.txt", 4},  // wraps round
            {3, "a.TXT", 3},          {6, "c", 6},     {(WPARAM)-1, "b", LB_ERR},
            {99, "c", 6},
        };
        for (auto &f : finds)
            EXPECT_EQ(SendMessageA(multi, LB_FINDSTRINGEXACT, f.start, (LPARAM)f.text), f.found)
                << f.text << " after " << (int)f.start;
        EXPECT_EQ(SendMessageA(multi, LB_GETSELCOUNT, 0, 0), 0);
        EXPECT_EQ(SendMessageA(multi, LB_SETSEL, TRUE, -1), 0);
        EXPECT_EQ(SendMessageA(multi, LB_SETSEL, FALSE, 2), 0);
        EXPECT_EQ(SendMessageA(multi, LB_SETSEL, TRUE, 7), LB_ERR);
        EXPECT_EQ(SendMessageA(multi, LB_GETSELCOUNT, 0, 0), 6);
        EXPECT_GT(SendMessageA(multi, LB_GETSEL, 1, 0), 0);
        EXPECT_EQ(SendMessageA(multi, LB_GETSEL, 2, 0), 0);
        EXPECT_EQ(SendMessageA(single, LB_GETSELCOUNT, 0, 0), LB_ERR);
        EXPECT_EQ(SendMessageA(single, LB_SETSEL, TRUE, -1), LB_ERR);
        SendMessageA(multi, LB_RESETCONTENT, 0, 0);
        EXPECT_EQ(SendMessageA(multi, LB_GETCOUNT, 0, 0), 0);
        EXPECT_EQ(SendMessageA(multi, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)"c"), LB_ERR);
        // Text calls on an edit control.
        char text[8];
        SetDlgItemTextA(dlg, IDC_DIR_EDIT, "abcdef");
        EXPECT_EQ(GetDlgItemTextA(dlg, IDC_DIR_EDIT, text, 4), 3u);
        EXPECT_STREQ(text, "abc");
    });
    DialogBoxParamA(nullptr, "MainDialog", nullptr, nullptr, 0);
}

TEST(StandinResources, ProgramTemplatesParse) {
    standin::Reset();
    std::vector<std::pair<std::string, int>> classes;
    standin::SetDialogScript([&](const std::string &name, HWND dlg) {
        EXPECT_NE(GetDlgItem(dlg, IDOK), nullptr) << name;
        EXPECT_FALSE(standin::WindowText(dlg).empty()) << name;
    });
    for (const char *name : {"MainDialog", "DLGNEW", "FileExist", "passwd"})
        EXPECT_NE(DialogBoxParamA(nullptr, name, nullptr, nullptr, 0), -1) << name;
    EXPECT_EQ(standin::DialogsShown().size(), 4u);
}

}  // namespace
