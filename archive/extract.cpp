// Archive walker and extraction pass. PLACEHOLDER.
#include "archive/extract.h"

LocalHeader localHeader;
HANDLE outputHandle = 0;
char currentPassword[PASSWORD_BUFFER_SIZE];
char currentEntryName[256];

bool ReadLocalHeader() { return false; }
bool ExtractEntries(HWND, int, bool) { return false; }
void CopyStoredEntry() {}
