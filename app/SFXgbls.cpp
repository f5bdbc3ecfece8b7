// SFXgbls: the shared run state of start-up and the configuration header and the
// destination (see SFXgbls.h), and SeekArchive, the one way the own file is positioned.
#include "app/SFXgbls.h"

HANDLE archiveHandle = 0;
LONG recordPosition = 0;
LONG archiveStart = 0;

char *captionText = 0;
char *defaultDirText = 0;
char *commandText = 0;
char *messageText = 0;

bool hasDefaultDir = false;
bool hasCommand = false;
bool hasStartupMessage = false;
// The values that start non-zero receive their start values in
// SetStartValues: the stub's image has no initialised writable data (every
// such section costs a file block of the few the stub has).
bool showRunCheckbox = false;
bool selectFiles = false;
bool lockOverwriteMode = false;
BYTE initialOverwriteMode = OVERWRITE_CONFIRM;  // the preset; 0, so no start value is needed
bool checkArchiveSize = false;
bool autoStart = false;
bool showFinishedMessage = false;
bool archiveSizeOk = false;
char extractDir[TEXT_BUFFER_SIZE];

void SetStartValues() {
    showRunCheckbox = true;
    selectFiles = true;
    checkArchiveSize = true;
    showFinishedMessage = true;
}

DWORD SeekArchive(LONG distance, DWORD moveMethod) {
    DWORD position = SetFilePointer(archiveHandle, distance, 0, moveMethod);
    recordPosition = (LONG)position;
    return position;
}
