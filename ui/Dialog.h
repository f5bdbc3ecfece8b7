// Dialog: the main dialog and the sub-dialogs (new subdirectory, overwrite
// confirmation, password) with the About box, and the window helpers. Answers
// the extraction pass's questions (archive/ask.h).
#pragma once
#include "app/SFXgbls.h"
#include "archive/ask.h"
#include "platform/win32.h"

extern BYTE overwriteMode;                 // OVERWRITE_* (app/sfxformat.h), the mode in force
extern HWND mainWindow;                    // the main dialog, once initialised
extern LONG listSearchIndex;               // list item found for the current entry
extern BYTE overwriteAnswer;               // FILEEXIST: 1 overwrite, 0 keep
extern char currentEntryName[256];         // file name asked about by FILEEXIST
extern char passwordText[PASSWORD_BUFFER_SIZE];
extern LONG passwordLength;

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK NewDirDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FileExistDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

void CenterWindow(HWND window);
void SetChildrenEnabled(HWND dialog, bool enable);
bool CreateSubdirectory(const char *base, const char *name);
void ShowAboutBox(HWND owner);
