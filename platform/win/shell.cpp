// The shell's four calls, reached through shell32 loaded at run time: loaded at
// the first call, long after the entry restricted the DLL search to the system
// folder, so that neither shell32 nor what it imports can come from the folder
// the self-extractor was downloaded to. A shell that does not load fails each
// call the way the call itself reports failure.
#include "platform/win32.h"

static FARPROC ShellCall(const char *name) {
    static HMODULE shell;
    if (!shell) shell = LoadLibraryA("shell32.dll");
    return shell ? GetProcAddress(shell, name) : 0;
}

LPITEMIDLIST SfxBrowseForFolder(LPBROWSEINFOA info) {
    FARPROC call = ShellCall("SHBrowseForFolderA");
    return call ? ((LPITEMIDLIST(WINAPI *)(LPBROWSEINFOA))call)(info) : 0;
}

BOOL SfxGetPathFromIDList(LPCITEMIDLIST pidl, LPSTR path) {
    FARPROC call = ShellCall("SHGetPathFromIDListA");
    return call && ((BOOL(WINAPI *)(LPCITEMIDLIST, LPSTR))call)(pidl, path);
}

HRESULT SfxGetMalloc(LPMALLOC *malloc) {
    FARPROC call = ShellCall("SHGetMalloc");
    return call ? ((HRESULT(WINAPI *)(LPMALLOC *))call)(malloc) : E_FAIL;
}

HINSTANCE SfxShellExecute(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR params, LPCSTR dir, INT show) {
    FARPROC call = ShellCall("ShellExecuteA");
    return call ? ((HINSTANCE(WINAPI *)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT))call)(owner, verb, file, params,
                                                                                         dir, show)
                : 0;
}
