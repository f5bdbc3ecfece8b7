// The one door to the platform API.
//
// On Windows this is <windows.h> with the shell headers. Elsewhere it declares the
// subset of the Win32 API that the program calls, and nothing more: the calls,
// constants and types of the product code (the records it passes whole, as
// Windows lays them out). platform/posix/ implements that subset with exactly the
// behaviour the program relies on, so that the product sources compile and run
// unchanged for unit tests, fuzzing and benchmarks; what the stand-in and the
// tests need beyond it lives in platform/posix/. Only the ANSI forms are used:
// all text is 8-bit text in the ANSI code page.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

// shell32 is not imported: its own imports (version.dll among them, no KnownDLL)
// would load from the program's folder before the search there is shut off
// (platform/win/entry.cpp). The four calls load it at their first use from the
// system folder (platform/win/shell.cpp).
#define SHBrowseForFolderA SfxBrowseForFolder
#define SHGetPathFromIDListA SfxGetPathFromIDList
#define SHGetMalloc SfxGetMalloc
#define ShellExecuteA SfxShellExecute
LPITEMIDLIST SfxBrowseForFolder(LPBROWSEINFOA info);
BOOL SfxGetPathFromIDList(LPCITEMIDLIST pidl, LPSTR path);
HRESULT SfxGetMalloc(LPMALLOC *malloc);
HINSTANCE SfxShellExecute(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR params, LPCSTR dir, INT show);

#else  // the POSIX stand-in

#include <stddef.h>
#include <stdint.h>

#define CALLBACK

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t UINT;
typedef char CHAR;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef void *LPVOID;
typedef const void *LPCVOID;
typedef DWORD *LPDWORD;
typedef LONG *PLONG;
typedef BYTE *LPBYTE;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef int32_t HRESULT;  // 32 bits, so that failure codes are negative
typedef void *HANDLE;
typedef struct HWND__ *HWND;
typedef struct HINSTANCE__ *HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HICON__ *HICON;
typedef struct HKEY__ *HKEY;
typedef HKEY *PHKEY;
typedef struct HMENU__ *HMENU;
typedef DWORD REGSAM;
typedef LONG LSTATUS;

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_FILE_ATTRIBUTES ((DWORD)0xFFFFFFFF)
#define INVALID_SET_FILE_POINTER ((DWORD)0xFFFFFFFF)
#define LOWORD(l) ((WORD)((uintptr_t)(l) & 0xFFFF))
#define HIWORD(l) ((WORD)(((uintptr_t)(l) >> 16) & 0xFFFF))

// ---- kernel32 -----------------------------------------------------------------

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *LPFILETIME;

typedef struct _SECURITY_ATTRIBUTES *LPSECURITY_ATTRIBUTES;
typedef struct _OVERLAPPED *LPOVERLAPPED;

typedef struct _WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;

typedef struct _OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
} OSVERSIONINFOA, *LPOSVERSIONINFOA;

// The archive (the program's own file) and the files it extracts.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL ReadFile(HANDLE h, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED ov);
BOOL WriteFile(HANDLE h, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED ov);
DWORD SetFilePointer(HANDLE h, LONG distance, PLONG distanceHigh, DWORD moveMethod);
DWORD GetFileSize(HANDLE h, LPDWORD sizeHigh);
BOOL CloseHandle(HANDLE h);
BOOL SetFileTime(HANDLE h, const FILETIME *creation, const FILETIME *access,
                 const FILETIME *write);
BOOL DosDateTimeToFileTime(WORD date, WORD time, LPFILETIME ft);
BOOL LocalFileTimeToFileTime(const FILETIME *local, LPFILETIME utc);
// Two texts compared as the system sorts them, case ignored.
int lstrcmpiA(LPCSTR a, LPCSTR b);

// Directories and path texts.
HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data);
BOOL FindClose(HANDLE h);
DWORD GetFileAttributesA(LPCSTR name);
BOOL SetFileAttributesA(LPCSTR name, DWORD attributes);
BOOL DeleteFileA(LPCSTR name);
#define MOVEFILE_REPLACE_EXISTING 1
#define ERROR_CALL_NOT_IMPLEMENTED 120L
DWORD GetLastError(void);
BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags);
BOOL MoveFileA(LPCSTR from, LPCSTR to);
UINT GetTempFileNameA(LPCSTR dir, LPCSTR prefix, UINT unique, LPSTR out);
BOOL CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES sa);
DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size);
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
BOOL SetCurrentDirectoryA(LPCSTR path);
DWORD GetTempPathA(DWORD size, LPSTR buffer);
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);

// The process: its module, the system it runs on, programs it starts, its heap.
HMODULE GetModuleHandleA(LPCSTR name);
BOOL GetVersionExA(LPOSVERSIONINFOA info);
DWORD GetTickCount(void);
UINT WinExec(LPCSTR cmdLine, UINT show);
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);
DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR out, DWORD size);
HANDLE GetProcessHeap(void);
LPVOID HeapAlloc(HANDLE heap, DWORD flags, size_t bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID mem);

// ---- user32 -------------------------------------------------------------------

#define WM_SETTEXT 0x000C
#define WM_SETFONT 0x0030
#define WM_GETFONT 0x0031
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111

