// The archive walker and the extraction pass.
//
// Owns: localHeader, outputHandle, currentPassword, currentEntryName and the
// local-header signature value of the walk. Writes besides: recordPosition
// (through SeekArchive), remainingCompressed, entryCrc, listSearchIndex,
// extractDir (one trailing backslash removed), the file list's items and
// selection. Called by the main dialog: a listing pass when it opens, an
// extraction pass on Start.
//
// The ZIP data is read strictly front to back by its local headers, starting at
// archiveStart; the central directory is never read. Every length in a header
// is distrusted: names are bounded by the name buffer, positions by 2 GiB, and
// every step of the walk moves forward, so a damaged archive ends the walk
// instead of looping or writing out of bounds.
#include "archive/extract.h"

#include "app/SFX.h"
#include "app/SFXgbls.h"
#include "app/SFXstrings.h"
#include "app/sfxformat.h"
#include "archive/SFXmisc.h"
#include "archive/zipformat.h"
#include "codec/SFXinflt.h"
#include "codec/crc32.h"
#include "codec/crypt.h"
#include "platform/memory.h"
#include "platform/opaque.h"
#include "ui/Dialog.h"

LocalHeader localHeader;
HANDLE outputHandle = 0;
char currentPassword[PASSWORD_BUFFER_SIZE];
char currentEntryName[256];

// The local-header signature, "PK" 03 04. The stub's image must not hold those
// four bytes anywhere (a ZIP reader scanning the self-extractor would take them
// for a record), so the value is completed when a pass starts: the image only
// holds 00 4B 03 04, passed through OpaqueValue so that the compiler cannot
// fold the completed value back into the code. A data descriptor's signature,
// "PK" 07 08, is this value plus 0x04040000 and is never spelled out either.
DWORD localSignature = 0;
#define DESCRIPTOR_DISTANCE 0x04040000u
// Some writers put 00 00 00 50 where the signature belongs; read as a header too.
#define ALTERNATE_SIGNATURE 0x50000000u

#define COPY_CHUNK 32768
// Positions are signed 32-bit: the own file stays below 2 GiB.
#define LAST_POSITION 0x7FFFFFFFu
// A path buffer holds extractDir, "\" and the longest name, with the NUL.
#define PATH_BUFFER_SIZE (TEXT_BUFFER_SIZE + 1 + MAX_ENTRY_NAME + 1)

static void ErrorBox(const char *text, const char *caption) {
    MessageBoxA(0, text, caption, MB_ICONERROR);
}

// ---- header reader ------------------------------------------------------------

