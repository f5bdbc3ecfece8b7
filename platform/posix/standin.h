// Control surface of the POSIX stand-in for tests, tools and benchmarks.
//
// The stand-in implements the Win32 subset of platform/win32.h on Linux. Tests
// use this header to set the scene (module path, temporary directory, registry,
// drive mapping, platform id), to play the user (answers to message boxes,
// scripts for dialogs and the folder browser), to inject faults (failing heap,
// short writes) and to read back what the program did (message boxes shown,
// programs started, window states).
#pragma once
#include "platform/win32.h"

#include <functional>
#include <string>
#include <vector>

// Win32 values that tests and the stand-in use and the program does not: the
// answer to a Yes/No box, the close box, a list box's failure, and the registry
// root the program never reads.
#define IDYES 6
#define WM_CLOSE 0x0010
#define LB_ERR (-1)
#define HKEY_CLASSES_ROOT ((HKEY)(uintptr_t)0x80000000u)

namespace standin {

// Everything back to its start state: windows, registry, records, scripts,
// answers, faults, module path, temporary directory, platform id, drive map.
void Reset();

// ---- files and paths ----------------------------------------------------------
// Paths given to the API may use "\" or "/". "X:" at the start of a path stands
// for the host folder mapped to drive X (absent mapping: the path is invalid).
// Names holding any of < > : " | ? * (after the drive prefix) cannot be created
// or opened, as on Windows.
// Start state: drive C is mapped to the host root "/" and the current directory is
// the test process's working directory in that form (/work/main -> "C:\\work\\main").
// The current directory is the stand-in's own; the host's is never changed.
// Mapping a drive again replaces its folder.
void MapDrive(char letter, const std::string &hostFolder);
// What GetModuleFileNameA reports (a Windows-style path; default "C:\\sfx.exe").
void SetModuleFileName(const std::string &path);
// What GetTempPathA reports (default "C:\\TEMP\\").
void SetTempPath(const std::string &path);
// dwPlatformId reported by GetVersionExA (default 2); fail=true makes it fail.
void SetPlatformId(DWORD id, bool fail = false);
// What GetSystemDirectoryA and GetWindowsDirectoryA report (defaults
// "C:\\WINDOWS\\system32" and "C:\\WINDOWS"); an empty text makes the call fail.
void SetSystemFolders(const std::string &system, const std::string &windows);
// Turns a path as the program sees it into the host path it stands for.
std::string HostPath(const std::string &path);
// When > 0, every WriteFile writes at most this many bytes and reports that count.
void SetWriteLimit(long bytesPerCall);
// CloseHandle of a file reports failure (after closing it); MoveFileExA fails.
void FailCloseAndRename(bool close, bool rename);
// Count of WriteFile calls and bytes asked for since Reset (benchmarks, tests).
long WriteCalls();
long long WriteBytes();
// File handles from CreateFileA not yet closed (all Resets included).
long OpenHandles();
// The Windows form of a host path through the drive map ("" when no drive holds it);
// the inverse of HostPath ("/tmp/x" -> "C:\\tmp\\x" with the default map).
std::string WindowsPath(const std::string &hostPath);
// What GetShortPathNameA reports for an existing path (default: the path as given).
void SetShortPath(const std::string &longPath, const std::string &shortPath);
// The stand-in's local time is UTC + this offset (default 0).
void SetUtcOffsetMinutes(int minutes);

// ---- heap ---------------------------------------------------------------------
// The allocation `n` calls from now fails (0: the very next one); -1: none fails.
void FailAllocationAfter(int n);
// Blocks handed out by HeapAlloc and not yet released.
long LiveAllocations();

// ---- registry (held in memory) ------------------------------------------------
void RegistrySet(HKEY root, const std::string &keyPath, const std::string &valueName,
                 const std::string &data, bool addTerminator = true, DWORD type = REG_SZ);
// The variables ExpandEnvironmentStringsA knows (none after Reset).
void SetEnvironmentVariable(const std::string &name, const std::string &value);

// ---- the scripted user ----------------------------------------------------------
struct MessageBoxRecord {
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
};
// Every MessageBoxA shown since Reset, in order.
const std::vector<MessageBoxRecord> &MessageBoxes();
// Answers for the next message boxes, in order; when none is queued the box is
// answered IDOK (or IDYES for a Yes/No box).
void QueueMessageBoxAnswer(int answer);

// Called by DialogBoxParamA after WM_INITDIALOG has been handled, with the
// template name and the dialog window. The script plays the user: sets control
// texts and check states, selects list items, and sends WM_COMMAND. The dialog
// runs until EndDialog; a script that returns without the dialog having ended
// ends it with IDCANCEL (so tests never hang). When no script is set, every
// dialog is ended with IDCANCEL after its initialisation.
using DialogScript = std::function<void(const std::string &templateName, HWND dialog)>;
void SetDialogScript(DialogScript script);
// Dialog templates opened since Reset, in order.
const std::vector<std::string> &DialogsShown();

// The folder browser: the path the user picks (empty: cancel) and whether the
// user presses "New..." (the stand-in runs the callback and the window procedure
// the program installs, so the program's own code decides the outcome). A choice
// that is no existing folder, or a disabled button, leaves the browser to be
// cancelled.
void SetBrowseChoice(const std::string &path, bool pressNew);
// Plays the browser instead of the choice, as the dialog script does for dialogs:
// called with the browser window after its initialisation (BFFM_INITIALIZED and
// the first BFFM_SELCHANGED) and the messages posted meanwhile; a browser still
// open when the script returns is cancelled.
using BrowseScript = std::function<void(HWND browser)>;
void SetBrowseScript(BrowseScript script);
// A user's click on a tree item of an open browser: "" the root (the desktop),
// "::{...}" a virtual item without file-system path, anything else a folder path,
// which must exist. OK follows the item (with BIF_RETURNONLYFSDIRS it is disabled
// on a virtual item), then the callback gets BFFM_SELCHANGED. False (and nothing
// happens) for a window that is no open browser or a folder that is not there.
bool BrowseSelect(HWND browser, const std::string &item);
// The id of the browser's static text that shows lpszTitle (besides IDOK and IDCANCEL).
const int BROWSE_TITLE_ID = 0x3742;
struct BrowseRecord {
    HWND owner;
    std::string title;  // lpszTitle
    UINT flags;
    std::vector<std::string> selections;  // every BFFM_SELCHANGED's item, as BrowseSelect names it
};
// Every browser opened since Reset, in order.
const std::vector<BrowseRecord> &Browses();
// The desktop's file-system path (default "C:\\Users\\user\\Desktop").
void SetDesktopFolder(const std::string &path);
// While set, the browser announces its first selection (the desktop) before
// BFFM_INITIALIZED rather than after it, as some shells do: the program's
// initialisation then comes last, and only the user's next click in the tree
// tells the callback about a selection.
void AnnounceSelectionFirst(bool first);
// SHGetMalloc fails while set.
void FailShellAllocator(bool fail);
// Blocks of the shell's task allocator (the browser's results) not yet freed, and
// allocator references from SHGetMalloc not yet released, since Reset.
long ShellAllocations();
long ShellAllocatorReferences();

// ---- windows ------------------------------------------------------------------
// Window states for assertions. Controls are created from the dialog templates
// in resources/sfx.rc, so ids, classes, texts and styles are the real ones.
std::string WindowText(HWND w);
bool WindowVisible(HWND w);
bool WindowEnabled(HWND w);
bool WindowExists(HWND w);
int CheckState(HWND w);
std::vector<std::string> ListItems(HWND list);          // in list order (sorted)
std::vector<bool> ListSelection(HWND list);
// A user's click on one item of a multiple-selection list.
void SetListSelection(HWND list, int index, bool selected);
// The queries above read a window's last state also after it was destroyed (a
// dialog's windows are destroyed when DialogBoxParamA returns); WindowExists
// tells whether the handle still works.
// Plays a user's click on the control `id` of `dialog`: nothing happens (false)
// when the control is missing, disabled or hidden; an auto check box toggles, an
// auto radio button is checked and the other auto radio buttons of its group
// (WS_GROUP to WS_GROUP) are cleared; then the dialog gets WM_COMMAND(id, control).
bool Click(HWND dialog, int id);
HWND FocusedWindow();                    // the window of the last SetFocus
DWORD WindowStyle(HWND w);
LONG ClassIcon(HWND w);                  // the last SetClassLongA(GCL_HICON) value
void EditSelection(HWND edit, DWORD *start, DWORD *end);  // the last EM_SETSEL
size_t PendingMessages();                // posted and not yet taken
// GetSystemMetrics' screen size (default 1024 x 768).
void SetScreenSize(int width, int height);

// ---- programs started -----------------------------------------------------------
struct ShellExecuteRecord {
    HWND owner;
    std::string verb, file, parameters, directory;
    int show;
    std::string currentDirectory;  // the process's current directory at the call
};
const std::vector<ShellExecuteRecord> &ShellExecutes();
struct WinExecRecord {
    std::string commandLine;
    UINT show;
    std::string currentDirectory;
};
const std::vector<WinExecRecord> &WinExecs();

}  // namespace standin
