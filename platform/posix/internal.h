// Shared internals of the POSIX stand-in (platform/posix/*.cpp only).
//
// The stand-in is a set of small modules by concern; each keeps its state in a
// function-local static so that nothing depends on the order of static
// initialisation, and each offers a Reset hook that standin::Reset() calls.
#pragma once
#include "platform/posix/standin.h"

#include <functional>
#include <string>
#include <vector>

// Win32 values the stand-in's own code needs beyond platform/win32.h (which
// declares only what the program uses), spelled once here for every module.
#define WS_POPUP 0x80000000L
#define WS_CAPTION 0x00C00000L
#define WS_SYSMENU 0x00080000L
#define DS_MODALFRAME 0x80L
#define WS_GROUP 0x00020000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define BS_AUTOCHECKBOX 0x00000003L
#define BS_AUTORADIOBUTTON 0x00000009L
#define BS_TYPEMASK 0x0000000FL
#define LBS_SORT 0x0002L
#define LBS_MULTIPLESEL 0x0008L
#define MB_TYPEMASK 0x0000000FL
#define WM_GETTEXT 0x000D
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_MORE_DATA 234L
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
// Through int32_t: HRESULT is a 32-bit value whose failures are negative, also
// where the host's long is wider.
#define S_OK ((HRESULT)0)
#define E_FAIL ((HRESULT)(int32_t)0x80004005u)

namespace standin_detail {

// A FILETIME counts 100-ns ticks since 1601-01-01 (UTC); host times count
// seconds since 1970-01-01.
const uint64_t TICKS_PER_SECOND = 10000000ull;
const int64_t SECONDS_1601_TO_1970 = 11644473600ll;

// The class of dialogs, as Windows names it.
const char DIALOG_CLASS[] = "#32770";

// ---- paths (paths.cpp) ---------------------------------------------------------
// A program path resolved against the drive map and the virtual current directory.
struct ResolvedPath {
    std::string host;                     // host path ("/" separators, no trailing "/")
    std::vector<std::string> components;  // below the drive root, "." and ".." folded
    char drive = 0;                       // drive letter as written (or of the cwd)
    bool trailingSeparator = false;       // the text ended in "\" or "/"
    bool isRoot() const { return components.empty(); }
};
// Turns `path` into a host path. Fails (false) for an empty text, an unmapped
// drive, a UNC name, or a component holding a character Windows refuses in names
// ("?" and "*" are accepted in the last component only when `wildcardsInLast`).
bool Resolve(const char *path, ResolvedPath &out, bool wildcardsInLast = false,
             bool checkNames = true);
// Windows form of a resolved path: "C:\dir\sub" (root: "C:\").
std::string WindowsForm(char drive, const std::vector<std::string> &components);
void ResetPaths();

// ---- files (files.cpp) -----------------------------------------------------------
void ResetFiles();

// ---- heap (heap.cpp) -------------------------------------------------------------
void ResetHeap();

// ---- registry (registry.cpp) -----------------------------------------------------
void ResetRegistry();

// ---- kernel32 odds and ends (kernel32.cpp) ---------------------------------------
void ResetKernel();

// ---- dialog templates (rcparse.cpp) -------------------------------------------------
struct ControlTemplate {
    std::string text, cls;  // class as written ("BUTTON")
    int id = 0;
    DWORD style = 0;
    int x = 0, y = 0, w = 0, h = 0;  // dialog units
};
struct DialogTemplate {
    std::string name, caption;
    DWORD style = 0;
    int x = 0, y = 0, w = 0, h = 0;  // dialog units
    std::vector<ControlTemplate> controls;
};
// The template of that name (without case) in the program's resource script, or
// null. The script is read once; nothing of it changes under a Reset.
const DialogTemplate *FindTemplate(const std::string &name);

// ---- windows (windows.cpp, dialogs.cpp) ---------------------------------------------
struct Window {
    HWND handle = nullptr;
    bool alive = true;
    HWND parent = nullptr;  // controls: their dialog; top-level windows: null
    int id = 0;
    std::string cls, text;  // class as Windows names it: "Button", "#32770", ...
    DWORD style = 0;
    bool visible = false, enabled = true;
    int check = 0;
    std::vector<std::string> items;  // list boxes
    std::vector<bool> selected;
    RECT rect{};  // top-level: screen pixels; controls: parent's client pixels
    WNDPROC wndProc = nullptr;   // current window procedure
    DLGPROC dlgProc = nullptr;   // dialogs
    bool modal = false, ended = false;
    INT_PTR result = 0;
    WPARAM font = 0;
    LONG classIcon = 0;
    DWORD selStart = 0, selEnd = 0;  // last EM_SETSEL
    std::vector<HWND> children;
};
Window *AnyWindow(HWND w);   // the record, also after destruction; null when never made
Window *LiveWindow(HWND w);  // null unless the window exists
HWND NewWindow(HWND parent, const std::string &cls, const std::string &text, int id,
               DWORD style, const RECT &rect);
void DestroyTree(HWND w);
// Pixels of the non-client frame of a top-level window: left/right border and top.
POINT ClientOrigin(HWND w);  // screen position of the client area's top-left corner
// Runs a created dialog modally: WM_INITDIALOG (through its dialog procedure),
// then `user` (the scripted user) unless it ended, then the posted messages until
// it ends; ends it with IDCANCEL when nothing did. Destroys it and returns the result.
INT_PTR RunModal(HWND dialog, LPARAM initParam, const std::function<void()> &user);
void ResetWindows();
void ResetDialogs();
void ResetMessageBoxes();

// ---- shell (shell32.cpp) -----------------------------------------------------------
void ResetShell();

// Copies `text` into a caller's buffer of `size` bytes the way the Get...A calls of
// kernel32 do: returns the length when it fits (with its NUL), else the size needed
// including the NUL, leaving the buffer untouched.
DWORD CopyOut(const std::string &text, LPSTR buffer, DWORD size);

// ASCII case folding as the ANSI calls of the stand-in use it.
std::string Lower(const std::string &s);
bool EqualNoCase(const std::string &a, const std::string &b);

}  // namespace standin_detail