#define IDOK 1
#define IDCANCEL 2
#define IDNO 7

#define MB_OK 0x00000000
#define MB_OKCANCEL 0x00000001
#define MB_YESNO 0x00000004
#define MB_ICONERROR 0x00000010
#define MB_ICONQUESTION 0x00000020
#define MB_ICONINFORMATION 0x00000040

#define SW_HIDE 0
#define SW_SHOW 5

#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BST_UNCHECKED 0
#define BST_CHECKED 1
#define BN_CLICKED 0

#define EM_SETSEL 0x00B1

#define LB_ADDSTRING 0x0180
#define LB_INSERTSTRING 0x0181
#define LB_RESETCONTENT 0x0184
#define LB_SETSEL 0x0185
#define LB_GETSEL 0x0187
#define LB_GETCOUNT 0x018B
#define LB_GETSELCOUNT 0x0190
#define LB_FINDSTRINGEXACT 0x01A2

#define GCL_HICON (-14)
#define GWL_WNDPROC (-4)
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SWP_NOSIZE 0x0001
#define SWP_NOZORDER 0x0004
#define PM_REMOVE 0x0001

#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_CLIPSIBLINGS 0x04000000L
#define WS_TABSTOP 0x00010000L
#define BS_PUSHBUTTON 0x00000000L

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT, *LPPOINT;

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *LPRECT;

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *LPMSG;

typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);
typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef BOOL (*WNDENUMPROC)(HWND, LPARAM);

// Dialogs and their messages.
INT_PTR DialogBoxParamA(HINSTANCE inst, LPCSTR templateName, HWND owner, DLGPROC proc,
                        LPARAM param);
BOOL EndDialog(HWND dlg, INT_PTR result);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
HWND GetDlgItem(HWND dlg, int id);
UINT GetDlgItemTextA(HWND dlg, int id, LPSTR buffer, int max);
BOOL SetDlgItemTextA(HWND dlg, int id, LPCSTR text);
LRESULT SendMessageA(HWND w, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND w, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL PeekMessageA(LPMSG msg, HWND w, UINT first, UINT last, UINT remove);
BOOL TranslateMessage(const MSG *msg);
LRESULT DispatchMessageA(const MSG *msg);
LRESULT DefDlgProcA(HWND w, UINT msg, WPARAM wParam, LPARAM lParam);
LONG SetWindowLongA(HWND w, int index, LONG value);

// Window states, placement and the folder browser's extra button.
BOOL ShowWindow(HWND w, int cmd);
BOOL DestroyWindow(HWND w);
BOOL SetWindowTextA(HWND w, LPCSTR text);
DWORD SetClassLongA(HWND w, int index, LONG value);
HICON LoadIconA(HINSTANCE inst, LPCSTR name);
HWND SetFocus(HWND w);
BOOL EnableWindow(HWND w, BOOL enable);
BOOL IsWindowEnabled(HWND w);
BOOL IsWindowVisible(HWND w);
BOOL EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM param);
int GetClassNameA(HWND w, LPSTR buffer, int max);
BOOL GetWindowRect(HWND w, LPRECT rect);
int GetSystemMetrics(int index);
BOOL SetWindowPos(HWND w, HWND after, int x, int y, int cx, int cy, UINT flags);
BOOL ScreenToClient(HWND w, LPPOINT pt);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE inst,
                     LPVOID param);

// ---- shell32 ------------------------------------------------------------------

#define BIF_RETURNONLYFSDIRS 0x0001
#define BFFM_INITIALIZED 1
#define BFFM_SELCHANGED 2

typedef struct _ITEMIDLIST ITEMIDLIST, *LPITEMIDLIST;
typedef const ITEMIDLIST *LPCITEMIDLIST;
typedef int (*BFFCALLBACK)(HWND, UINT, LPARAM, LPARAM);

typedef struct _browseinfoA {
    HWND hwndOwner;
    LPCITEMIDLIST pidlRoot;
    LPSTR pszDisplayName;
    LPCSTR lpszTitle;
    UINT ulFlags;
    BFFCALLBACK lpfn;
    LPARAM lParam;
    int iImage;
} BROWSEINFOA, *LPBROWSEINFOA;

// The shell's task allocator: the two methods the program calls.
struct IMalloc {
    virtual void Free(void *p) = 0;
    virtual DWORD Release() = 0;
};
typedef IMalloc *LPMALLOC;

LPITEMIDLIST SHBrowseForFolderA(LPBROWSEINFOA info);
BOOL SHGetPathFromIDListA(LPCITEMIDLIST pidl, LPSTR path);
HRESULT SHGetMalloc(LPMALLOC *malloc);
HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR params, LPCSTR dir,
                        int show);

// ---- advapi32 -----------------------------------------------------------------

#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define HKEY_USERS ((HKEY)(uintptr_t)0x80000003u)
#define KEY_READ 0x20019
#define ERROR_SUCCESS 0L
#define REG_SZ 1
#define REG_EXPAND_SZ 2

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM sam, PHKEY result);
LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                         LPBYTE data, LPDWORD size);
LSTATUS RegCloseKey(HKEY key);

#endif  // _WIN32
