// Entry input and output (see entryio.h and codec/entrystream.h).
//
// Owns remainingCompressed (also set by the header reader) and the short-write
// flag. Writes besides: entryCrc, the keys (through DecryptBuffer). Called by
// the extraction pass (archive/extract.cpp) and the decoder (codec/SFXinflt.cpp).
#include "archive/entryio.h"

#include "app/SFXgbls.h"
#include "archive/extract.h"
#include "codec/crc32.h"
#include "codec/crypt.h"

LONG remainingCompressed = 0;
// A write took fewer bytes than it was given (a full disk), or the entry gave
// more than its declared size: nothing more is written for it.
static bool outputShort = false;
// Output bytes the entry may still give: its declared uncompressed size.
static DWORD outputLeft = 0;

void StartEntryOutput() {
    entryCrc = 0xFFFFFFFF;
    outputShort = false;
    outputLeft = localHeader.uncompressedSize;
}

// Each read asks for at most the entry's bytes not yet read, so nothing beyond
// the entry is ever read; a failed or empty read ends the data.
DWORD ReadEntryInput(BYTE *buffer, DWORD size) {
    DWORD got = 0;
    if (remainingCompressed > 0) {
        DWORD want = (DWORD)remainingCompressed < size ? (DWORD)remainingCompressed : size;
        ReadFile(archiveHandle, buffer, want, &got, 0);
        if (got > want) got = want;
    }
    remainingCompressed = got ? remainingCompressed - (LONG)got : 0;
    if (localHeader.flags & ZIP_FLAG_ENCRYPTED) DecryptBuffer(buffer, got);
    return got;
}

// The CRC takes only what the file really received, so a short write fails
// the entry's check; the flag makes that failure certain and stops the entry.
bool WriteEntryOutput(const BYTE *data, DWORD count) {
    if (count > outputLeft) outputShort = true;  // a bomb, or a damaged entry
    if (outputShort) return false;
    outputLeft -= count;
    DWORD written = 0;
    WriteFile(outputHandle, data, count, &written, 0);
    if (written != count) {
        outputShort = true;
        if (written > count) written = count;
    }
    UpdateCrcBuffer(data, (LONG)written, entryCrc);
    return !outputShort;
}

// The extraction pass judges an entry by entryCrc XOR 0xFFFFFFFF == crc32
// alone. A failed entry must never pass, not even when the bytes produced so
// far happen to match (an empty file and a stored CRC of 0): the register is
// set to the header's CRC, whose complement can never equal it.
void EndEntryOutput(bool sound) {
    if (!sound || outputShort) entryCrc = localHeader.crc32;
}

bool EntryCrcMatches() { return (entryCrc ^ 0xFFFFFFFF) == localHeader.crc32; }
