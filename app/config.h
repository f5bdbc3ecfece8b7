// The configuration header that the builder places at HEADER_OFFSET, the
// completeness check of the download, and the default destination.
#pragma once
#include "platform/win32.h"

// Option bits of SFXHeader.options.
#define OPT_SHOW_RUN_CHECKBOX 0x01
#define OPT_SELECT_FILES 0x02
#define OPT_LOCK_OVERWRITE_MODE 0x04
#define OPT_OVERWRITE_MODE 0x18
#define OPT_NO_SIZE_CHECK 0x20
#define OPT_AUTO_START 0x40
#define OPT_NO_FINISHED_MESSAGE 0x80

// Fixed part of the stored header; the four length-prefixed texts follow it.
#pragma pack(push, 1)
struct SFXHeader {
    char signature[3];   // "DID"
    BYTE options;
    BYTE reserved[2];
    WORD headerSize;     // whole header, from offset 0
};
#pragma pack(pop)

// Largest ZIP data tail searched for the end record: 64 KiB comment + 22 bytes.
#define MAX_TAIL_SCAN 65558

// Reads the header into the shared run state. False when the signature is wrong
// or the download is incomplete: the message has been shown and the program must
// end through its orderly exit.
bool ReadConfiguration();
// The completeness check; sets archiveSizeOk and returns it.
bool VerifyArchiveSize();
// Turns defaultDirText ("><", a registry reference or a path) into a directory.
void ResolveDefaultDir();
// True when the program's own file name starts an automatic extraction
// ("!" prefix, or SETUP.EXE in any case).
bool IsAutoStartName(const char *modulePath);
