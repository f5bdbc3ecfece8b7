// STAGE-1 STUBS of the stand-in window system; the fake window system replaces them.
#include "platform/posix/internal.h"

namespace standin_detail {
void ResetWindows() {}
}  // namespace standin_detail

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM) { return IDCANCEL; }
BOOL EndDialog(HWND, INT_PTR) { return TRUE; }
HWND GetDlgItem(HWND, int) { return nullptr; }
UINT GetDlgItemTextA(HWND, int, LPSTR b, int m) { if (b && m > 0) b[0] = 0; return 0; }
BOOL SetDlgItemTextA(HWND, int, LPCSTR) { return FALSE; }
LRESULT SendMessageA(HWND, UINT, WPARAM, LPARAM) { return 0; }
BOOL PostMessageA(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
BOOL PeekMessageA(LPMSG, HWND, UINT, UINT, UINT) { return FALSE; }
BOOL TranslateMessage(const MSG *) { return FALSE; }
LRESULT DispatchMessageA(const MSG *) { return 0; }
BOOL ShowWindow(HWND, int) { return FALSE; }
BOOL DestroyWindow(HWND) { return FALSE; }
BOOL SetWindowTextA(HWND, LPCSTR) { return FALSE; }
DWORD SetClassLongA(HWND, int, LONG) { return 0; }
HICON LoadIconA(HINSTANCE, LPCSTR) { return (HICON)(uintptr_t)0x7001; }
HWND SetFocus(HWND) { return nullptr; }
BOOL EnableWindow(HWND, BOOL) { return FALSE; }
BOOL IsWindowEnabled(HWND) { return FALSE; }
BOOL IsWindowVisible(HWND) { return FALSE; }
BOOL EnumChildWindows(HWND, WNDENUMPROC, LPARAM) { return FALSE; }
int GetClassNameA(HWND, LPSTR b, int m) { if (b && m > 0) b[0] = 0; return 0; }
BOOL GetWindowRect(HWND, LPRECT) { return FALSE; }
int GetSystemMetrics(int i) { return i == SM_CXSCREEN ? 1024 : i == SM_CYSCREEN ? 768 : 0; }
BOOL SetWindowPos(HWND, HWND, int, int, int, int, UINT) { return FALSE; }
BOOL ScreenToClient(HWND, LPPOINT) { return FALSE; }
HWND CreateWindowExA(DWORD, LPCSTR, LPCSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE,
                     LPVOID) { return nullptr; }
LONG SetWindowLongA(HWND, int, LONG) { return 0; }
LRESULT DefDlgProcA(HWND, UINT, WPARAM, LPARAM) { return 0; }

namespace standin {
void SetDialogScript(DialogScript) {}
const std::vector<std::string> &DialogsShown() { static std::vector<std::string> v; return v; }
std::string WindowText(HWND) { return ""; }
bool WindowVisible(HWND) { return false; }
bool WindowEnabled(HWND) { return false; }
bool WindowExists(HWND) { return false; }
int CheckState(HWND) { return 0; }
std::vector<std::string> ListItems(HWND) { return {}; }
std::vector<bool> ListSelection(HWND) { return {}; }
void SetListSelection(HWND, int, bool) {}
HWND FindDialog(const std::string &) { return nullptr; }
}  // namespace standin
