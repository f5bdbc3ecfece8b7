// Dialog: the main dialog and the sub-dialogs (new subdirectory, overwrite
// confirmation, password) with the About box, and the window helpers.
#pragma once
#include "platform/win32.h"
#include "app/SFXgbls.h"
#include "archive/extract.h"

extern char extractDir[TEXT_BUFFER_SIZE];  // destination of the extraction
extern BYTE overwriteMode;                 // OVERWRITE_* (app/sfxformat.h)
extern HWND mainWindow;                    // the main dialog, once initialised
extern LONG listSearchIndex;               // list item found for the current entry
extern BYTE overwriteAnswer;               // FILEEXIST: 1 overwrite, 0 keep
extern char passwordText[PASSWORD_BUFFER_SIZE];
extern LONG passwordLength;

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK NewDirDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FileExistDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Finds the entry's item (case-insensitive, searching on from listSearchIndex and
// wrapping) and tells whether it is selected.
bool IsEntrySelected(HWND list, const char *name);
void CenterWindow(HWND window);
void SetChildrenEnabled(HWND dialog, bool enable);
bool CreateSubdirectory(const char *base, const char *name);
void ShowAboutBox(HWND owner);
