// Folder browser. PLACEHOLDER.
#include "ui/browse.h"

bool BrowseForDestination(HWND, char *) { return false; }
int CALLBACK BrowseCallback(HWND, UINT, LPARAM, LPARAM) { return 0; }
void DecorateBrowseDialog(HWND) {}
LRESULT CALLBACK BrowseWindowProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
