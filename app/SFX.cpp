// SFX: the program entry's run sequence, module start-up and shutdown, and the
// start-up message. Called by the platform entry (platform/win/entry.cpp), which
// ends the process with exit code 0 afterwards.
//
// Writes: programInstance, archiveHandle, the four text buffer pointers and
// crcTable (allocation and release only; their contents belong to config.cpp and
// codec/crc32.cpp). Every way out of SfxRun passes through ModuleShutdown.
#include "app/SFX.h"
#include "app/SFXgbls.h"
#include "app/SFXstrings.h"
#include "app/config.h"
#include "app/message.h"
#include "archive/SFXmisc.h"
#include "codec/crc32.h"
#include "platform/memory.h"
#include "ui/Dialog.h"

HINSTANCE programInstance = 0;

// The CRC table block is 4 bytes larger than the entries it holds.
#define CRC_BLOCK_SIZE (CRC_TABLE_ENTRIES * 4 + 4)

static char **const textBuffers[] = {&captionText, &defaultDirText, &commandText, &messageText};

bool ModuleStartup() {
    SetStartValues();
    crcTable = (DWORD *)MemAlloc(CRC_BLOCK_SIZE);
    if (!crcTable) return false;
    for (int b = 0; b < 4; b++) {
        char *text = (char *)MemAlloc(TEXT_BUFFER_SIZE);
        *textBuffers[b] = text;
        if (!text) return false;
        // All zero: every text stays terminated, whatever a short read leaves.
        for (int i = 0; i < TEXT_BUFFER_SIZE; i++) text[i] = 0;
    }
    StringFromBuffer(captionText, STR_PROGRAM_NAME, MAX_PATH);
    return true;
}

void ModuleShutdown() {
    for (int b = 0; b < 4; b++) {
        MemFree(*textBuffers[b]);
        *textBuffers[b] = 0;
    }
    if (archiveHandle && archiveHandle != INVALID_HANDLE_VALUE && !CloseHandle(archiveHandle))
        ShowMessage(STR_CANNOT_CLOSE, STR_ERROR_CAPTION, MB_ICONERROR);
    archiveHandle = 0;
    MemFree(crcTable);
    crcTable = 0;
}

// A first byte below MESSAGE_STYLE_LIMIT is a style code, not text
// (app/sfxformat.h). Cancel or No refuses the program.
bool ShowStartupMessage() {
    BYTE code = (BYTE)messageText[0];
    UINT style = code == MESSAGE_STYLE_OK_CANCEL ? MB_OKCANCEL | MB_ICONINFORMATION
               : code == MESSAGE_STYLE_YES_NO    ? MB_YESNO | MB_ICONQUESTION
                                                 : MB_OK;
    if (code < MESSAGE_STYLE_LIMIT) {
        // Moves the rest forward with its NUL; the buffer's tail is zero, so the
        // copy ends inside it even when the code byte was 0.
        int i = 0;
        while ((messageText[i] = messageText[i + 1]) != 0) i++;
    }
    int answer = ShowMessage(messageText, captionText, style);
    return style == MB_OK || (answer != IDCANCEL && answer != IDNO);
}

void SfxRun() {
    // Without its buffers the program can show nothing sensible: end quietly.
    if (ModuleStartup()) {
        programInstance = GetModuleHandleA(0);
        // The running module's path, not the command line, so that a renamed
        // copy still finds itself.
        char path[TEXT_BUFFER_SIZE + 1];
        path[TEXT_BUFFER_SIZE] = 0;  // old systems leave a cut name unterminated
        GetModuleFileNameA(0, path, TEXT_BUFFER_SIZE);
        archiveHandle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, 0);
        if (archiveHandle == INVALID_HANDLE_VALUE) {
            ShowMessage(path, STR_ERROR_READING, MB_ICONERROR);
        } else {
            MakeCrcTable();
            if (ReadConfiguration() && (!hasStartupMessage || ShowStartupMessage()))
                DialogBoxParamA(programInstance, STR_RES_MAINDIALOG, 0, MainDialogProc, 0);
        }
    }
    ModuleShutdown();
}
