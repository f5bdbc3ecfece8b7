// SFXgbls: the shared run state that start-up and the configuration header produce,
// the destination directory, the position of the own file and the one operation
// that moves it.
//
// The values read from the header are written only before the main window opens
// (module start-up, the open of the own file, ReadConfiguration) and only read
// afterwards; recordPosition moves with every SeekArchive, extractDir belongs
// to the main dialog and the passes (see there). The other shared values are
// declared by the modules that own them:
//   overwriteMode, mainWindow, listSearchIndex, overwriteAnswer,
//   currentEntryName, passwordText, passwordLength             ui/Dialog.h
//   localHeader, outputHandle, currentPassword                 archive/extract.h
//   remainingCompressed                                        archive/entryio.h
//   entryCrc, crcTable                                         codec/crc32.h
//   key0, key1, key2                                           codec/crypt.h
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
extern BYTE initialOverwriteMode;  // the header's overwrite mode, OVERWRITE_*
extern bool checkArchiveSize;
extern bool autoStart;
extern bool showFinishedMessage;
extern bool archiveSizeOk;

// The destination directory. The main dialog fills it from its edit, the
// default directory or the current directory, the folder browser and DLGNEW.
// Its trailing backslash comes and goes: the extraction pass removes one before
// it joins a name to it; the command's "><" and DLGNEW's display add one, and
// the edit then shows it.
extern char extractDir[TEXT_BUFFER_SIZE];

// Positions the own file (32-bit signed distance, no high part), stores the new
// absolute position in recordPosition and returns it; 0xFFFFFFFF on failure.
DWORD SeekArchive(LONG distance, DWORD moveMethod);

// Gives the values above that do not start at zero (showRunCheckbox,
// selectFiles, checkArchiveSize, showFinishedMessage) their start values. Called first thing by module start-up.
void SetStartValues();
