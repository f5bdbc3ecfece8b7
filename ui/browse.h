// The folder browser behind the main dialog's "..." button, with its added
// "New..." button.
#pragma once
#include "platform/win32.h"

// True only when the user left the browser with "New..." and the chosen folder's
// path was written into `buffer` (MAX_PATH characters).
bool BrowseForDestination(HWND owner, char *buffer);
int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM lParam, LPARAM data);
void DecorateBrowseDialog(HWND window);
LRESULT CALLBACK BrowseWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
