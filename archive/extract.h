// The archive walker and the extraction pass: ExtractEntries walks the ZIP data
// by its local headers from archiveStart, either listing the entries into a list
// box or extracting the entries selected there.
#pragma once
#include "platform/win32.h"

#pragma pack(push, 1)
// The 30-byte ZIP local file header, as stored (little-endian).
struct LocalHeader {
    DWORD signature;
    WORD versionNeeded;
    WORD flags;          // bit 0 encrypted, bit 3 sizes in a data descriptor
    WORD method;         // 0 stored, 8 deflated
    WORD modTime;        // DOS time; with modDate one DOS date-time value
    WORD modDate;
    DWORD crc32;
    DWORD compressedSize;
    DWORD uncompressedSize;
    WORD nameLength;
    WORD extraLength;
};
#pragma pack(pop)

#define PASSWORD_BUFFER_SIZE 80

extern LocalHeader localHeader;          // the local header last read
extern HANDLE outputHandle;              // the file being written
extern char currentPassword[PASSWORD_BUFFER_SIZE];  // password in force for the run
extern char currentEntryName[256];       // file name asked about by FILEEXIST

bool ReadLocalHeader();
// One pass over the archive. listOnly: fill the list `listControlId` of `dialog`
// (result always false). Otherwise extract the entries selected there; true when
// nothing is left selected at the end.
bool ExtractEntries(HWND dialog, int listControlId, bool listOnly);
// Copies a stored entry's data to outputHandle, decrypting when needed.
void CopyStoredEntry();
