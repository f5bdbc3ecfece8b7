// The folder browser behind the main dialog's "..." button, with its added
// "New..." button.
#pragma once
#include "platform/win32.h"

// Set anew by every browse.
extern BROWSEINFOA browseInfo;            // the browser's parameters
extern char browseDisplayName[MAX_PATH];  // display name of the choice; scratch room
extern LPITEMIDLIST browseResult;         // item identifier list the browser returned
extern bool newFolderRequested;           // the user left with "New..."
extern HWND newFolderButton;              // the added "New..." button

// True only when the user left the browser with "New..." and the chosen folder's
// path was written into `buffer` (MAX_PATH characters).
bool BrowseForDestination(HWND owner, char *buffer);
int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM lParam, LPARAM data);
void DecorateBrowseDialog(HWND window);
LRESULT CALLBACK BrowseWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
