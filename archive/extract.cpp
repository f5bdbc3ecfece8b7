// The archive walker and the two passes over it, listing and extraction.
//
// Owns: localHeader, outputHandle, currentPassword and the walk's own state (the
// local-header signature value, the position of the next record). Writes
// besides: recordPosition (through SeekArchive), remainingCompressed, entryCrc
// (through archive/entryio), extractDir (its trailing backslash removed), the
// file list's items. Called by the main dialog: a listing pass when it opens,
// an extraction pass on Start; asks the main dialog's module what the user
// wants through archive/ask.h.
//
// The ZIP data is read strictly front to back by its local headers, starting at
// archiveStart; the central directory is never read. Every length in a header
// is distrusted: names are bounded by the name buffer, positions by 2 GiB, and
// every step of the walk moves forward, so a damaged archive ends the walk
// instead of looping or writing out of bounds.
//
// The file reads in the order of a pass: the walker (one step: the next entry's
// header and name, or the end), the steps of one entry's extraction, the two
// passes, and ExtractEntries, which starts the pass its caller asks for.
#include "archive/extract.h"

#include "app/SFXgbls.h"
#include "app/SFXstrings.h"
#include "app/message.h"
#include "archive/SFXmisc.h"
#include "archive/ask.h"
#include "archive/entryio.h"
#include "archive/zipformat.h"
#include "codec/SFXinflt.h"
#include "codec/crypt.h"
#include "platform/memory.h"
#include "platform/opaque.h"

LocalHeader localHeader;
HANDLE outputHandle = 0;
char currentPassword[PASSWORD_BUFFER_SIZE];

// ==== the walker ================================================================

// The local-header signature, "PK" 03 04. The stub's image must not hold those
// four bytes anywhere (a ZIP reader scanning the self-extractor would take them
// for a record), so the value is completed when a pass starts: the image only
// holds 00 4B 03 04, passed through OpaqueValue so that the compiler cannot
// fold the completed value back into the code. A data descriptor's signature,
// "PK" 07 08, is this value plus 0x04040000 and is never spelled out either.
static DWORD localSignature = 0;
#define DESCRIPTOR_DISTANCE 0x04040000u
// Some writers put 00 00 00 50 where the signature belongs; read as a header too.
#define ALTERNATE_SIGNATURE 0x50000000u
// Where the record after the current entry begins; archiveStart when a pass starts.
static DWORD nextRecord = 0;
// Where the current entry's data begins.
static DWORD entryData = 0;

// A path buffer holds extractDir, "\" and the longest name, with the NUL.
#define PATH_BUFFER_SIZE (TEXT_BUFFER_SIZE + 1 + MAX_ENTRY_NAME + 1)

// Positions are signed 32-bit: the own file stays below 2 GiB.
#define LAST_POSITION 0x7FFFFFFFu

// Every message of the walk and the passes but the success box: no owner
// window, an OK button and the error icon.
static void ShowError(const char *text, const char *caption) {
    ShowMessage(text, caption, MB_ICONERROR);
}

