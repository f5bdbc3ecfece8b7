// The archive walker and the extraction pass: ExtractEntries walks the ZIP data
// by its local headers from archiveStart, either listing the entries into a list
// box or extracting the entries selected there.
#pragma once
#include "app/sfxformat.h"
#include "archive/ask.h"
#include "archive/zipformat.h"
#include "platform/win32.h"

extern LocalHeader localHeader;          // the local header last read
extern HANDLE outputHandle;              // the file being written
extern char currentPassword[PASSWORD_BUFFER_SIZE];  // password in force for the run

// Reads the local header at the file's position into localHeader, stepping
// over any data descriptors first; sets remainingCompressed to the entry's data
// after its encryption header. The read takes up to LOCAL_RECORD_READ bytes into
// `record`: the header and what follows it, the name first. Returns the bytes
// read from the header's start; 0, with remainingCompressed 0, at any other
// record or a header cut short. Valid once a pass has started (the signature
// value is completed then).
#define LOCAL_RECORD_READ (LOCAL_HEADER_SIZE + MAX_ENTRY_NAME)
DWORD ReadLocalHeader(BYTE *record);
// One pass over the archive. listOnly: fill the list `listControlId` of `dialog`
// (result always false). Otherwise extract the entries selected there into
// extractDir (app/SFXgbls.h); true when nothing is left selected at the end. The
// questions of the pass go to the window side through archive/ask.h.
bool ExtractEntries(HWND dialog, int listControlId, bool listOnly);
