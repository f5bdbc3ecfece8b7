// The configuration header at HEADER_OFFSET and the completeness check of the
// download. Called once by the run sequence (app/SFX.cpp) after the own file is
// open. Writes the header's share of the run state (app/SFXgbls.h): archiveStart,
// the four text buffers, the presence and option flags, archiveSizeOk.
//
// The header's layout, option bits and values are app/sfxformat.h's. Nothing in
// the header is trusted: every text is at most SFX_MAX_TEXT_LENGTH bytes by its
// length byte and lands in a TEXT_BUFFER_SIZE buffer; a short read leaves a
// shorter text.
#include "app/config.h"
#include "app/SFXgbls.h"
#include "app/SFXstrings.h"
#include "app/message.h"
#include "archive/SFXmisc.h"
#include "platform/memory.h"

static DWORD ReadArchive(void *buffer, DWORD count) {
    DWORD got = 0;
    ReadFile(archiveHandle, buffer, count, &got, 0);
    return got;
}

// Reads one length-prefixed text into a TEXT_BUFFER_SIZE buffer and returns its length
// byte. An empty text leaves the buffer as it was (the caption keeps its preset).
static BYTE ReadText(char *buffer) {
    BYTE n = 0;
    ReadArchive(&n, 1);
    if (n) buffer[ReadArchive(buffer, n)] = 0;
    return n;
}

bool IsAutoStartName(const char *modulePath) {
    char name[256];
    FileNamePart(modulePath, name);
    return name[0] == '!' || TextEqual(name, STR_SETUP_EXE, true);
}

bool ReadConfiguration() {
    SFXHeader header;
    archiveStart = HEADER_OFFSET;
    SeekArchive(archiveStart, FILE_BEGIN);

    // Unread bytes stay zero, so a short read fails the signature test.
    BYTE *raw = (BYTE *)&header;
    for (unsigned i = 0; i < sizeof header; i++) raw[i] = 0;
    ReadArchive(&header, sizeof header);
    for (int i = 0; i < SFX_SIGNATURE_LENGTH; i++)
        if (header.signature[i] != SFX_SIGNATURE[i]) goto incorrect;

    {
        BYTE options = header.options;
        showRunCheckbox = options & OPT_SHOW_RUN_CHECKBOX;
        selectFiles = options & OPT_SELECT_FILES;
        lockOverwriteMode = options & OPT_LOCK_OVERWRITE_MODE;
        BYTE overwrite = (options & OPT_OVERWRITE_MODE) >> OPT_OVERWRITE_SHIFT;
        initialOverwriteMode = overwrite > OVERWRITE_NEVER ? OVERWRITE_CONFIRM : overwrite;
        checkArchiveSize = !(options & OPT_NO_SIZE_CHECK);
        autoStart = false;
        if (options & OPT_AUTO_START) {
            char path[TEXT_BUFFER_SIZE + 1];
            path[TEXT_BUFFER_SIZE] = 0;  // old systems leave a cut name unterminated
            GetModuleFileNameA(0, path, TEXT_BUFFER_SIZE);
            autoStart = IsAutoStartName(path);
        }
        showFinishedMessage = !(options & OPT_NO_FINISHED_MESSAGE);
        archiveStart += header.headerSize;

        ReadText(captionText);
        hasDefaultDir = ReadText(defaultDirText) != 0;
        if (hasDefaultDir) ResolveDefaultDir();
        hasCommand = ReadText(commandText) != 0;
        hasStartupMessage = ReadText(messageText) != 0;

        if (!checkArchiveSize || VerifyArchiveSize()) return true;
    }
incorrect:
    ShowMessage(STR_INCORRECT_SIZE, STR_ERROR_CAPTION, MB_ICONERROR);
    return false;
}

// The download is complete when an end-of-central-directory record lies in the
// last 65,558 bytes of the ZIP data and ends, with its comment, exactly at the
// end of the data. One read of the tail; the file position is restored.
//
// The data ends at the end of the file, unless the file is Authenticode-signed:
// signing appends a certificate table and records its file offset and size in
// the security entry of the PE header's data directory (e_lfanew + PE_SECURITY_ENTRY). When
// that table ends exactly at the end of the file, the data ends where the table
// begins, and the end record may be followed by up to 7 zero bytes that align
// the table to 8. The scan reaches 7 bytes further for those; an unsigned file
// still needs its record to end at the very last byte.
bool VerifyArchiveSize() {
    archiveSizeOk = false;
    BYTE *tail = (BYTE *)MemAlloc(MAX_TAIL_SCAN + CERT_MAX_PADDING);
    if (!tail) return false;
    // e_lfanew, then the table's offset and size, then its WIN_CERTIFICATE
    // header: dwLength, then wRevision and wCertificateType in one word.
    DWORD *table = (DWORD *)tail;
    DWORD remembered = SeekArchive(0, FILE_CURRENT);
    SeekArchive(PE_HEADER_POINTER, FILE_BEGIN);  // e_lfanew
    ReadArchive(table, 4);
    SeekArchive((LONG)table[0] + PE_SECURITY_ENTRY, FILE_BEGIN);
    ReadArchive(table, 8);
    SeekArchive((LONG)table[0], FILE_BEGIN);
    ReadArchive(table + 2, CERT_HEADER_SIZE);
    DWORD end = GetFileSize(archiveHandle, 0), padding = 0;
    // Only the table the header describes counts: it ends the file, starts on
    // its alignment, and its one certificate is a PKCS#7 signature as long as
    // the entry says. An entry pointed at appended bytes, or grown over them,
    // leaves the data ending at the end of the file.
    if (table[0] + table[1] == end && !(table[0] % CERT_TABLE_ALIGNMENT) && table[2] == table[1] &&
        table[3] == (WIN_CERT_REVISION_2_0 | (DWORD)WIN_CERT_TYPE_PKCS_SIGNED_DATA << 16))
        end = table[0], padding = CERT_MAX_PADDING;

    DWORD n = end - (DWORD)archiveStart;  // data ending before archiveStart wraps high
    if (n > MAX_TAIL_SCAN + CERT_MAX_PADDING) n = MAX_TAIL_SCAN + CERT_MAX_PADDING;
    // Data that ends before archiveStart (a file cut in its header) has fewer
    // than n bytes before its end: the seek fails and the read comes up short.
    SeekArchive((LONG)(end - n), FILE_BEGIN);
    if (n > END_RECORD_SIZE && ReadArchive(tail, n) == n) {
        // The record may end anywhere from `low` to n: only zero bytes follow it.
        DWORD low = n;
        while (n - low < padding && !tail[low - 1]) low--;
        for (DWORD i = 0; i + END_RECORD_SIZE <= n; i++) {
            const BYTE *p = tail + i;
            // Compared byte by byte: the stub image must not hold the record
            // signature as one 4-byte constant.
            if (p[0] != 'P' || p[1] != 'K' || p[2] != 5 || p[3] != 6) continue;
            DWORD recordEnd = i + END_RECORD_SIZE + (p[END_RECORD_COMMENT_LENGTH] | (p[END_RECORD_COMMENT_LENGTH + 1] << 8));
            if (recordEnd - low <= n - low) {
                archiveSizeOk = true;
                break;
            }
        }
    }
    MemFree(tail);
    SeekArchive((LONG)remembered, FILE_BEGIN);
    return archiveSizeOk;
}
