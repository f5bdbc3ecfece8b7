// What the extraction pass asks of the window side: whether an entry is still
// to be extracted, whether an existing file may be written over, a password,
// and the mark of an entry done. Declared here, below the dialogs, so that the
// pass never reaches into them; the main dialog's module (ui/Dialog.cpp)
// answers. The list box `list` is the pass's work list: its selection is the
// set of entries still to extract.
#pragma once
#include "platform/win32.h"

// Room of a password: 79 characters and the NUL.
#define PASSWORD_BUFFER_SIZE 80

// An extraction pass begins: the next entry's item is searched from the top.
void RestartEntrySearch();
// Finds the entry's item in `list` and tells whether it is selected.
bool IsEntrySelected(HWND list, const char *name);
// Deselects the item IsEntrySelected found last: the entry is done.
void MarkEntryDone(HWND list);
// The overwrite policy for the existing file `path`: true when it is to be
// written over (the user may be asked).
bool OverwriteWanted(const char *path);
// Asks for the password of an encrypted entry and puts what was typed, at most
// PASSWORD_BUFFER_SIZE - 1 characters, into `password`.
void AskPassword(char *password);
