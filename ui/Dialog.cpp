// Dialog: the main dialog (MAINDIALOG) and the sub-dialogs DLGNEW, FILEEXIST and
// PASSWD, the About box, and the window helpers CenterWindow and
// SetChildrenEnabled.
//
// Owns and writes: overwriteMode, mainWindow, listSearchIndex, overwriteAnswer,
// currentEntryName, passwordText, passwordLength; writes extractDir (see
// app/SFXgbls.h). Reads the rest of the run state, never writes it. Called by:
// the run sequence (MainDialogProc), the extraction pass (the answers of
// archive/ask.h, which show FILEEXIST and PASSWD).
//
// Every procedure dispatches WM_COMMAND on the low word of wParam alone, so a
// notification code never changes what a control does.
#include "ui/Dialog.h"

#include "actions/command.h"
#include "app/SFX.h"
#include "app/SFXstrings.h"
#include "app/message.h"
#include "archive/SFXmisc.h"
#include "archive/extract.h"
#include "resources/resource.h"
#include "ui/browse.h"

BYTE overwriteMode = OVERWRITE_CONFIRM;
HWND mainWindow = 0;
LONG listSearchIndex = 0;
BYTE overwriteAnswer = 0;
char currentEntryName[256];
char passwordText[PASSWORD_BUFFER_SIZE];
LONG passwordLength = 0;

// The overwrite buttons in the order of the overwrite modes they stand for
// (OVERWRITE_CONFIRM, _ALWAYS, _NEVER), then their label: the one map between
// buttons and modes.
#define OVERWRITE_MODES 3
static const WORD overwriteControls[OVERWRITE_MODES + 1] = {
    IDC_CONFIRM_OVERWRITE, IDC_OVERWRITE, IDC_DONT_OVERWRITE, IDC_EXISTING_LABEL};

// ==== small helpers ==========================================================

static LRESULT SendItem(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageA(GetDlgItem(dialog, id), message, wParam, lParam);
}

static void ShowItem(HWND dialog, int id, int command) {
    ShowWindow(GetDlgItem(dialog, id), command);
}

static void SetCheck(HWND dialog, int id, WPARAM state) {
    SendItem(dialog, id, BM_SETCHECK, state, 0);
}

// Checks the button of an overwrite mode.
static void CheckOverwriteButton(HWND dialog, BYTE mode) {
    SetCheck(dialog, overwriteControls[mode], BST_CHECKED);
}

static void SendCommand(HWND dialog, WPARAM id) {
    SendMessageA(dialog, WM_COMMAND, id, 0);
}

// Reads the destination edit into extractDir: at most 259 characters.
static void ReadDirEdit(HWND dialog) {
    extractDir[GetDlgItemTextA(dialog, IDC_DIR_EDIT, extractDir, MAX_PATH)] = 0;
}

static void ShowDirEdit(HWND dialog) {
    SetDlgItemTextA(dialog, IDC_DIR_EDIT, extractDir);
}

// The selection of the work list is the set of entries still to extract.
static void SelectAllFiles(HWND dialog) {
    SendItem(dialog, IDC_FILE_LIST, LB_SETSEL, TRUE, -1);
}

// ==== window helpers =========================================================

