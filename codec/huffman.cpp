// SFXinflt, Huffman side: decoding tables, the fixed and dynamic blocks, and the
// literal/length/distance loop with its copies into the window.
//
// Works on the decoder state of SFXinflt.cpp (codec/inflate_internal.h) and is
// called only from DecodeBlock there. Owns the fixed-code cache. Every table a
// block builds is released before the block returns, on every path; the fixed
// tables live until EmptyFixedCache at the end of the entry.
//
// Why it is fast: codes are looked up with one table access for most symbols
// (9 bits of lookup for literals/lengths, 6 for distances); the bit buffer, the
// window position and the table pointers live in locals for the whole block;
// fetching a byte is an inlined test and load; copies that do not overlap are
// block moves.
#include "codec/inflate_internal.h"
#include "platform/memory.h"

// ---- constant tables (RFC 1951, 3.2.5) ------------------------------------------------

// Length symbols 257-287; 286 and 287 do not exist and decode as invalid codes.
const WORD LENGTH_BASE[31] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27, 31,
                              35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0};
const BYTE LENGTH_EXTRA[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                               3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, OP_INVALID, OP_INVALID};
// Distance symbols 0-31; 30 and 31 do not exist (a dynamic block may still give
// them a length) and decode as invalid codes.
const WORD DISTANCE_BASE[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,  33,
                                49,   65,   97,   129,  193,  257,   385,   513,   769, 1025, 1537,
                                2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 0,   0};
const BYTE DISTANCE_EXTRA[32] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,          6,
                                 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, OP_INVALID, OP_INVALID};
const WORD BIT_MASK[17] = {0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F, 0x003F,
                           0x007F, 0x00FF, 0x01FF, 0x03FF, 0x07FF, 0x0FFF, 0x1FFF,
                           0x3FFF, 0x7FFF, 0xFFFF};