bool ReadLocalHeader() {
    for (;;) {
        DWORD got = 0;
        localHeader.signature = 0;
        ReadFile(archiveHandle, &localHeader, LOCAL_HEADER_SIZE, &got, 0);
        // A header cut short by the end of the file ends the walk: the fields
        // after the bytes read would be those of the previous entry.
        if (got != LOCAL_HEADER_SIZE) break;
        DWORD signature = localHeader.signature;
        if (signature == localSignature || signature == ALTERNATE_SIGNATURE) {
            remainingCompressed = (LONG)localHeader.compressedSize;
            return true;
        }
        if (signature - localSignature != DESCRIPTOR_DISTANCE) break;
        // A data descriptor: skip its 16 bytes, values unused (the local header
        // must hold the real CRC and size). Any number in a row is skipped.
        DWORD next = (DWORD)recordPosition + DESCRIPTOR_SIZE;
        if (next > LAST_POSITION || SeekArchive((LONG)next, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
            break;
    }
    remainingCompressed = 0;
    return false;
}

// ---- path safety --------------------------------------------------------------

// True when an entry name stays below the destination and names one file.
// Refused: a leading separator (absolute or UNC path), any ":" (a drive letter
// or an alternate data stream), any component made of dots and spaces that
// holds two dots or more: "..", and the forms like "..." or ".. " that Windows
// trims to it; and "*" or "?", which no file name holds and which the existence
// test would take for a pattern matching other files, so that the entry would
// pass for kept without ever being written.
static bool NameStaysInside(const char *name) {
    if (*name == '\\' || *name == '/') return false;
    int dots = 0;
    bool onlyDots = true;
    for (;; name++) {
        char c = *name;
        if (c == 0 || c == '\\' || c == '/') {
            if (onlyDots && dots >= 2) return false;
            if (c == 0) return true;
            dots = 0;
            onlyDots = true;
        } else if (c == ':' || c == '*' || c == '?') {
            return false;
        } else if (c == '.') {
            dots++;
        } else if (c != ' ') {
            onlyDots = false;
        }
    }
}

// ---- data phase ---------------------------------------------------------------

void CopyStoredEntry() {
    LONG size = remainingCompressed;
    if (size > COPY_CHUNK) size = COPY_CHUNK;
    if (size < 0) size = 0;
    BYTE *buffer = (BYTE *)MemAlloc((DWORD)size + 2);
    if (!buffer) return;  // absorbed: the entry fails its CRC comparison
    while (remainingCompressed > 0) {
        DWORD want = remainingCompressed > COPY_CHUNK ? COPY_CHUNK : (DWORD)remainingCompressed;
        DWORD got = 0;
        ReadFile(archiveHandle, buffer, want, &got, 0);
        if (got == 0) {
            remainingCompressed = 0;
            break;
        }
        if (got > want) got = want;
        remainingCompressed -= (LONG)got;
        if (localHeader.flags & ZIP_FLAG_ENCRYPTED) DecryptBuffer(buffer, got);
        DWORD written = 0;
        WriteFile(outputHandle, buffer, got, &written, 0);
        if (written > got) written = got;
        UpdateCrcBuffer(buffer, (LONG)written, entryCrc);
    }
    MemFree(buffer);
}

// ---- the extraction of one entry ----------------------------------------------

// What the walk does after an entry of the extraction pass.
enum EntryOutcome { NEXT_ENTRY, STOP_WALK, END_PASS };

// Password phase: true when the entry needs no password, or when the held
// password or one of three typed ones passes the entry's check. Leaves the
// archive at the entry's compressed data and the keys ready for it.
static bool PasswordPhase() {
    if (!(localHeader.flags & ZIP_FLAG_ENCRYPTED)) return true;
    remainingCompressed -= ENCRYPTION_HEADER_SIZE;
    // Bytes 0-11: work area; bytes 12-23: the header as read, so every attempt
    // decrypts from the original bytes.
    BYTE *header = (BYTE *)MemAlloc(2 * ENCRYPTION_HEADER_SIZE);
    if (!header) return false;  // absorbed: the phase counts as failed
    DWORD got = 0;
    ReadFile(archiveHandle, header, ENCRYPTION_HEADER_SIZE, &got, 0);
    for (int i = 0; i < ENCRYPTION_HEADER_SIZE; i++) {
        if ((DWORD)i >= got) header[i] = 0;
        header[ENCRYPTION_HEADER_SIZE + i] = header[i];
    }
    bool proceed = false;
    if (currentPassword[0])
        proceed = CheckEncryptionHeader(header, ENCRYPTION_HEADER_SIZE, localHeader.flags,
                                        localHeader.crc32, localHeader.modTime, currentPassword);
    for (int tries = 0; !proceed && tries < 3; tries++) {
        DialogBoxParamA(programInstance, STR_RES_PASSWD, 0, PasswordDialogProc, 0);
        LONG length = passwordLength;
        if (length > PASSWORD_BUFFER_SIZE - 1) length = PASSWORD_BUFFER_SIZE - 1;
        if (length < 0) length = 0;
        StringFromBuffer(currentPassword, passwordText, length);
        proceed = CheckEncryptionHeader(header, ENCRYPTION_HEADER_SIZE, localHeader.flags,
                                        localHeader.crc32, localHeader.modTime, currentPassword);
    }
    MemFree(header);
    return proceed;
}

// Deselects the current entry's item: the entry is done.
static void MarkDone(HWND list) {
    SendMessageA(list, LB_SETSEL, FALSE, (LPARAM)listSearchIndex);
}

// Everything after the password phase for one selected entry. `path` has room
// for PATH_BUFFER_SIZE bytes, `dir` as well.
static EntryOutcome ExtractEntry(HWND list, const char *name, char *path, char *dir) {
    // Destination: extractDir without its trailing backslash, "\", the name.
    AppendBackslash(extractDir);
    StripBackslash(extractDir);
    int length = 0;
    while (extractDir[length] && length < TEXT_BUFFER_SIZE - 1) {
        path[length] = extractDir[length];
        length++;
    }
    path[length++] = '\\';
    char *entryPart = path + length;
    for (int i = 0; name[i]; i++) path[length++] = name[i];
    path[length] = 0;

    // The existence test turns "/" into "\" in place (unless the path ends in
    // "\"); from here on the path is used in that form.
    bool exists = PathExists(path);

    // Nothing is created outside the destination, and nothing longer than the
    // platform's paths: such an entry is reported like a file that cannot be
    // created and stays selected.
    if (length >= MAX_PATH || !NameStaysInside(entryPart)) {
        ErrorBox(path, STR_CANNOT_OPEN);
        return NEXT_ENTRY;
    }

    if (exists) {
        if (overwriteMode == OVERWRITE_NEVER) {
            MarkDone(list);
            return NEXT_ENTRY;
        }
        if (overwriteMode == OVERWRITE_CONFIRM) {
            FileNamePart(path, currentEntryName);
            DialogBoxParamA(programInstance, STR_RES_FILEEXIST, 0, FileExistDialogProc, 0);
            if (overwriteAnswer == 0) {
                MarkDone(list);
                return NEXT_ENTRY;
            }
        }
    } else {
        DirectoryPart(path, dir);
        CreateDirectoryTree(dir);
        if (!PathExists(dir)) {
            ErrorBox(dir, STR_ERROR_IN_DIRECTORY);
            return STOP_WALK;
        }
    }

    outputHandle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, 0, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, 0);
    if (outputHandle == INVALID_HANDLE_VALUE) {
        // A directory entry, or a file entry naming an existing directory: the
        // directory is what was wanted.
        DWORD attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            MarkDone(list);
        else
            ErrorBox(path, STR_CANNOT_OPEN);
        return NEXT_ENTRY;
    }

    // Data phase. One pending message per file keeps the window alive.
    MSG message;
    if (PeekMessageA(&message, 0, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    entryCrc = 0xFFFFFFFF;
    remainingCompressed = (LONG)localHeader.compressedSize;
    if (localHeader.flags & ZIP_FLAG_ENCRYPTED) remainingCompressed -= ENCRYPTION_HEADER_SIZE;
    EntryOutcome outcome = NEXT_ENTRY;
    if (localHeader.method == METHOD_STORED) {
        CopyStoredEntry();
    } else if (localHeader.method == METHOD_DEFLATED) {
        // A deflate stream is never empty. A deflated entry without compressed
        // data is a streamed one whose sizes and CRC went into a data descriptor
        // only: its empty output must not pass for the file, so the register is
        // set to a value that can never match.
        if (remainingCompressed > 0)
            InflateEntry();
        else
            entryCrc = localHeader.crc32;
    } else {
        ErrorBox(STR_UNKNOWN_METHOD, STR_ERROR_CAPTION);
        outcome = END_PASS;
    }
    if (outcome == NEXT_ENTRY && (entryCrc ^ 0xFFFFFFFF) == localHeader.crc32) MarkDone(list);

    // The file keeps what was written, CRC mismatch or not, with the entry's time.
    SetFileTimeFromDos(outputHandle, localHeader.modTime | ((DWORD)localHeader.modDate << 16));
    if (!CloseHandle(outputHandle)) ErrorBox(path, STR_CANNOT_CLOSE);
    outputHandle = 0;
    return outcome;
}

// ---- the walk -----------------------------------------------------------------

bool ExtractEntries(HWND dialog, int listControlId, bool listOnly) {
    localSignature = OpaqueValue(0x04034B00) | 0x50;  // completes "PK" 03 04, see above
    listSearchIndex = -1;
    if (SeekArchive(archiveStart, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
        ErrorBox(STR_ERROR_READING, STR_ERROR_CAPTION);
        return false;
    }
    HWND list = GetDlgItem(dialog, listControlId);
    // One block for the pass: the name (with a terminator after the longest
    // one), the destination path and its directory part.
    char *name = (char *)MemAlloc(MAX_ENTRY_NAME + 1 + 2 * PATH_BUFFER_SIZE);
    if (!name) return false;
    char *path = name + MAX_ENTRY_NAME + 1;
    char *dir = path + PATH_BUFFER_SIZE;
    if (listOnly) SendMessageA(list, LB_RESETCONTENT, 0, 0);

    bool proceed = false;
    bool result = false;
    bool closing = true;
    while (ReadLocalHeader()) {
        LONG position = recordPosition;
        DWORD nameLength = localHeader.nameLength;
        DWORD dataStart = (DWORD)position + LOCAL_HEADER_SIZE + nameLength + localHeader.extraLength;
        // The next header lies after the data; a size that would take the walk
        // past 2 GiB (or, read as signed, backwards) ends it.
        if ((DWORD)position > LAST_POSITION || dataStart > LAST_POSITION ||
            localHeader.compressedSize > LAST_POSITION - dataStart)
            break;
        DWORD next = dataStart + localHeader.compressedSize;

        if (nameLength > MAX_ENTRY_NAME) {
            ErrorBox(STR_INVALID_FILENAME, STR_ERROR_CAPTION);
            closing = false;
            break;
        }
        DWORD got = 0;
        ReadFile(archiveHandle, name, nameLength, &got, 0);
        if (got != nameLength) break;  // the file ends inside the name
        name[nameLength] = 0;          // the name is used up to its first NUL
        if (name[0] == 0) {
            ErrorBox(STR_INVALID_FILENAME, STR_ERROR_CAPTION);
            closing = false;
            break;
        }
        if (localHeader.extraLength != 0) SeekArchive((LONG)dataStart, FILE_BEGIN);

        if (listOnly) {
            SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)name);
        } else if (IsEntrySelected(list, name)) {
            proceed = PasswordPhase();
            if (!proceed) break;
            EntryOutcome outcome = ExtractEntry(list, name, path, dir);
            if (outcome == STOP_WALK) break;
            if (outcome == END_PASS) {
                closing = false;
                break;
            }
        }
        if (SeekArchive((LONG)next, FILE_BEGIN) == INVALID_SET_FILE_POINTER) break;
    }

    if (closing) {
        if (listOnly) {
            if (SendMessageA(list, LB_GETCOUNT, 0, 0) == 0)
                ErrorBox(STR_ERROR_READING, STR_ERROR_CAPTION);
        } else if (proceed) {
            if (SendMessageA(list, LB_GETSELCOUNT, 0, 0) == 0) {
                if (!autoStart && showFinishedMessage)
                    MessageBoxA(0, STR_ALL_EXTRACTED, STR_FINISHED, MB_OK);
                result = true;
            } else {
                ErrorBox(STR_NOT_EXTRACTED, STR_ERROR_CAPTION);
            }
        }
    }
    MemFree(name);
    return result;
}
