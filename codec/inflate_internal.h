// Inside the DEFLATE decoder: the state that SFXinflt.cpp (entry, input, window,
// stored blocks) and huffman.cpp (Huffman tables, coded blocks, copies) share.
// Only these two files and the unit tests include it; everything here is valid
// only while InflateEntry runs.
#pragma once
#include "platform/win32.h"

// ---- result codes ------------------------------------------------------------------
// Of the block decoders, InflateEntry and BuildHuffmanTable. A table build's
// HUFFMAN_INCOMPLETE is the value of INFLATE_DAMAGED on purpose: a block that
// needs a complete code hands it on as its own result.
#define INFLATE_OK 0
#define INFLATE_DAMAGED 1         // invalid code, bad stored length, reserved type, ...
#define INFLATE_OVERSUBSCRIBED 2  // more codes than the lengths allow
#define INFLATE_NO_MEMORY 3       // a buffer or decoding table could not be allocated
#define HUFFMAN_INCOMPLETE INFLATE_DAMAGED  // fewer codes than the lengths allow

#define INPUT_SIZE 32768
#define WINDOW_SIZE 32768
// Both blocks are obtained two bytes larger than they are used.
#define BUFFER_BLOCK_SIZE 32770
// Bytes of 1-bits handed out after the data has run out before the stream counts
// as damaged. A sound stream never looks more than 16 bits past its last code,
// so it asks for at most two of them.
#define INPUT_OVERRUN_LIMIT 4

// ---- the decoder's state ----------------------------------------------------------
// The bit buffer is as wide as a register: 32 bits in the stub, 64 on a 64-bit
// host, where one fill then serves several codes.
typedef ULONG_PTR BitWord;
#define BIT_WORD_BITS (8 * sizeof(BitWord))

// Everything one entry's decoding keeps between calls, in one record. The
// block decoders copy the hot part into a BitReader (below) while they run.
struct InflateState {
    BYTE *input;         // INPUT_SIZE bytes of compressed input
    WORD inputPos;       // next unread byte of input
    DWORD inputCount;    // valid bytes in input
    BitWord bits;        // bits not yet consumed, the next one in bit 0
    WORD bitCount;       // valid bits in bits
    BYTE *window;        // the sliding window, also the output buffer
    WORD windowPos;      // write position in window, 0 to WINDOW_SIZE
    // True once the window has been written out full: from then on every
    // distance up to WINDOW_SIZE reaches bytes of this entry. Before, only
    // windowPos bytes exist.
    bool windowWrapped;
    DWORD inputOverrun;  // bytes of 1-bits supplied since the data ran out
};
extern InflateState decoder;

// The hot helpers of the code loop: inlined where the build optimises for
// speed, kept as one out-of-line copy where it optimises for size (the stub).
#if defined(__OPTIMIZE_SIZE__)
#define DECODER_INLINE __attribute__((noinline))
#else
#define DECODER_INLINE __attribute__((always_inline)) inline
#endif

// ---- input -------------------------------------------------------------------------
// Refills the input buffer when it is used up; -1 when the entry's data has ended.
LONG ReadInputByte();

// The next compressed byte, or -1 once the entry's data has ended.
inline LONG NextInputByte() {
    if (decoder.inputPos < decoder.inputCount) return decoder.input[decoder.inputPos++];
    return ReadInputByte();
}

extern const WORD BIT_MASK[17];  // (1 shl n) - 1

// ---- bits ----------------------------------------------------------------------------
// A block decoder works on a copy of the bit state and of the input position,
// opened when it starts and closed (stored back) when the block ends normally.
// The private input position matters in the code loop: window stores go through
// byte pointers, which may alias any global, so a global position would be
// reloaded after every literal. Closing brings the state up to date.
struct BitReader {
    BitWord bits;    // decoder.bits
    unsigned count;  // decoder.bitCount
    const BYTE *in;  // decoder.input
    unsigned pos;    // decoder.inputPos
    unsigned end;    // decoder.inputCount
};

static inline void OpenReader(BitReader &r) {
    r.bits = decoder.bits;
    r.count = decoder.bitCount;
    r.in = decoder.input;
    r.pos = decoder.inputPos;
    r.end = decoder.inputCount;
}

static inline void CloseReader(const BitReader &r) {
    decoder.inputPos = (WORD)r.pos;
    decoder.bits = r.bits;
    decoder.bitCount = (WORD)r.count;
}