void CenterWindow(HWND window) {
    RECT frame;
    GetWindowRect(window, &frame);
    // Signed division: a window larger than the screen gets negative offsets,
    // rounded toward zero.
    int x = (GetSystemMetrics(SM_CXSCREEN) - (frame.right - frame.left)) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - (frame.bottom - frame.top)) / 2;
    SetWindowPos(window, 0, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

// Static texts keep their look, and hidden controls (the list box that is not
// shown, a hidden run check box) keep their state for when they reappear.
static BOOL CALLBACK EnableChild(HWND child, LPARAM enable) {
    char className[20];
    GetClassNameA(child, className, sizeof className);
    const char *a = className, *b = STR_STATIC_CLASS;
    while (*a && *a == *b) a++, b++;
    if (IsWindowVisible(child) && *a != *b) EnableWindow(child, (BOOL)enable);
    return TRUE;
}

void SetChildrenEnabled(HWND dialog, bool enable) {
    EnumChildWindows(dialog, EnableChild, enable);
}

// ==== the extraction pass's questions (archive/ask.h) ========================

void RestartEntrySearch() { listSearchIndex = -1; }

bool IsEntrySelected(HWND list, const char *name) {
    // The list searches from the item after the start index and wraps around, so
    // entries met in archive order are found without rescanning the whole list.
    // Names the list holds equal (the same name twice, or names that differ
    // only in case) have an item each: the entry takes the first of them still
    // selected, so that every copy finds its own item.
    LONG first = (LONG)SendMessageA(list, LB_FINDSTRINGEXACT, (WPARAM)listSearchIndex, (LPARAM)name);
    LONG index = first;
    do {
        if (SendMessageA(list, LB_GETSEL, (WPARAM)index, 0) > 0) {
            listSearchIndex = index;
            return true;
        }
        index = (LONG)SendMessageA(list, LB_FINDSTRINGEXACT, (WPARAM)index, (LPARAM)name);
    } while (index >= 0 && index != first);
    listSearchIndex = first;
    return false;
}

void MarkEntryDone(HWND list) {
    SendMessageA(list, LB_SETSEL, FALSE, (LPARAM)listSearchIndex);
}

bool OverwriteWanted(const char *path) {
    if (overwriteMode == OVERWRITE_CONFIRM) {
        FileNamePart(path, currentEntryName);
        DialogBoxParamA(programInstance, STR_RES_FILEEXIST, 0, FileExistDialogProc, 0);
        return overwriteAnswer != 0;
    }
    return overwriteMode != OVERWRITE_NEVER;
}

void AskPassword(char *password) {
    DialogBoxParamA(programInstance, STR_RES_PASSWD, 0, PasswordDialogProc, 0);
    LONG length = passwordLength;
    if (length > PASSWORD_BUFFER_SIZE - 1) length = PASSWORD_BUFFER_SIZE - 1;
    if (length < 0) length = 0;
    StringFromBuffer(password, passwordText, length);
}

void ShowAboutBox(HWND owner) {
    ShowMessage(STR_ABOUT_TEXT, STR_ABOUT_CAPTION, MB_OK, owner);
}

// ==== the main dialog ========================================================

// WM_INITDIALOG. The order matters: the run caption appends a backslash to
// extractDir before the edit shows it; the lists are filled before all items are
// selected; an automatic start runs the whole Start sequence before mainWindow
// is recorded, so FILEEXIST leaves the radio buttons alone during it.
static void InitMainDialog(HWND dialog) {
    SetClassLongA(dialog, GCL_HICON, (LONG)(LONG_PTR)LoadIconA(programInstance, STR_RES_ICON));

    if (hasDefaultDir)
        StringFromBuffer(extractDir, defaultDirText, MAX_PATH);
    else
        GetCurrentDirectoryA(MAX_PATH, extractDir);

    // Without a command the box is hidden and unchecked; with one it is checked,
    // and stays checked when hidden, so the command runs after extraction.
    bool showRun = false;
    if (hasCommand) {
        char caption[RUN_CAPTION_SIZE];
        BuildRunCaption(caption, sizeof caption);
        SetDlgItemTextA(dialog, IDC_RUN_CHECK, caption);
        SetCheck(dialog, IDC_RUN_CHECK, BST_CHECKED);
        showRun = showRunCheckbox;
    }
    if (!showRun) ShowItem(dialog, IDC_RUN_CHECK, SW_HIDE);

    ShowDirEdit(dialog);
    SendItem(dialog, IDC_DIR_EDIT, EM_SETSEL, 0, 32767);

    overwriteMode = initialOverwriteMode;
    CheckOverwriteButton(dialog, overwriteMode);
    if (lockOverwriteMode)
        for (int i = 0; i <= OVERWRITE_MODES; i++) DestroyWindow(GetDlgItem(dialog, overwriteControls[i]));

    SetWindowTextA(dialog, captionText);
    CenterWindow(dialog);

    ExtractEntries(dialog, IDC_FILE_LIST, true);
    if (selectFiles) {
        ShowItem(dialog, IDC_PLAIN_LIST, SW_HIDE);
    } else {
        ShowItem(dialog, IDC_FILE_LIST, SW_HIDE);
        ExtractEntries(dialog, IDC_PLAIN_LIST, true);
    }
    // The multiple-selection list is the work list even while hidden.
    SelectAllFiles(dialog);

    if (autoStart) SendCommand(dialog, IDOK);
    mainWindow = dialog;
}

// IDOK: extract the selected entries into the destination of the edit.
static void StartExtraction(HWND dialog) {
    if (!selectFiles) {
        // The plain list's selection means nothing: every entry is extracted,
        // and the work list is shown while it is.
        SelectAllFiles(dialog);
        ShowItem(dialog, IDC_PLAIN_LIST, SW_HIDE);
        ShowItem(dialog, IDC_FILE_LIST, SW_SHOW);
    }
    ReadDirEdit(dialog);
    StripBackslash(extractDir);
    if (!extractDir[0]) {
        GetCurrentDirectoryA(MAX_PATH, extractDir);
        ShowDirEdit(dialog);
    }

    // The pass pumps a message now and then, so this procedure can be entered
    // again meanwhile; disabled controls keep the user from issuing commands.
    SetChildrenEnabled(dialog, false);
    bool complete = ExtractEntries(dialog, IDC_FILE_LIST, false);
    SetChildrenEnabled(dialog, true);
    if (complete) {
        RunAfterExtraction(SendItem(dialog, IDC_RUN_CHECK, BM_GETCHECK, 0, 0));
        EndDialog(dialog, IDOK);
    }
    // A failed run leaves the dialog open with the failed entries still
    // selected, except under automatic start, where nobody is there to retry.
    if (autoStart) SendCommand(dialog, IDCANCEL);
}

// "...": the folder browser, and after its "New..." button the DLGNEW dialog.
static void Browse(HWND dialog) {
    if (BrowseForDestination(dialog, extractDir) &&
        DialogBoxParamA(programInstance, STR_RES_DLGNEW, dialog, NewDirDialogProc, 0) != IDOK)
        ReadDirEdit(dialog);
    // Also after a cancelled browse: the edit goes back to the stored destination.
    ShowDirEdit(dialog);
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        InitMainDialog(dialog);
    } else if (message == WM_COMMAND) {
        WORD id = LOWORD(wParam);
        switch (id) {
        case IDOK:
            StartExtraction(dialog);
            break;
        case IDCANCEL:
            // Leave the process in the chosen folder when it exists.
            ReadDirEdit(dialog);
            if (PathExists(extractDir)) SetCurrentDirectoryA(extractDir);
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        case IDC_ABOUT:
            ShowAboutBox(dialog);
            break;
        case IDC_BROWSE:
            Browse(dialog);
            break;
        }
        for (BYTE mode = 0; mode < OVERWRITE_MODES; mode++)
            if (id == overwriteControls[mode]) overwriteMode = mode;
    }
    return FALSE;
}

