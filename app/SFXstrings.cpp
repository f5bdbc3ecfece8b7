// SFXstrings: the texts of the program (see SFXstrings.h).
#include "app/SFXstrings.h"

const char STR_PROGRAM_NAME[] = "Tarvex Self-Extractor";
const char STR_ERROR_CAPTION[] = "Error..";
const char STR_ERROR_READING[] = "Error reading archive.";
const char STR_INCORRECT_SIZE[] = "Incorrect file size, please try to download this file again.";
const char STR_CANNOT_CLOSE[] = "Cannot close the file";
const char STR_INVALID_FILENAME[] = "Invalid filename.";
const char STR_ERROR_IN_DIRECTORY[] = "Error in directory ..";
const char STR_CANNOT_OPEN[] = "Cannot open file ..";
const char STR_DEVICE_NAMES[] = "CON\0PRN\0AUX\0NUL\0COM#\0LPT#\0CONIN$\0CONOUT$\0";
const char STR_TEMP_SUFFIX[] = "~tvx";
const char STR_BAD_NAME_CHARS[] = ":*?<>\"|";
const char STR_UNKNOWN_METHOD[] = "Unknown compression type";
const char STR_ALL_EXTRACTED[] = "All files have been extracted.";
const char STR_FINISHED[] = "Finished.";
const char STR_NOT_EXTRACTED[] = "The selected file(s) couldn't get extracted.";
const char STR_ALREADY_EXISTS[] = "...already exists, overwrite ?";
const char STR_ABOUT_CAPTION[] = "About Tarvex Self-Extractor...";
const char STR_ABOUT_TEXT[] =
    "Tarvex Self-Extractor 1.5\n\nUnpacks the ZIP archive that travels inside this program.\n\n"
    "Tarvex team - support@tarvex.example";
const char STR_BROWSE_TITLE[] = "Please choose the destination directory";
const char STR_BROWSE_CAPTION[] = "Extract to : ";
const char STR_NEW_FOLDER[] = "New...";
const char STR_RUN_CAPTION[] = "After extraction, >< : ";
const char STR_ACTION_INSTALL[] = "install";
const char STR_ACTION_RUN[] = "run";

const char STR_SETUP_EXE[] = "SETUP.EXE";
const char STR_INF_SUFFIX[] = ".INF";
const char STR_STATIC_CLASS[] = "Static";
const char STR_BUTTON_CLASS[] = "BUTTON";
const char STR_ALL_FILES_PATTERN[] = "*.*";
const char STR_VERB_OPEN[] = "open";
const char STR_INF_PLATFORM1[] = "rundll.exe setupx.dll,InstallHinfSection DefaultInstall 132 ";
const char STR_INF_PLATFORM2[] = "rundll32.exe setupapi.dll,InstallHinfSection DefaultInstall";
const char STR_INF_MODE[] = " 132 ";
const char STR_INF_NT_SUFFIX[] = ".ntx86";
const char STR_HKCU_LONG[] = "HKEY_CURRENT_USER";
const char STR_HKCU_SHORT[] = "HKCU";
const char STR_HKLM_LONG[] = "HKEY_LOCAL_MACHINE";
const char STR_HKLM_SHORT[] = "HKLM";
const char STR_HKU_LONG[] = "HKEY_USERS";
const char STR_HKU_SHORT[] = "HKU";

const char STR_RES_MAINDIALOG[] = "MainDialog";
const char STR_RES_DLGNEW[] = "DLGNEW";
const char STR_RES_FILEEXIST[] = "FileExist";
const char STR_RES_PASSWD[] = "PASSWD";
const char STR_RES_ICON[] = "MnIcon";
