// SFXinflt: the DEFLATE decoder (RFC 1951) for one archive entry -- the frame.
//
// This file owns the entry call, the input side (32 KB buffer, the countdown
// remainingCompressed, decryption as chunks arrive), the window and its flushing
// into outputHandle and entryCrc, the block loop and stored blocks. The Huffman
// coded blocks live in huffman.cpp and work on the same state
// (codec/inflate_internal.h). Called by the extraction pass (archive/extract) once
// per deflated entry. Writes: the decoder state, remainingCompressed, entryCrc,
// the keys (through DecryptBuffer).
//
// Nothing here trusts the stream: the input never reads past the entry's
// compressed size, data that runs out is damage, a distance can only reach bytes
// of this entry, and every block and table is released on every way out.
#include "codec/SFXinflt.h"
#include "archive/extract.h"
#include "archive/zipformat.h"
#include "app/SFXgbls.h"
#include "codec/crc32.h"
#include "codec/crypt.h"
#include "codec/inflate_internal.h"
#include "platform/memory.h"

LONG remainingCompressed = 0;

BYTE *inputBuffer = 0;
WORD inputPos = 0;
DWORD inputCount = 0;
BitWord bitBuffer = 0;
WORD bitCount = 0;
BYTE *windowBuffer = 0;
WORD windowPos = 0;
bool windowWrapped = false;
DWORD inputOverrun = 0;
bool outputShort = false;

// ---- input ---------------------------------------------------------------------------

// Called with the buffer used up. Each refill asks for exactly the bytes of the
// entry not yet consumed, 32768 at most, so the decoder never reads beyond the
// entry; a failed or empty read ends the data.
LONG ReadInputByte() {
    if (inputPos >= inputCount) {
        DWORD want = remainingCompressed < INPUT_SIZE ? (DWORD)remainingCompressed : INPUT_SIZE;
        DWORD got = 0;
        ReadFile(archiveHandle, inputBuffer, want, &got, 0);
        if (got > want) got = want;
        inputCount = got;
        if (localHeader.flags & ZIP_FLAG_ENCRYPTED) DecryptBuffer(inputBuffer, got);
        inputPos = 0;
    }
    if (inputCount == 0) {
        remainingCompressed = 0;
        inputPos = 0;
        return -1;
    }
    return inputBuffer[inputPos++];
}

// ---- window --------------------------------------------------------------------------

// The CRC takes only what the file really received, so a short write (a full
// disk) fails the entry's check; the flag makes that failure certain.
void FlushWindow(DWORD count) {
    DWORD written = 0;
    WriteFile(outputHandle, windowBuffer, count, &written, 0);
    if (written != count) {
        outputShort = true;
        if (written > count) written = count;
    }
    UpdateCrcBuffer(windowBuffer, (LONG)written, entryCrc);
}

// ---- blocks --------------------------------------------------------------------------

// A stored block: LEN, its one's complement NLEN, then LEN bytes as they are.
// The bytes pass through the bit buffer, so those already fetched go first.
int DecodeStoredBlock() {
    BitReader r;
    OpenReader(r);
    unsigned w = windowPos;
    DropBits(r, r.count & 7);
    LONG length = TakeBits(r, 16);
    LONG check = TakeBits(r, 16);
    if (length < 0 || check < 0 || (DWORD)length != (~(DWORD)check & 0xFFFF)) return INFLATE_DAMAGED;
    BYTE *window = windowBuffer;
    for (; length; length--) {
        LONG c = TakeBits(r, 8);
        if (c < 0) return INFLATE_DAMAGED;
        window[w++] = (BYTE)c;
        if (w == WINDOW_SIZE) {
            FlushWindow(WINDOW_SIZE);
            windowWrapped = true;
            w = 0;
        }
    }
    CloseReader(r);
    windowPos = (WORD)w;
    return INFLATE_OK;
}

// A block header: the final-block flag, then the two-bit type.
int DecodeBlock(int &final) {
    BitReader r;
    OpenReader(r);
    LONG header = TakeBits(r, 3);
    if (header < 0) return INFLATE_DAMAGED;
    CloseReader(r);
    final = header & 1;
    unsigned type = (unsigned)header >> 1;
    if (type == 0) return DecodeStoredBlock();
    if (type == 1) return DecodeFixedBlock();
    if (type == 2) return DecodeDynamicBlock();
    return INFLATE_DAMAGED;  // type 3 is reserved
}

// ---- the entry -----------------------------------------------------------------------

int InflateEntry() {
    inputPos = 0;
    inputCount = 0;
    windowPos = 0;
    bitCount = 0;
    bitBuffer = 0;
    windowWrapped = false;
    inputOverrun = 0;
    outputShort = false;
    int result = INFLATE_NO_MEMORY;
    inputBuffer = (BYTE *)MemAlloc(BUFFER_BLOCK_SIZE);
    windowBuffer = (BYTE *)MemAlloc(BUFFER_BLOCK_SIZE);
    if (inputBuffer && windowBuffer) {
        EmptyFixedCache();
        int final = 0;
        do result = DecodeBlock(final);
        while (result == INFLATE_OK && !final);
        // What a failed block left in the window is not written: the entry is
        // damaged anyway and its file is judged by the CRC alone.
        if (result == INFLATE_OK && windowPos) {
            FlushWindow(windowPos);
            windowPos = 0;
        }
        EmptyFixedCache();
    }
    MemFree(inputBuffer);
    MemFree(windowBuffer);
    inputBuffer = 0;
    windowBuffer = 0;
    // The caller judges the entry by entryCrc XOR 0xFFFFFFFF == crc32 alone. A
    // stream that failed, or output the file did not take, must never pass, not
    // even when the bytes produced so far happen to match (an empty file and a
    // stored CRC of 0): the register's complement cannot equal the header's CRC.
    if (result != INFLATE_OK || outputShort) entryCrc = localHeader.crc32;
    return result;
}
