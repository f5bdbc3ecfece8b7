// SFXinflt: the DEFLATE decoder (RFC 1951) for one archive entry -- the frame.
//
// This file owns the decoder's state record, the entry call, the input side
// (its 32 KB buffer, refilled through ReadEntryInput), the window and its
// flushing through WriteEntryOutput, the block loop and stored blocks. The
// Huffman coded blocks live in huffman.cpp and work on the same record
// (codec/inflate_internal.h). Called by the extraction pass (archive/extract)
// once per deflated entry; its input and output are the extraction side's
// (codec/entrystream.h).
//
// Nothing here trusts the stream: data that runs out is damage, a distance can
// only reach bytes of this entry, and every block and table is released on
// every way out.
#include "codec/SFXinflt.h"
#include "codec/entrystream.h"
#include "codec/inflate_internal.h"
#include "platform/memory.h"

InflateState decoder;

// ---- input ---------------------------------------------------------------------------

// Called with the buffer used up; a failed or empty read ends the data.
LONG ReadInputByte() {
    DWORD got = ReadEntryInput(decoder.input, INPUT_SIZE);
    decoder.inputCount = got;
    decoder.inputPos = 0;
    if (got == 0) return -1;
    decoder.inputPos = 1;
    return decoder.input[0];
}

// ---- window --------------------------------------------------------------------------

bool FlushWindow(DWORD count) { return WriteEntryOutput(decoder.window, count); }

// ---- blocks --------------------------------------------------------------------------

// A stored block: LEN, its one's complement NLEN, then LEN bytes as they are.
// The bytes pass through the bit buffer, so those already fetched go first.
int DecodeStoredBlock() {
    BitReader r;
    OpenReader(r);
    unsigned w = decoder.windowPos;
    DropBits(r, r.count & 7);
    LONG length = TakeBits(r, 16);
    LONG check = TakeBits(r, 16);
    if (length < 0 || check < 0 || (DWORD)length != (~(DWORD)check & 0xFFFF)) return INFLATE_DAMAGED;
    BYTE *window = decoder.window;
    for (; length; length--) {
        LONG c = TakeBits(r, 8);
        if (c < 0) return INFLATE_DAMAGED;
        window[w++] = (BYTE)c;
        if (w == WINDOW_SIZE) {
            if (!FlushWindow(WINDOW_SIZE)) return INFLATE_DAMAGED;
            decoder.windowWrapped = true;
            w = 0;
        }
    }
    CloseReader(r);
    decoder.windowPos = (WORD)w;
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
    static const InflateState start = {};
    decoder = start;
    int result = INFLATE_NO_MEMORY;
    decoder.input = (BYTE *)MemAlloc(BUFFER_BLOCK_SIZE);
    decoder.window = (BYTE *)MemAlloc(BUFFER_BLOCK_SIZE);
    if (decoder.input && decoder.window) {
        EmptyFixedCache();
        int final = 0;
        do result = DecodeBlock(final);
        while (result == INFLATE_OK && !final);
        // What a failed block left in the window is not written: the entry is
        // damaged anyway and its file is judged by the CRC alone.
        if (result == INFLATE_OK && decoder.windowPos && !FlushWindow(decoder.windowPos))
            result = INFLATE_DAMAGED;
        EmptyFixedCache();
    }
    MemFree(decoder.input);
    MemFree(decoder.window);
    decoder.input = 0;
    decoder.window = 0;
    EndEntryOutput(result == INFLATE_OK);
    return result;
}
