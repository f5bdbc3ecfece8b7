// SFXstrings: every message, caption and fixed text of the program, byte for byte.
// No other module spells a text the user can see; they all take it from here.
#pragma once

// Captions and message texts.
extern const char STR_PROGRAM_NAME[];        // "Tarvex Self-Extractor": the preset caption
extern const char STR_ERROR_CAPTION[];       // "Error.."
extern const char STR_ERROR_READING[];       // "Error reading archive."
extern const char STR_INCORRECT_SIZE[];      // "Incorrect file size, please try to ..."
extern const char STR_CANNOT_CLOSE[];        // "Cannot close the file"
extern const char STR_INVALID_FILENAME[];    // "Invalid filename."
extern const char STR_ERROR_IN_DIRECTORY[];  // "Error in directory .."
extern const char STR_CANNOT_OPEN[];         // "Cannot open file .."
// Not messages: the names Windows takes for devices in any folder, each ended
// by a NUL ("#" stands for a digit), and the suffix that names the temporary file
// replacing an existing one beside it.
extern const char STR_DEVICE_NAMES[];
extern const char STR_TEMP_SUFFIX[];
// The printable characters an entry name may not hold.
extern const char STR_BAD_NAME_CHARS[];
extern const char STR_UNKNOWN_METHOD[];      // "Unknown compression type"
extern const char STR_ALL_EXTRACTED[];       // "All files have been extracted."
extern const char STR_FINISHED[];            // "Finished."
extern const char STR_NOT_EXTRACTED[];       // "The selected file(s) couldn't get extracted."
extern const char STR_ALREADY_EXISTS[];      // "...already exists, overwrite ?"
extern const char STR_ABOUT_CAPTION[];       // "About Tarvex Self-Extractor..."
extern const char STR_ABOUT_TEXT[];          // the About box text
extern const char STR_BROWSE_TITLE[];        // "Please choose the destination directory"
extern const char STR_BROWSE_CAPTION[];      // "Extract to : "
extern const char STR_NEW_FOLDER[];          // "New..."
extern const char STR_RUN_CAPTION[];         // "After extraction, >< : "
extern const char STR_ACTION_INSTALL[];      // "install"
extern const char STR_ACTION_RUN[];          // "run"

// The destination token: as the default directory it names the temporary
// directory; in the command it stands for the destination with its backslash.
#define DIR_TOKEN "><"

// Fixed texts the program gives to the platform.
extern const char STR_SETUP_EXE[];           // "SETUP.EXE", compared after upper-casing
extern const char STR_INF_SUFFIX[];          // ".INF"
extern const char STR_STATIC_CLASS[];        // "Static"
extern const char STR_BUTTON_CLASS[];        // "BUTTON"
extern const char STR_ALL_FILES_PATTERN[];   // "*.*"
extern const char STR_VERB_OPEN[];           // "open"
extern const char STR_INF_PLATFORM1[];       // "rundll.exe setupx.dll,InstallHinfSection DefaultInstall 132 "
extern const char STR_INF_PLATFORM2[];       // "rundll32.exe setupapi.dll,InstallHinfSection DefaultInstall"
extern const char STR_INF_MODE[];            // " 132 "
extern const char STR_INF_NT_SUFFIX[];       // ".ntx86"
extern const char STR_HKCU_LONG[];           // "HKEY_CURRENT_USER"
extern const char STR_HKCU_SHORT[];          // "HKCU"
extern const char STR_HKLM_LONG[];           // "HKEY_LOCAL_MACHINE"
extern const char STR_HKLM_SHORT[];          // "HKLM"
extern const char STR_HKU_LONG[];            // "HKEY_USERS"
extern const char STR_HKU_SHORT[];           // "HKU"

// Resource names.
extern const char STR_RES_MAINDIALOG[];      // "MainDialog"
extern const char STR_RES_DLGNEW[];          // "DLGNEW"
extern const char STR_RES_FILEEXIST[];       // "FileExist"
extern const char STR_RES_PASSWD[];          // "PASSWD"
extern const char STR_RES_ICON[];            // "MnIcon"
