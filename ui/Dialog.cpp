// Dialog procedures. PLACEHOLDER.
#include "ui/Dialog.h"

char extractDir[TEXT_BUFFER_SIZE];
BYTE overwriteMode = 0;
HWND mainWindow = 0;
LONG listSearchIndex = 0;
BYTE overwriteAnswer = 0;
char passwordText[PASSWORD_BUFFER_SIZE];
LONG passwordLength = 0;

INT_PTR CALLBACK MainDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
INT_PTR CALLBACK NewDirDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
INT_PTR CALLBACK FileExistDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
INT_PTR CALLBACK PasswordDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
bool IsEntrySelected(HWND list, const char *name) {
    // The list searches from the item after the start index and wraps around, so
    // entries met in archive order are found without rescanning the whole list.
    listSearchIndex = (LONG)SendMessageA(list, LB_FINDSTRINGEXACT, (WPARAM)listSearchIndex,
                                         (LPARAM)name);
    return SendMessageA(list, LB_GETSEL, (WPARAM)listSearchIndex, 0) > 0;
}
void CenterWindow(HWND) {}
void SetChildrenEnabled(HWND, bool) {}
bool CreateSubdirectory(const char *, const char *) { return false; }
void ShowAboutBox(HWND) {}
