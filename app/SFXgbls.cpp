// SFXgbls: the shared run state of start-up and the configuration header (see
// SFXgbls.h), and SeekArchive, the one way the own file is positioned.
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
bool showRunCheckbox = true;
bool selectFiles = true;
bool lockOverwriteMode = false;
int overwriteButton = 503;
bool checkArchiveSize = true;
bool autoStart = false;
bool showFinishedMessage = true;
bool archiveSizeOk = false;

DWORD SeekArchive(LONG distance, DWORD moveMethod) {
    DWORD position = SetFilePointer(archiveHandle, distance, 0, moveMethod);
    recordPosition = (LONG)position;
    return position;
}