// ==== DLGNEW: a new subdirectory below the chosen folder =====================

// The folder browser has just made `base` the current directory; the new
// directory becomes the current directory in its turn.
bool CreateSubdirectory(const char *base, const char *name) {
    // A drive letter or a stream name has no place in a subdirectory name.
    if (FindFirstChar(name, ':') >= 0) return false;
    while (*name == '\\') name++;
    if (!*name) return false;

    char path[2 * TEXT_BUFFER_SIZE];
    StringFromBuffer(StringFromBuffer(path, base, MAX_PATH), name, MAX_PATH);
    CreateDirectoryTree(path);

    StringFromBuffer(StringFromBuffer(path, name, MAX_PATH), "\\", 1);
    if (!PathExists(path)) return false;
    SetCurrentDirectoryA(name);
    return true;
}

INT_PTR CALLBACK NewDirDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        AppendBackslash(extractDir);
        CenterWindow(dialog);
        SetDlgItemTextA(dialog, IDC_CURRENT_DIR, extractDir);
        SetFocus(GetDlgItem(dialog, IDC_NEW_SUBDIR));
    } else if (message == WM_COMMAND) {
        WORD id = LOWORD(wParam);
        if (id == IDOK) {
            char name[TEXT_BUFFER_SIZE];
            name[GetDlgItemTextA(dialog, IDC_NEW_SUBDIR, name, MAX_PATH)] = 0;
            if (name[0]) {
                if (!CreateSubdirectory(extractDir, name)) {
                    ShowMessage(STR_ERROR_IN_DIRECTORY, STR_ERROR_CAPTION, MB_ICONERROR, dialog);
                    return FALSE;
                }
                // The name goes in as typed; a path that would not fit leaves the
                // destination at the parent folder.
                int dirLength = TextLength(extractDir);
                if (dirLength + TextLength(name) + 1 < MAX_PATH)
                    StringFromBuffer(extractDir + dirLength, name, MAX_PATH);
            }
            EndDialog(dialog, IDOK);
        } else if (id == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
        }
    }
    return FALSE;
}

// ==== FILEEXIST: overwrite an existing file? =================================

INT_PTR CALLBACK FileExistDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        CenterWindow(dialog);
        char text[sizeof currentEntryName + 32];  // name, then the 30-character question
        char *end = StringFromBuffer(text, currentEntryName, sizeof currentEntryName - 1);
        StringFromBuffer(end, STR_ALREADY_EXISTS, 31);
        SendItem(dialog, IDC_EXIST_TEXT, WM_SETTEXT, 0, (LPARAM)text);
    } else if (message == WM_COMMAND) {
        WORD id = LOWORD(wParam);
        if (id == IDOK || id == IDCANCEL) {  // "&Yes"; "&No", Esc or the close box
            BYTE yes = id == IDOK;
            if (SendItem(dialog, IDC_DONT_ASK, BM_GETCHECK, 0, 0) == BST_CHECKED) {
                // The answer becomes the overwrite mode for the rest of this run
                // and later ones; the main dialog's radio buttons follow, once
                // it is there (not yet during an automatic start).
                overwriteMode = yes ? OVERWRITE_ALWAYS : OVERWRITE_NEVER;
                if (mainWindow) {
                    SetCheck(mainWindow, IDC_CONFIRM_OVERWRITE, BST_UNCHECKED);
                    CheckOverwriteButton(mainWindow, overwriteMode);
                }
                overwriteAnswer = yes;
            } else if (overwriteMode != OVERWRITE_ALWAYS) {
                overwriteAnswer = yes;
            }
            EndDialog(dialog, id);
            return TRUE;
        }
    }
    return FALSE;
}

// ==== PASSWD: the password of an encrypted entry =============================

INT_PTR CALLBACK PasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        CenterWindow(dialog);
        SetFocus(GetDlgItem(dialog, IDC_PASSWORD));
    } else if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        // Esc (IDCANCEL) is deliberately ignored: the dialog has no way out but OK.
        passwordLength = (LONG)GetDlgItemTextA(dialog, IDC_PASSWORD, passwordText,
                                               PASSWORD_BUFFER_SIZE);
        passwordText[passwordLength] = 0;
        EndDialog(dialog, IDOK);
    }
    return FALSE;
}
