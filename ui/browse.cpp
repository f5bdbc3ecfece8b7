// The folder browser behind the main dialog's "..." button: the shell's own
// browser, captioned "Extract to : " and given one more push button, "New...",
// left of its OK button. "New..." accepts the selection like OK and tells the
// main dialog that the user wants a new subdirectory below it.
//
// Owns browseInfo, browseDisplayName, browseResult, newFolderRequested and
// newFolderButton, set anew by every browse. Writes the caller's destination
// buffer and the process's current directory. Called by the main dialog.
#include "ui/browse.h"

#include "app/SFX.h"
#include "app/SFXstrings.h"
#include "resources/resource.h"

BROWSEINFOA browseInfo;
char browseDisplayName[MAX_PATH];
LPITEMIDLIST browseResult;
bool newFolderRequested;
HWND newFolderButton;

bool BrowseForDestination(HWND owner, char *buffer) {
    browseInfo.hwndOwner = owner;
    browseInfo.pidlRoot = 0;  // the desktop
    browseInfo.pszDisplayName = browseDisplayName;
    browseInfo.lpszTitle = STR_BROWSE_TITLE;
    browseInfo.ulFlags = BIF_RETURNONLYFSDIRS;
    browseInfo.lpfn = BrowseCallback;
    browseInfo.lParam = 0;
    newFolderRequested = false;
    // A shell may report the first selection before the browser is decorated:
    // the previous browse's button is gone by then.
    newFolderButton = 0;
    browseResult = SHBrowseForFolderA(&browseInfo);
    if (!browseResult) return false;
    // Only file-system folders can be accepted, so the path is there.
    SHGetPathFromIDListA(browseResult, buffer);
    LPMALLOC allocator = 0;
    bool result = false;
    if (SHGetMalloc(&allocator) >= 0) {
        allocator->Free(browseResult);
        SetCurrentDirectoryA(buffer);
        result = newFolderRequested;
    }
    if (allocator) allocator->Release();
    return result;
}

int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM lParam, LPARAM data) {
    if (message == BFFM_INITIALIZED) {
        DecorateBrowseDialog(window);
    } else if (message == BFFM_SELCHANGED) {
        // browseDisplayName is scratch room here: only the success counts.
        HWND ok = GetDlgItem(window, IDOK);
        if (!SHGetPathFromIDListA((LPCITEMIDLIST)lParam, browseDisplayName))
            EnableWindow(ok, FALSE);
        // "New..." accepts the selection too, so it is usable exactly when OK is.
        EnableWindow(newFolderButton, IsWindowEnabled(ok));
    }
    return 0;
}

void DecorateBrowseDialog(HWND window) {
    SetWindowTextA(window, STR_BROWSE_CAPTION);
    HWND ok = GetDlgItem(window, IDOK);
    RECT rect;
    GetWindowRect(ok, &rect);
    int height = rect.bottom - rect.top;
    ScreenToClient(window, (LPPOINT)&rect);  // the top-left corner only
    newFolderButton = CreateWindowExA(
        0, STR_BUTTON_CLASS, STR_NEW_FOLDER,
        WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | BS_PUSHBUTTON, rect.left - 90,
        rect.top, 75, height, window, (HMENU)(UINT_PTR)IDC_NEW_FOLDER, programInstance, 0);
    // Posted: the button paints itself once the browser's message loop runs.
    PostMessageA(newFolderButton, WM_SETFONT, (WPARAM)SendMessageA(ok, WM_GETFONT, 0, 0), 1);
    // The first selection change decides whether "New..." is usable.
    EnableWindow(newFolderButton, FALSE);
    // The browser is a dialog: DefDlgProcA still runs its own dialog procedure,
    // so the old window procedure need not be kept.
    SetWindowLongA(window, GWL_WNDPROC, (LONG)(LONG_PTR)BrowseWindowProc);
}

LRESULT CALLBACK BrowseWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // A click on "New..." ends the browser as OK would, with the current
    // selection, and remembers why it ended. The browser is the shell's dialog,
    // not ours: only the click counts, never another notification of the button.
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_NEW_FOLDER && HIWORD(wParam) == BN_CLICKED) {
        newFolderRequested = true;
        PostMessageA(window, WM_COMMAND, IDOK, 0);
        return 1;
    }
    return DefDlgProcA(window, message, wParam, lParam);
}