// Fetches bytes, one at a time, until at least n (0 to 16) bits are held. With
// a word's bytes or more left in the buffer it fills the bit buffer to within a
// byte of full without looking at the buffer's end for each byte; a literal/length code
// with its extra bits, or a distance code, then needs no further fetch. Near the
// end of the buffer it takes exactly what is needed; once the buffer is used up
// the next byte comes through NextInputByte, which refills the buffer or reports
// the end of the data. Past the end the fetched -1 fills the bit buffer with
// 1-bits; false once more of them have been supplied than a sound stream can ask
// for: the data is damaged.
static DECODER_INLINE bool FillBits(BitReader &r, unsigned n) {
    if (r.end - r.pos >= sizeof(BitWord)) {
        do {
            r.bits |= (BitWord)r.in[r.pos++] << r.count;
            r.count += 8;
        } while (r.count <= BIT_WORD_BITS - 8);
        return true;
    }
    while (r.count < n) {
        LONG c;
        if (r.pos < r.end) {
            c = r.in[r.pos++];
        } else {
            decoder.inputPos = (WORD)r.pos;
            c = NextInputByte();
            r.pos = decoder.inputPos;
            r.end = decoder.inputCount;
            if (c < 0 && ++decoder.inputOverrun > INPUT_OVERRUN_LIMIT) return false;
        }
        r.bits |= (BitWord)c << r.count;
        r.count += 8;
    }
    return true;
}

static inline bool NeedBits(BitReader &r, unsigned n) { return r.count >= n || FillBits(r, n); }

static inline void DropBits(BitReader &r, unsigned n) {
    r.bits >>= n;
    r.count -= n;
}

// n bits (0 to 16) taken from the stream as a number; -1 when the data has run out.
static DECODER_INLINE LONG TakeBits(BitReader &r, unsigned n) {
    if (!NeedBits(r, n)) return -1;
    LONG v = (LONG)(r.bits & BIT_MASK[n]);
    DropBits(r, n);
    return v;
}

// ---- window ------------------------------------------------------------------------
// Writes window[0 .. count-1] out (WriteEntryOutput, codec/entrystream.h);
// false when the entry has failed there and decoding is to stop.
bool FlushWindow(DWORD count);

// ---- blocks ------------------------------------------------------------------------
int DecodeBlock(int &final);
int DecodeStoredBlock();
int DecodeFixedBlock();
int DecodeDynamicBlock();

// ---- Huffman tables ----------------------------------------------------------------
// One table slot. A table is one block of 2^width + 1 slots; slot 0 is the
// block's header, whose link chains the blocks of one build for release.
struct HuffmanEntry {
    BYTE op;             // see below
    BYTE bits;           // code bits of this level; sub-table slot: the level's width
    WORD value;          // literal, simple symbol, base length or base distance
    HuffmanEntry *link;  // sub-table; in a header slot, the block allocated before
};
// op: 0-13 length or distance with that many extra bits; END_OF_BLOCK; LITERAL
// (also a code-length symbol); 16 + w a sub-table of 2^w slots; INVALID_CODE.
#define OP_END_OF_BLOCK 15
#define OP_LITERAL 16
#define OP_INVALID 99

extern const WORD LENGTH_BASE[31];
extern const BYTE LENGTH_EXTRA[31];
extern const WORD DISTANCE_BASE[32];
extern const BYTE DISTANCE_EXTRA[32];
extern const BYTE CODE_LENGTH_ORDER[19];

// The fixed codes, built by the first fixed block of an entry; widths 7 and 5.
extern HuffmanEntry *fixedLiteralTable;
extern HuffmanEntry *fixedDistanceTable;
#define FIXED_LITERAL_WIDTH 7
#define FIXED_DISTANCE_WIDTH 5
// Releases the fixed tables; done when an entry starts and when it ends.
void EmptyFixedCache();

// Builds the decoding tables of a code from its lengths (n symbols; symbols below
// s stand for themselves, the others take base[] and extra[] at symbol - s).
// width: in, the lookup width wanted; out, the root table's width. All tables
// end up on `chain`, which starts empty. Returns INFLATE_OK for a complete code,
// HUFFMAN_INCOMPLETE (missing codes decode as invalid), INFLATE_OVERSUBSCRIBED
// (nothing allocated) or INFLATE_NO_MEMORY (nothing left allocated). Lengths all
// zero: root null, width 0, INFLATE_OK.
int BuildHuffmanTable(const WORD *lengths, unsigned n, unsigned s, const WORD *base,
                      const BYTE *extra, HuffmanEntry *&root, HuffmanEntry *&chain,
                      int &width);
void FreeHuffmanTables(HuffmanEntry *chain);
// Decodes literal/length and distance codes into the window up to the end of the
// block: INFLATE_OK at the end-of-block code, INFLATE_DAMAGED for an invalid code
// or a damaged stream.
int DecodeCodes(const HuffmanEntry *literalRoot, const HuffmanEntry *distanceRoot,
                int literalWidth, int distanceWidth);
