// One deflated entry through the product's InflateEntry, set up the way the
// extraction pass sets it up: the archive file open in archiveHandle and
// positioned at the entry's data, a new output file in outputHandle, localHeader
// (method 8, flags, CRC, compressed size), remainingCompressed, the keys of an
// encrypted entry, the entry's output started (entryCrc preset). The codec tests, the inflate fuzz target and
// the inflate benchmark all drive the decoder through it.
#pragma once
#include <functional>
#include <string>

#include "app/SFXgbls.h"
#include "archive/entryio.h"
#include "archive/extract.h"
#include "codec/SFXinflt.h"
#include "codec/crc32.h"
#include "platform/win32.h"

namespace testutil {

struct EntrySetup {
    std::string archivePath;      // as CreateFileA takes it
    std::string outputPath;       // created or emptied
    long dataOffset = 0;          // where the entry's data starts in the archive file
    LONG compressedSize = -1;     // remainingCompressed; -1: the rest of the file
    WORD flags = 0;               // localHeader.flags (bit 0: encrypted)
    DWORD crc = 0;                // localHeader.crc32
    DWORD uncompressedSize = 0xFFFFFFFF;  // localHeader.uncompressedSize: no bound
    std::function<void()> keys;   // sets the keys of an encrypted entry
};

struct EntryEnd {
    bool opened = false;        // both files opened (nothing else happened otherwise)
    int result = 0;             // what `decode` returned
    DWORD entryCrc = 0;         // the CRC register afterwards, not inverted
    LONG remaining = 0;         // remainingCompressed afterwards
    long archivePosition = 0;   // position of the archive file afterwards
};

// Opens both files, sets the entry's state, runs `decode` (by default
// InflateEntry, returning 0) and closes the files again.
inline EntryEnd RunEntry(const EntrySetup &setup, const std::function<int()> &decode = nullptr) {
    EntryEnd end;
    archiveHandle = CreateFileA(setup.archivePath.c_str(), GENERIC_READ, FILE_SHARE_READ, 0,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    outputHandle = CreateFileA(setup.outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, 0,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    end.opened = archiveHandle != INVALID_HANDLE_VALUE && outputHandle != INVALID_HANDLE_VALUE;
    if (end.opened) {
        LONG fileSize = (LONG)SetFilePointer(archiveHandle, 0, 0, FILE_END);
        SetFilePointer(archiveHandle, (LONG)setup.dataOffset, 0, FILE_BEGIN);
        remainingCompressed = setup.compressedSize;
        if (remainingCompressed < 0) remainingCompressed = fileSize - (LONG)setup.dataOffset;
        localHeader = LocalHeader{};
        localHeader.method = 8;
        localHeader.flags = setup.flags;
        localHeader.crc32 = setup.crc;
        localHeader.compressedSize = (DWORD)remainingCompressed;
        localHeader.uncompressedSize = setup.uncompressedSize;
        if (setup.keys) setup.keys();
        StartEntryOutput();
        if (decode)
            end.result = decode();
        else
            InflateEntry();
        end.entryCrc = entryCrc;
        end.remaining = remainingCompressed;
        end.archivePosition = (long)SetFilePointer(archiveHandle, 0, 0, FILE_CURRENT);
    }
    if (archiveHandle != INVALID_HANDLE_VALUE) CloseHandle(archiveHandle);
    if (outputHandle != INVALID_HANDLE_VALUE) CloseHandle(outputHandle);
    archiveHandle = outputHandle = 0;
    return end;
}

}  // namespace testutil