// The order in which a dynamic block lists the lengths of the code-length code.
const BYTE CODE_LENGTH_ORDER[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Code lengths run from 1 to 15; the counts are kept up to 16 so that a table
// level never needs a bit it does not have.
#define MAX_CODE_BITS 16
// The literal/length alphabet: literals 0-255, the end of block 256, lengths
// from 257 (286 and 287 exist only in the fixed code, as invalid codes); a
// dynamic block sends at least 257 of its lengths.
#define LITERAL_CODES 288
#define END_OF_BLOCK 256
#define FIRST_LENGTH_CODE 257
// The distance alphabet of a dynamic block (30 and 31 invalid) and the 30 of
// the fixed code.
#define DISTANCE_CODES 32
#define FIXED_DISTANCE_CODES 30
// The code-length alphabet: lengths 0-15 and the three repeat symbols from 16.
#define CODE_LENGTH_CODES 19
#define REPEAT_SYMBOL 16
// The fixed literal/length code: 8 bits for 0-143, 9 for 144-255, 7 for
// 256-279 and 8 again for 280-287.
#define FIXED_9_BITS_FROM 144
#define FIXED_7_BITS_FROM 256
#define FIXED_8_BITS_FROM 280

#define LITERAL_WIDTH 9
#define DISTANCE_WIDTH 6
#define CODE_LENGTH_WIDTH 7

// Stands in for a distance code whose lengths are all zero: a block that only
// holds literals is sound, but a length code in it reaches this invalid slot.
static const HuffmanEntry noDistanceCode[1] = {{OP_INVALID, 0, 0, 0}};

// ---- table building --------------------------------------------------------------------

void FreeHuffmanTables(HuffmanEntry *chain) {
    while (chain) {
        HuffmanEntry *header = chain - 1;
        chain = header->link;
        MemFree(header);
    }
}

// Canonical codes are assigned in order of length and, within a length, of
// symbol; the code i runs through them bit-reversed, because DEFLATE sends codes
// from their first bit and the table is indexed by the low bits of the buffer.
// A table level covers `width` bits; longer codes continue in sub-tables, each
// sized to the codes that share its prefix. Missing codes of an incomplete code
// are filled in as invalid codes of the longest length.
int BuildHuffmanTable(const WORD *lengths, unsigned n, unsigned s, const WORD *base,
                      const BYTE *extra, HuffmanEntry *&root, HuffmanEntry *&chain,
                      int &width) {
    unsigned count[MAX_CODE_BITS + 1];
    unsigned offset[MAX_CODE_BITS + 1];
    WORD sorted[LITERAL_CODES];
    root = 0;
    chain = 0;

    // Bits from 16 on would not fit a level.
    unsigned eobLength = n > END_OF_BLOCK ? lengths[END_OF_BLOCK] : MAX_CODE_BITS;
    for (unsigned j = 0; j <= MAX_CODE_BITS; j++) count[j] = 0;
    for (unsigned i = 0; i < n; i++) count[lengths[i]]++;
    if (count[0] == n) {
        width = 0;
        return INFLATE_OK;
    }
    unsigned minLength = 1, maxLength = MAX_CODE_BITS;
    while (!count[minLength]) minLength++;
    while (!count[maxLength]) maxLength--;
    unsigned lookup = (unsigned)width;
    if (lookup < minLength) lookup = minLength;
    if (lookup > maxLength) lookup = maxLength;

    // Kraft check: `unused` codes are left at each length; negative means more
    // codes than the lengths can hold.
    int unused = 1 << minLength;
    for (unsigned j = minLength; j < maxLength; j++) {
        unused -= (int)count[j];
        if (unused < 0) return INFLATE_OVERSUBSCRIBED;
        unused <<= 1;
    }
    unused -= (int)count[maxLength];
    if (unused < 0) return INFLATE_OVERSUBSCRIBED;
    unsigned symbols = n - count[0];
    count[maxLength] += (unsigned)unused;

    offset[1] = 0;
    for (unsigned j = 1; j < maxLength; j++) offset[j + 1] = offset[j] + count[j];
    for (unsigned i = 0; i < n; i++)
        if (lengths[i]) sorted[offset[lengths[i]]++] = (WORD)i;

    // Level h of the table being filled: its table, its width, and the code
    // prefix (the low `bitsBefore` bits of the code) that leads to it.
    HuffmanEntry *levelTable[MAX_CODE_BITS + 1];
    unsigned levelWidth[MAX_CODE_BITS + 1];
    unsigned levelPrefix[MAX_CODE_BITS + 1];
    int h = -1;
    unsigned bitsBefore = 0;  // code bits decoded before level h
    unsigned code = 0;        // the current code, bit-reversed
    unsigned next = 0;        // next entry of sorted
    levelPrefix[0] = 0;

    for (unsigned length = minLength; length <= maxLength; length++) {
        for (unsigned left = count[length]; left; left--) {
            // Open deeper levels until the code fits into the current one.
            while (length > bitsBefore + (h >= 0 ? levelWidth[h] : 0)) {
                if (h >= 0) bitsBefore += levelWidth[h];
                h++;
                unsigned limit = maxLength - bitsBefore;
                if (limit > lookup) limit = lookup;
                unsigned j = length - bitsBefore;
                unsigned room = 1u << j;
                if (room > left) {
                    // Too few codes of this length to fill j bits: widen the
                    // table while the longer codes below it fill the room.
                    room -= left;
                    if (j < limit) {
                        while (++j < limit) {
                            room <<= 1;
                            if (room <= count[bitsBefore + j]) break;
                            room -= count[bitsBefore + j];
                        }
                    }
                }
                // End the end-of-block code at a level boundary.
                if (bitsBefore + j > eobLength && bitsBefore < eobLength)
                    j = eobLength - bitsBefore;
                HuffmanEntry *block =
                    (HuffmanEntry *)MemAlloc((DWORD)(((1u << j) + 1) * sizeof(HuffmanEntry)));
                if (!block) {
                    FreeHuffmanTables(chain);
                    chain = 0;
                    root = 0;
                    return INFLATE_NO_MEMORY;
                }
                block->link = chain;
                chain = block + 1;
                levelTable[h] = chain;
                levelWidth[h] = j;
                if (h == 0) {
                    root = chain;
                } else {
                    levelPrefix[h] = code;
                    HuffmanEntry link;
                    link.op = (BYTE)(OP_LITERAL + j);
                    link.bits = (BYTE)levelWidth[h - 1];
                    link.value = 0;
                    link.link = chain;
                    unsigned parentBits = bitsBefore - levelWidth[h - 1];
                    levelTable[h - 1][(code & ((1u << bitsBefore) - 1)) >> parentBits] = link;
                }
            }

            HuffmanEntry slot;
            slot.bits = (BYTE)(length - bitsBefore);
            slot.value = 0;
            slot.link = 0;
            if (next >= symbols) {
                slot.op = OP_INVALID;  // filler of an incomplete code
            } else {
                unsigned symbol = sorted[next++];
                if (symbol < s) {
                    slot.op = symbol < END_OF_BLOCK ? OP_LITERAL : OP_END_OF_BLOCK;
                    slot.value = (WORD)symbol;
                } else {
                    slot.op = extra[symbol - s];
                    slot.value = base[symbol - s];
                }
            }
            // The code fills every slot whose low bits it is.
            unsigned size = 1u << levelWidth[h];
            for (unsigned i = code >> bitsBefore; i < size; i += 1u << (length - bitsBefore))
                levelTable[h][i] = slot;

            // Next code: increment the bit-reversed counter.
            unsigned m = 1u << (length - 1);
            while (code & m) {
                code ^= m;
                m >>= 1;
            }
            code ^= m;
            // Back up to the level that the new code's prefix leads to.
            while ((code & ((1u << bitsBefore) - 1)) != levelPrefix[h]) {
                h--;
                bitsBefore -= levelWidth[h];
            }
        }
    }
    width = (int)levelWidth[0];
    // A single code of one bit counts as complete.
    return unused != 0 && maxLength != 1 ? HUFFMAN_INCOMPLETE : INFLATE_OK;
}

// ---- fixed-code cache --------------------------------------------------------------------

HuffmanEntry *fixedLiteralTable = 0;
HuffmanEntry *fixedDistanceTable = 0;
static HuffmanEntry *fixedLiteralChain = 0;
static HuffmanEntry *fixedDistanceChain = 0;

void EmptyFixedCache() {
    FreeHuffmanTables(fixedLiteralChain);
    FreeHuffmanTables(fixedDistanceChain);
    fixedLiteralChain = 0;
    fixedDistanceChain = 0;
    fixedLiteralTable = 0;
    fixedDistanceTable = 0;
}

// ---- decoding ----------------------------------------------------------------------------

// Looks up one code in the table `root` of `width` lookup bits, descending into
// sub-tables, and takes the code's bits from the stream: the code's slot, or
// null for an invalid code or data that has run out.
static DECODER_INLINE const HuffmanEntry *TakeCode(BitReader &r, const HuffmanEntry *root,
                                                   unsigned width) {
    unsigned e = width;
    const HuffmanEntry *t;
    for (;;) {
        if (!NeedBits(r, e)) return 0;
        t = root + (r.bits & BIT_MASK[e]);
        e = t->op;
        if (e == OP_INVALID) return 0;
        DropBits(r, t->bits);
        if (e <= OP_LITERAL) return t;
        e -= OP_LITERAL;
        root = t->link;
    }
}

// Moves bytes that do not overlap. Written as a loop so that the product code calls
// no library by name; an optimising build turns it into one block move.
static inline void MoveBytes(BYTE *__restrict target, const BYTE *__restrict source,
                             unsigned count) {
    for (unsigned i = 0; i < count; i++) target[i] = source[i];
}

int DecodeCodes(const HuffmanEntry *literalRoot, const HuffmanEntry *distanceRoot,
                int literalWidth, int distanceWidth) {
    BitReader r;
    OpenReader(r);
    unsigned w = decoder.windowPos;
    BYTE *window = decoder.window;
    bool wrapped = decoder.windowWrapped;

    for (;;) {
        const HuffmanEntry *t = TakeCode(r, literalRoot, (unsigned)literalWidth);
        if (!t) return INFLATE_DAMAGED;
        unsigned e = t->op;
        if (e == OP_LITERAL) {
            window[w++] = (BYTE)t->value;
            if (w == WINDOW_SIZE) {
                if (!FlushWindow(WINDOW_SIZE)) return INFLATE_DAMAGED;
                wrapped = true;
                w = 0;
            }
            continue;
        }
        if (e == OP_END_OF_BLOCK) break;

        // A length: base plus e extra bits, then its distance code.
        LONG extra = TakeBits(r, e);
        if (extra < 0) return INFLATE_DAMAGED;
        unsigned length = t->value + (unsigned)extra;
        t = TakeCode(r, distanceRoot, (unsigned)distanceWidth);
        if (!t) return INFLATE_DAMAGED;
        extra = TakeBits(r, t->op);
        if (extra < 0) return INFLATE_DAMAGED;
        unsigned distance = t->value + (unsigned)extra;
        // Until the window has been written out once, only the first w bytes
        // belong to this entry; the rest is whatever the block held before.
        if (distance > w && !wrapped) return INFLATE_DAMAGED;

        // Copy in runs that stop at the window's end, where the window is
        // written out and the copy goes on at 0; the source wraps likewise.
        unsigned d = (w - distance) & (WINDOW_SIZE - 1);
        do {
            unsigned run = WINDOW_SIZE - (d > w ? d : w);
            if (run > length) run = length;
            length -= run;
            unsigned gap = d < w ? w - d : d - w;
            if (gap >= run) {
                MoveBytes(window + w, window + d, run);
                w += run;
                d += run;
            } else {
                // Overlapping: byte by byte upward, which repeats the last
                // `distance` bytes as DEFLATE means it.
                do window[w++] = window[d++];
                while (--run);
            }
            if (w == WINDOW_SIZE) {
                if (!FlushWindow(WINDOW_SIZE)) return INFLATE_DAMAGED;
                wrapped = true;
                w = 0;
            }
            d &= WINDOW_SIZE - 1;
        } while (length);
    }
    CloseReader(r);
    decoder.windowPos = (WORD)w;
    decoder.windowWrapped = wrapped;
    return INFLATE_OK;
}

// Block type 1: the codes of RFC 1951, 3.2.6, built once per entry.
int DecodeFixedBlock() {
    if (!fixedLiteralTable) {
        WORD lengths[LITERAL_CODES];
        unsigned i = 0;
        for (; i < FIXED_9_BITS_FROM; i++) lengths[i] = 8;
        for (; i < FIXED_7_BITS_FROM; i++) lengths[i] = 9;
        for (; i < FIXED_8_BITS_FROM; i++) lengths[i] = 7;
        for (; i < LITERAL_CODES; i++) lengths[i] = 8;
        int width = FIXED_LITERAL_WIDTH;
        int result = BuildHuffmanTable(lengths, LITERAL_CODES, FIRST_LENGTH_CODE, LENGTH_BASE, LENGTH_EXTRA,
                                       fixedLiteralTable, fixedLiteralChain, width);
        if (result != INFLATE_OK) {
            EmptyFixedCache();
            return result;
        }
        // 30 of the 32 five-bit codes are used; the other two are invalid codes.
        for (i = 0; i < FIXED_DISTANCE_CODES; i++) lengths[i] = 5;
        width = FIXED_DISTANCE_WIDTH;
        result = BuildHuffmanTable(lengths, FIXED_DISTANCE_CODES, 0, DISTANCE_BASE, DISTANCE_EXTRA,
                                   fixedDistanceTable, fixedDistanceChain, width);
        if (result > HUFFMAN_INCOMPLETE) {
            EmptyFixedCache();
            return result;
        }
    }
    return DecodeCodes(fixedLiteralTable, fixedDistanceTable, FIXED_LITERAL_WIDTH,
                       FIXED_DISTANCE_WIDTH);
}

// Block type 2: the block describes its codes by their lengths, which are
// themselves coded with a code-length code (RFC 1951, 3.2.7).
int DecodeDynamicBlock() {
    BitReader r;
    OpenReader(r);
    WORD lengths[LITERAL_CODES + DISTANCE_CODES];

    // HLIT (5 bits), HDIST (5) and HCLEN (4): the counts less 257, 1 and 4.
    LONG header = TakeBits(r, 14);
    if (header < 0) return INFLATE_DAMAGED;
    unsigned literalCount = FIRST_LENGTH_CODE + (header & 0x1F);
    unsigned distanceCount = 1 + ((header >> 5) & 0x1F);
    unsigned lengthCodeCount = 4 + ((header >> 10) & 0x0F);

    for (unsigned j = 0; j < CODE_LENGTH_CODES; j++) {
        LONG length = 0;
        if (j < lengthCodeCount && (length = TakeBits(r, 3)) < 0) return INFLATE_DAMAGED;
        lengths[CODE_LENGTH_ORDER[j]] = (WORD)length;
    }

    HuffmanEntry *table, *chain;
    int width = CODE_LENGTH_WIDTH;
    int result = BuildHuffmanTable(lengths, CODE_LENGTH_CODES, CODE_LENGTH_CODES, 0, 0, table,
                                   chain, width);
    if (result != INFLATE_OK || !table) {
        FreeHuffmanTables(chain);
        return result != INFLATE_OK ? result : INFLATE_DAMAGED;
    }

    // The code-length code is at most 7 bits long, so its root holds every
    // code; a slot may still be the invalid filler of a one-code code, which
    // TakeCode reports like damaged data. Symbols 16, 17 and 18 repeat the last
    // length 3-6 times (2 extra bits), or a zero 3-10 (3 bits) or 11-138 times
    // (7 bits).
    unsigned total = literalCount + distanceCount;
    unsigned last = 0;
    unsigned i = 0;
    while (i < total) {
        const HuffmanEntry *t = TakeCode(r, table, (unsigned)width);
        if (!t) break;
        unsigned symbol = t->value;
        if (symbol < REPEAT_SYMBOL) {
            lengths[i++] = (WORD)symbol;
            last = symbol;
            continue;
        }
        symbol -= REPEAT_SYMBOL;
        LONG repeat = TakeBits(r, symbol == 2 ? 7 : symbol + 2);
        if (repeat < 0) break;
        repeat += symbol == 2 ? 11 : 3;
        if (symbol) last = 0;
        if (i + (unsigned)repeat > total) break;
        while (repeat--) lengths[i++] = (WORD)last;
    }
    FreeHuffmanTables(chain);
    if (i < total) return INFLATE_DAMAGED;
    CloseReader(r);

    HuffmanEntry *literalRoot, *literalChain;
    int literalWidth = LITERAL_WIDTH;
    result = BuildHuffmanTable(lengths, literalCount, FIRST_LENGTH_CODE, LENGTH_BASE, LENGTH_EXTRA,
                               literalRoot, literalChain, literalWidth);
    // No literal/length code at all cannot even end the block.
    if (result != INFLATE_OK || !literalRoot) {
        FreeHuffmanTables(literalChain);
        return result != INFLATE_OK ? result : INFLATE_DAMAGED;
    }
    HuffmanEntry *distanceRoot, *distanceChain;
    int distanceWidth = DISTANCE_WIDTH;
    result = BuildHuffmanTable(lengths + literalCount, distanceCount, 0, DISTANCE_BASE,
                               DISTANCE_EXTRA, distanceRoot, distanceChain, distanceWidth);
    // An incomplete distance code is allowed (RFC 1951 permits one code, and
    // encoders emit it); its missing codes decode as invalid.
    if (result > HUFFMAN_INCOMPLETE) {
        FreeHuffmanTables(literalChain);
        return result;
    }
    result = DecodeCodes(literalRoot, distanceRoot ? distanceRoot : noDistanceCode, literalWidth,
                         distanceWidth);
    FreeHuffmanTables(literalChain);
    FreeHuffmanTables(distanceChain);
    return result;
}