DWORD ReadLocalHeader(BYTE *record) {
    for (;;) {
        DWORD got = 0;
        localHeader.signature = 0;
        ReadFile(archiveHandle, record, LOCAL_RECORD_READ, &got, 0);
        // A header cut short by the end of the file ends the walk: the fields
        // after the bytes read would be those of the previous entry.
        if (got < LOCAL_HEADER_SIZE || got > LOCAL_RECORD_READ) break;
        for (int i = 0; i < LOCAL_HEADER_SIZE; i++) ((BYTE *)&localHeader)[i] = record[i];
        DWORD signature = localHeader.signature;
        if (signature == localSignature || signature == ALTERNATE_SIGNATURE) {
            // The countdown covers the data proper, after the encryption header
            // of an encrypted entry, which the password phase reads by itself.
            // Worked out unsigned: a size of 2 GiB or more must not overflow
            // here (the walker refuses it afterwards).
            DWORD size = localHeader.compressedSize;
            if (localHeader.flags & ZIP_FLAG_ENCRYPTED) size -= ENCRYPTION_HEADER_SIZE;
            remainingCompressed = (LONG)size;
            return got;
        }
        if (signature - localSignature != DESCRIPTOR_DISTANCE) break;
        // A data descriptor: skip it, values unused (the local header must hold
        // the real CRC and size). Any number in a row is skipped.
        DWORD next = (DWORD)recordPosition + DESCRIPTOR_SIZE;
        if (next > LAST_POSITION || SeekArchive((LONG)next, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
            break;
    }
    remainingCompressed = 0;
    return 0;
}

// What one step of the walk found.
enum WalkStep {
    WALK_ENTRY,  // an entry: its header and name read, the file at its data
    WALK_END,    // no further entry: the pass's closing step follows
    WALK_ABORT,  // "Invalid filename." shown: the pass ends at once, returning false
};

// Starts a pass at the first record. False, after "Error reading archive.",
// when the own file cannot be positioned there.
static bool StartWalk() {
    localSignature = OpaqueValue(0x04034B00) | 0x50;  // completes "PK" 03 04, see above
    nextRecord = (DWORD)archiveStart;
    if (SeekArchive(archiveStart, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
        ShowError(STR_ERROR_READING, STR_ERROR_CAPTION);
        return false;
    }
    return true;
}

// The walker step: goes to the record after the current entry and reads the
// next entry's header, and its name into `name` (MAX_ENTRY_NAME + 1 bytes,
// used up to its first NUL, with LOCAL_HEADER_SIZE bytes before it: header and
// name come in one read, the name straight to its place). The entry's data
// begins at entryData; the file is left wherever the read ended.
static WalkStep NextEntry(char *name) {
    DWORD got = 0;
    if (SeekArchive((LONG)nextRecord, FILE_BEGIN) != INVALID_SET_FILE_POINTER)
        got = ReadLocalHeader((BYTE *)name - LOCAL_HEADER_SIZE);
    if (!got) return WALK_END;
    DWORD position = (DWORD)recordPosition;
    DWORD nameLength = localHeader.nameLength;
    DWORD dataStart = position + LOCAL_HEADER_SIZE + nameLength + localHeader.extraLength;
    // The next record lies after the data; a size that would take the walk
    // past 2 GiB (or, read as signed, backwards) ends it.
    if (position > LAST_POSITION || dataStart > LAST_POSITION ||
        localHeader.compressedSize > LAST_POSITION - dataStart)
        return WALK_END;
    entryData = dataStart;
    nextRecord = dataStart + localHeader.compressedSize;

    if (nameLength > MAX_ENTRY_NAME) {
        ShowError(STR_INVALID_FILENAME, STR_ERROR_CAPTION);
        return WALK_ABORT;
    }
    if (got - LOCAL_HEADER_SIZE < nameLength) return WALK_END;  // the file ends inside the name
    name[nameLength] = 0;
    if (name[0] == 0) {
        ShowError(STR_INVALID_FILENAME, STR_ERROR_CAPTION);
        return WALK_ABORT;
    }
    return WALK_ENTRY;
}

// ==== one entry of the extraction pass ============================================

#define COPY_CHUNK 32768
// Length of STR_TEMP_SUFFIX, which names an existing file's replacement.
#define TEMP_SUFFIX_LENGTH 4
// Milliseconds between two looks at the message queue during a pass.
#define PUMP_INTERVAL 25
static DWORD lastPump = 0;

// What the walk does after an entry of the extraction pass.
// ENTRY_WRITTEN: the data phase wrote the entry and its CRC matched.
enum EntryOutcome { NEXT_ENTRY, STOP_WALK, END_PASS, ENTRY_WRITTEN };

// Password phase: true when the entry needs no password, or when the held
// password or one of three typed ones passes the entry's check. Leaves the
// archive at the entry's compressed data and the keys ready for it.
static bool PasswordPhase() {
    if (!(localHeader.flags & ZIP_FLAG_ENCRYPTED)) return true;
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
    // Try 0 is the held password, when there is one; tries 1 to 3 are typed.
    bool proceed = false;
    for (int tries = currentPassword[0] ? 0 : 1; !proceed && tries <= 3; tries++) {
        if (tries) AskPassword(currentPassword);
        proceed = CheckEncryptionHeader(header, ENCRYPTION_HEADER_SIZE, localHeader.flags,
                                        localHeader.crc32, localHeader.modTime, currentPassword);
    }
    MemFree(header);
    return proceed;
}

// True when a name component [name, end) is one that Windows takes for a
// device in any folder: CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9 (also with
// the superscript digits), CONIN$ and CONOUT$, in any case, alone or followed by an extension, spaces or dots
// ("nul.txt", "Com1.log", "con ."). No file of that name can be made: opening
// it opens the device, which also answers the existence test.
static bool IsDeviceName(const char *name, const char *end) {
    // The part before the first dot without its trailing spaces; a longer part
    // is cut, which can only refuse more.
    char base[9];
    int n = 0;
    while (name < end && *name != '.' && n < 8) base[n++] = *name++;
    while (n && base[n - 1] == ' ') n--;
    base[n] = 0;
    // The device digit: 0-9, and the code page's superscripts 1, 2 and 3 (B9,
    // B2, B3), which Windows takes for digits there.
    BYTE digit = (BYTE)base[3];
    if (n == 4 && ((BYTE)(digit - '0') <= 9 || digit == 0xB9 || (digit | 1) == 0xB3)) base[3] = '#';
    for (const char *device = STR_DEVICE_NAMES; *device; device += TextLength(device) + 1)
        if (TextEqual(base, device, true)) return true;
    return false;
}

// True when an entry name stays below the destination and names one file.
// Refused: a leading separator (absolute or UNC path), any ":" (a drive letter
// or an alternate data stream), any component made of dots and spaces that
// holds two dots or more: "..", and the forms like "..." or ".. " that Windows
// trims to it; a device name; and the characters no Windows file name holds
// (*, ?, <, >, ", | and bytes below 0x20): the existence test takes several of
// them for a pattern matching other files, so that the entry would pass for
// kept without ever being written.
static bool NameStaysInside(const char *name) {
    if (*name == '\\' || *name == '/') return false;
    int dots = 0;
    bool onlyDots = true;
    for (const char *component = name;; name++) {
        char c = *name;
        if (c == 0 || c == '\\' || c == '/') {
            if ((onlyDots && dots >= 2) || IsDeviceName(component, name)) return false;
            if (c == 0) return true;
            dots = 0;
            onlyDots = true;
            component = name + 1;
        } else if ((BYTE)c < 0x20 || FindFirstChar(STR_BAD_NAME_CHARS, c) >= 0) {
            return false;
        } else if (c == '.') {
            dots++;
        } else if (c != ' ') {
            onlyDots = false;
        }
    }
}

// Destination path and safety. `path` (PATH_BUFFER_SIZE bytes) receives
// extractDir without its trailing backslash, "\" and the name, with "/" turned
// into "\" (a directory entry's path keeps a trailing "/" as it was): that
// form is checked, created and shown. Nothing is created outside the
// destination, and nothing longer than the platform's paths: false for such an
// entry, which is reported like a file that cannot be created and stays
// selected. The existence test is made here and its answer handed on in
// `exists`; a file entry is first created as a new file, which costs no test
// at all in the usual case: then outputHandle holds it.
// The attributes of the existing file a file entry found last.
static DWORD existingAttributes = 0;

static bool DestinationPath(const char *name, char *path, bool &exists) {
    StripBackslash(extractDir);
    char *entryPart = StringFromBuffer(path, extractDir, MAX_PATH);
    *entryPart++ = '\\';
    int length = (int)(StringFromBuffer(entryPart, name, MAX_ENTRY_NAME) - path);

    // A directory entry (a name ending in a separator) may well find its
    // directory there; a file entry cannot be written where a directory is.
    char last = name[TextLength(name) - 1];
    bool fileEntry = last != '/' && last != '\\';
    if (!fileEntry) exists = PathExists(path);
    // A directory entry ending in "\" keeps any "/" it holds; every other
    // path goes on converted.
    if (last != '\\') SlashesToBackslashes(path);
    // The system trims the dots and spaces that end a name: a file entry
    // whose name ends in one would write another file than it names, or name
    // the folder it is in, and is refused.
    if (length < MAX_PATH && NameStaysInside(entryPart) &&
        (!fileEntry || (last != '.' && last != ' '))) {
        if (!fileEntry) return true;
        HANDLE created = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, 0, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, 0);
        if (created != INVALID_HANDLE_VALUE) {
            outputHandle = created;
            exists = false;
            return true;
        }
        // There already, or its directory missing: the attributes tell.
        DWORD attributes = GetFileAttributesA(path);
        existingAttributes = attributes;
        exists = attributes != INVALID_FILE_ATTRIBUTES;
        if (!(exists && (attributes & FILE_ATTRIBUTE_DIRECTORY))) return true;
    }
    ShowError(path, STR_CANNOT_OPEN);
    return false;
}

// Directories, for a path that does not exist yet: its directory and every
// missing parent (`dir` has PATH_BUFFER_SIZE bytes). False, after "Error in
// directory ..", when the directory is still missing: the walk stops.
static bool MakeDirectories(const char *path, char *dir) {
    DirectoryPart(path, dir);
    CreateDirectoryTree(dir);
    if (PathExists(dir)) return true;
    ShowError(dir, STR_ERROR_IN_DIRECTORY);
    return false;
}

// The output file `file`, as outputHandle (`path` when the entry is written
// in place, its temporary file when it replaces an existing one). Always a new
// file: a name the existence test did not find as a plain file may still be
// taken, by a link whose target is missing (outside the destination, perhaps),
// and what is there is never opened and written through. When it cannot be
// created, a directory entry finding its directory is done: the directory is
// what was wanted. Anything else is reported and stays selected.
static bool CreateOutputFile(HWND list, const char *file, const char *path) {
    outputHandle = CreateFileA(file, GENERIC_WRITE, FILE_SHARE_WRITE, 0, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, 0);
    if (outputHandle != INVALID_HANDLE_VALUE) return true;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        MarkEntryDone(list);
    else
        ShowError(path, STR_CANNOT_OPEN);
    return false;
}

// Copies a stored entry's data to outputHandle, decrypting when needed.
static void CopyStoredEntry() {
    LONG size = remainingCompressed;
    if (size > COPY_CHUNK) size = COPY_CHUNK;
    if (size < 0) size = 0;
    BYTE *buffer = (BYTE *)MemAlloc((DWORD)size + 2);
    if (!buffer) return;  // absorbed: the entry fails its CRC comparison
    DWORD got;
    while ((got = ReadEntryInput(buffer, COPY_CHUNK)) != 0 && WriteEntryOutput(buffer, got)) {
    }
    MemFree(buffer);
    EndEntryOutput(true);
}

// Data phase: the entry's data into outputHandle and entryCrc; ENTRY_WRITTEN
// when the CRC matches. END_PASS for a method the program cannot decode.
static EntryOutcome WriteEntryData() {
    // One pending message keeps the window alive, taken before a file once
    // PUMP_INTERVAL has passed since the last look: a look at the queue costs
    // more than writing a small file, so it is not made for every file.
    DWORD now = GetTickCount();
    if (now - lastPump >= PUMP_INTERVAL) {
        lastPump = now;
        MSG message;
        if (PeekMessageA(&message, 0, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    StartEntryOutput();
    // An entry without compressed data whose sizes and CRC went into a data
    // descriptor only is a streamed one: its empty output must not pass for
    // the file, so it fails. A deflate stream is never empty, so for that
    // method no compressed data is enough to tell.
    bool streamed = localHeader.compressedSize == 0 && (localHeader.flags & ZIP_FLAG_DESCRIPTOR);
    if (localHeader.method == METHOD_STORED) {
        if (streamed)
            EndEntryOutput(false);
        else
            CopyStoredEntry();
    } else if (localHeader.method == METHOD_DEFLATED) {
        if (remainingCompressed > 0)
            InflateEntry();
        else
            EndEntryOutput(false);
    } else {
        ShowError(STR_UNKNOWN_METHOD, STR_ERROR_CAPTION);
        return END_PASS;
    }
    return EntryCrcMatches() ? ENTRY_WRITTEN : NEXT_ENTRY;
}

// Closing: the file gets the entry's time. False, after "Cannot close the
// file", when closing failed: what was written may not be there.
static bool CloseOutputFile(const char *path) {
    SetFileTimeFromDos(outputHandle, localHeader.modTime | ((DWORD)localHeader.modDate << 16));
    BOOL closed = CloseHandle(outputHandle);
    outputHandle = 0;
    if (!closed) ShowError(path, STR_CANNOT_CLOSE);
    return closed;
}

// Everything after the password phase for one selected entry; `path` and `dir`
// have PATH_BUFFER_SIZE bytes each. A new file keeps what was written, CRC
// mismatch or not. An existing file is replaced only by a complete entry: the
// data goes to a temporary file in the same folder, which takes the file's
// place once its CRC matched and it closed, and is deleted otherwise, so that
// a damaged entry, a full disk or a wrong password never costs the old file.
// The entry is done only once its file is closed and in place.
static EntryOutcome ExtractEntry(HWND list, const char *name, char *path, char *dir) {
    bool exists = false;
    outputHandle = 0;
    if (!DestinationPath(name, path, exists)) return NEXT_ENTRY;
    const char *file = path;
    // Unless the existence test has created the file already (outputHandle),
    // an existing file is written through a temporary file and a new one gets
    // its folders first.
    if (!outputHandle) {
        if (exists) {
            // A file the overwrite policy keeps is done.
            if (!OverwriteWanted(path)) {
                MarkEntryDone(list);
                return NEXT_ENTRY;
            }
            // A directory entry finding its directory needs no file. The
            // temporary file is the path and STR_TEMP_SUFFIX, in `dir`; a path
            // too long for that name is refused, and so is a read-only file,
            // which the rename would replace where writing it would fail: the
            // old file stays.
            int length = TextLength(path);
            if (path[length - 1] != '\\') {
                if (length + TEMP_SUFFIX_LENGTH >= MAX_PATH ||
                    (existingAttributes & FILE_ATTRIBUTE_READONLY)) {
                    ShowError(path, STR_CANNOT_OPEN);
                    return NEXT_ENTRY;
                }
                StringFromBuffer(StringFromBuffer(dir, path, length), STR_TEMP_SUFFIX,
                                 TEMP_SUFFIX_LENGTH);
                file = dir;
            }
        } else if (!MakeDirectories(path, dir)) {
            return STOP_WALK;
        }
    }
    EntryOutcome outcome = NEXT_ENTRY;
    if (outputHandle || CreateOutputFile(list, file, path)) {
        outcome = WriteEntryData();
        bool done = CloseOutputFile(path) && outcome == ENTRY_WRITTEN;
        if (done && file != path && !MoveFileExA(file, path, MOVEFILE_REPLACE_EXISTING)) {
            // Where MoveFileExA is missing (9x), delete first, then move; any
            // other failure leaves the old file as it is.
            if (GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) DeleteFileA(path);
            if (!MoveFileA(file, path)) {
                ShowError(path, STR_CANNOT_OPEN);
                done = false;
            }
        }
        // The replacement keeps the replaced file's attributes (hidden, system, ...).
        if (done && file != path) SetFileAttributesA(path, existingAttributes);
        // Gone already once it took the file's place. Only a temporary file
        // this entry created is removed: what held the name before is not ours.
        if (file != path) DeleteFileA(file);
        if (done) MarkEntryDone(list);
        if (outcome == ENTRY_WRITTEN) outcome = NEXT_ENTRY;
    }
    return outcome;
}

// ==== the passes ====================================================================

// The listing pass: every entry's name, as stored, into the list, which keeps
// the names sorted. A walk that ends without finding any entry is reported.
// `last` (MAX_ENTRY_NAME + 1 bytes) holds the list's last item: a name that
// sorts after it is appended, which spares the list the search for its place,
// so an archive written in the list's order costs one comparison per entry.
static void ListEntries(HWND list, char *name, char *last) {
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    last[0] = 0;
    WalkStep step;
    while ((step = NextEntry(name)) == WALK_ENTRY) {
        bool after = lstrcmpiA(name, last) > 0;
        SendMessageA(list, after ? LB_INSERTSTRING : LB_ADDSTRING, (WPARAM)-1, (LPARAM)name);
        if (after) StringFromBuffer(last, name, MAX_ENTRY_NAME);
    }
    if (step == WALK_END && SendMessageA(list, LB_GETCOUNT, 0, 0) == 0)
        ShowError(STR_ERROR_READING, STR_ERROR_CAPTION);
}

// The extraction pass over the entries selected in the list; true when nothing
// is left selected at the end. `name` has MAX_ENTRY_NAME + 1 bytes, `path` and
// `dir` PATH_BUFFER_SIZE each.
static bool ExtractSelected(HWND list, char *name, char *path, char *dir) {
    RestartEntrySearch();
    // True once the entry taken up last needs no password or has passed its
    // check; the closing step runs only then.
    bool proceed = false;
    for (;;) {
        WalkStep step = NextEntry(name);
        if (step == WALK_ABORT) return false;
        if (step == WALK_END) break;
        if (!IsEntrySelected(list, name)) continue;
        SeekArchive((LONG)entryData, FILE_BEGIN);
        proceed = PasswordPhase();
        if (!proceed) break;
        EntryOutcome outcome = ExtractEntry(list, name, path, dir);
        if (outcome == STOP_WALK) break;
        if (outcome == END_PASS) return false;
    }
    if (!proceed) return false;
    if (SendMessageA(list, LB_GETSELCOUNT, 0, 0) != 0) {
        ShowError(STR_NOT_EXTRACTED, STR_ERROR_CAPTION);
        return false;
    }
    if (!autoStart && showFinishedMessage) ShowMessage(STR_ALL_EXTRACTED, STR_FINISHED, MB_OK);
    return true;
}

bool ExtractEntries(HWND dialog, int listControlId, bool listOnly) {
    if (!StartWalk()) return false;
    HWND list = GetDlgItem(dialog, listControlId);
    // One block for the pass: the local header read with the name, the name
    // (with a terminator after the longest one), the destination path and its
    // directory part.
    char *block = (char *)MemAlloc(LOCAL_HEADER_SIZE + MAX_ENTRY_NAME + 1 + 2 * PATH_BUFFER_SIZE);
    if (!block) return false;
    char *name = block + LOCAL_HEADER_SIZE;
    char *path = name + MAX_ENTRY_NAME + 1;
    bool result = false;
    if (listOnly)
        ListEntries(list, name, path);
    else
        result = ExtractSelected(list, name, path, path + PATH_BUFFER_SIZE);
    MemFree(block);
    return result;
}
