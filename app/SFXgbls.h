// SFXgbls: the shared run state that start-up and the configuration header produce,
// the position of the own file and the one operation that moves it.
//
// Written only before the main window opens (module start-up, the open of the own
// file, the CRC table build, ReadConfiguration); read afterwards. The other shared
// values are declared by the modules that own them:
//   extractDir, overwriteMode, mainWindow, listSearchIndex     ui/Dialog.h
//   overwriteAnswer, passwordText, passwordLength              ui/Dialog.h
//   localHeader, outputHandle, currentPassword,
//   currentEntryName                                           archive/extract.h
//   entryCrc, crcTable                                         codec/crc32.h
//   key0, key1, key2                                           codec/crypt.h
//   remainingCompressed                                        codec/SFXinflt.h
#pragma once
#include "app/sfxformat.h"
#include "platform/win32.h"

// Room of each text buffer: MAX_PATH characters and the NUL.
#define TEXT_BUFFER_SIZE (MAX_PATH + 1)

extern HANDLE archiveHandle;   // the program's own file, open for reading all run long
extern LONG recordPosition;    // what the last SeekArchive produced
extern LONG archiveStart;      // first byte of the ZIP data

extern char *captionText;      // 261 bytes each, allocated at module start-up
extern char *defaultDirText;
extern char *commandText;
extern char *messageText;

extern bool hasDefaultDir;
extern bool hasCommand;
extern bool hasStartupMessage;
extern bool showRunCheckbox;
extern bool selectFiles;
extern bool lockOverwriteMode;
extern int overwriteButton;    // the initial overwrite mode, OVERWRITE_*
extern bool checkArchiveSize;
extern bool autoStart;
extern bool showFinishedMessage;
extern bool archiveSizeOk;

// Positions the own file (32-bit signed distance, no high part), stores the new
// absolute position in recordPosition and returns it; 0xFFFFFFFF on failure.
DWORD SeekArchive(LONG distance, DWORD moveMethod);

// Gives the values above that do not start at zero (showRunCheckbox,
// selectFiles, checkArchiveSize, showFinishedMessage) their start values. Called first thing by module start-up.
void SetStartValues();
