// Control ids of the dialog templates; shared by sfx.rc and the dialog code.
#pragma once

// MAINDIALOG
#define IDC_DIR_LABEL 100
#define IDC_DIR_EDIT 101
#define IDC_SEPARATOR 102
#define IDC_ABOUT 103
#define IDC_FILE_LIST 301
#define IDC_PLAIN_LIST 302
#define IDC_OVERWRITE 501
#define IDC_DONT_OVERWRITE 502
#define IDC_CONFIRM_OVERWRITE 503
#define IDC_EXISTING_LABEL 509
#define IDC_BROWSE 775
#define IDC_RUN_CHECK 1007

// DLGNEW
#define IDC_CURRENT_DIR 3001
#define IDC_NEW_SUBDIR 3002

// FILEEXIST
#define IDC_EXIST_TEXT 101
#define IDC_DONT_ASK 401

// PASSWD
#define IDC_PASSWORD 101

// The button the folder browser gains
#define IDC_NEW_FOLDER 1277
