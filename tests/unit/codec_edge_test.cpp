// Hand-made DEFLATE streams at the edges of the format: the block decoders'
// result codes, what reaches the output file, and that nothing stays
// allocated. Streams that zlib also reads are checked against zlib.
#include <gtest/gtest.h>

#include "codec_harness.h"

namespace {

using codectest::BitWriter;
using codectest::DecodeBlocks;
using codectest::FixedLiteral;
using codectest::FixedMatch;

// ---- stream builders ----------------------------------------------------------------

// A fixed block of literals, matches and raw symbols (also ones that no
// encoder may send).
struct FixedItem {
    enum Kind { LITERAL, MATCH, LENGTH_SYMBOL, DISTANCE_SYMBOL } kind;
    int a = 0, b = 0;
};
FixedItem Lit(int c) { return {FixedItem::LITERAL, c, 0}; }
FixedItem Match(int length, int distance) { return {FixedItem::MATCH, length, distance}; }
FixedItem LengthSymbol(int symbol) { return {FixedItem::LENGTH_SYMBOL, symbol, 0}; }
FixedItem DistanceSymbol(int symbol) { return {FixedItem::DISTANCE_SYMBOL, symbol, 0}; }

std::string FixedBlock(const std::vector<FixedItem> &items, bool endOfBlock = true) {
    BitWriter w;
    w.Bits(1, 1);  // final
    w.Bits(1, 2);  // fixed codes
    for (const FixedItem &i : items) {
        switch (i.kind) {
        case FixedItem::LITERAL: FixedLiteral(w, i.a); break;
        case FixedItem::MATCH: FixedMatch(w, i.a, i.b); break;
        case FixedItem::LENGTH_SYMBOL: FixedLiteral(w, i.a); break;
        case FixedItem::DISTANCE_SYMBOL: codectest::FixedDistance(w, i.a); break;
        }
    }
    if (endOfBlock) FixedLiteral(w, 256);
    return w.Finish();
}

std::string StoredBlock(const std::string &data, bool final, bool badNlen = false) {
    BitWriter w;
    w.Bits(final, 1);
    w.Bits(0, 2);
    std::string out = w.Finish();
    uint16_t len = (uint16_t)data.size();
    uint16_t nlen = (uint16_t)~len ^ (badNlen ? 1 : 0);
    out += (char)(len & 0xFF);
    out += (char)(len >> 8);
    out += (char)(nlen & 0xFF);
    out += (char)(nlen >> 8);
    return out + data;
}

// A dynamic block written symbol by symbol. The code-length code has the
// lengths `clLengths` (indexed by symbol 0-18); `clSymbols` are the symbols
// that describe the literal/length and distance lengths, each with its extra
// bits (symbol, extra value). `body` writes the block's codes.
struct ClSymbol {
    int symbol, extra;
};
// The header of a final dynamic block, up to the code-length code's lengths.
void DynamicHeader(BitWriter &w, int literalCount, int distanceCount,
                   const std::vector<int> &clLengths) {
    w.Bits(1, 1);
    w.Bits(2, 2);
    w.Bits(literalCount - 257, 5);
    w.Bits(distanceCount - 1, 5);
    w.Bits(15, 4);
    static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    for (int i = 0; i < 19; i++) w.Bits(clLengths[order[i]], 3);
}
std::string DynamicBlock(int literalCount, int distanceCount, const std::vector<int> &clLengths,
                         const std::vector<ClSymbol> &clSymbols,
                         const std::function<void(BitWriter &)> &body = nullptr) {
    BitWriter w;
    DynamicHeader(w, literalCount, distanceCount, clLengths);
    std::vector<uint32_t> codes = codectest::CanonicalCodes(clLengths);
    for (const ClSymbol &s : clSymbols) {
        w.Code(codes[s.symbol], clLengths[s.symbol]);
        if (s.symbol == 16) w.Bits(s.extra, 2);
        if (s.symbol == 17) w.Bits(s.extra, 3);
        if (s.symbol == 18) w.Bits(s.extra, 7);
    }
    if (body) body(w);
    return w.Finish();
}

// Code-length code: symbols 0-15 five bits would over-fill; this one gives
// 0, 1, 2, 8 and 18 three bits each and 16, 17 two bits: complete.
std::vector<int> SmallClCode() {
    std::vector<int> l(19, 0);
    l[0] = l[1] = l[2] = l[8] = 3;
    l[18] = l[16] = 3;
    l[17] = 2;
    return l;  // 6/8 + 1/4 = 1
}

// Literal/length lengths: 'a' and 'b' and end-of-block 2 bits, length
// symbol 257 (length 3) 2 bits; with one distance code of 1 bit.
std::vector<ClSymbol> TwoLiteralsAndMatch(int distanceLength) {
    // symbols 0..96 zero, 97 'a' = 2, 98 'b' = 2, 99..255 zero, 256 = 2, 257 = 2
    return {{18, 97 - 11}, {2, 0}, {2, 0}, {18, 138 - 11}, {18, 19 - 11},
            {2, 0},        {2, 0}, {distanceLength, 0}};
}

// ---- the table ------------------------------------------------------------------------

struct StreamCase {
    const char *name;
    std::string stream;
    int result;            // DecodeBlocks' first failing block result, or INFLATE_OK
    std::string expected;  // the output when result is 0
};

std::vector<StreamCase> Cases() {
    std::vector<StreamCase> c;
    c.push_back({"reserved block type",
                 BitWriter{}.Finish() + std::string(1, (char)0x07), INFLATE_DAMAGED, ""});
    c.push_back({"stored, bad NLEN", StoredBlock("abc", true, true), INFLATE_DAMAGED, ""});
    c.push_back({"stored, final of length 0", StoredBlock("", true), INFLATE_OK, ""});
    c.push_back({"stored then empty final stored",
                 StoredBlock("hello", false) + StoredBlock("", true), INFLATE_OK, "hello"});
    c.push_back({"stored block longer than the window", StoredBlock(std::string(40000, 'q'), true),
                 INFLATE_OK, std::string(40000, 'q')});
    c.push_back({"fixed, distance 1 length 258", FixedBlock({Lit('a'), Match(258, 1)}),
                 INFLATE_OK, std::string(259, 'a')});
    c.push_back({"fixed, length symbol 286",
                 FixedBlock({Lit('a'), LengthSymbol(286)}, false), INFLATE_DAMAGED, ""});
    c.push_back({"fixed, length symbol 287",
                 FixedBlock({Lit('a'), LengthSymbol(287)}, false), INFLATE_DAMAGED, ""});
    c.push_back({"fixed, distance symbol 30",
                 FixedBlock({Lit('a'), LengthSymbol(257), DistanceSymbol(30)}, false),
                 INFLATE_DAMAGED, ""});
    c.push_back({"fixed, distance symbol 31",
                 FixedBlock({Lit('a'), LengthSymbol(257), DistanceSymbol(31)}, false),
                 INFLATE_DAMAGED, ""});
    c.push_back({"fixed, distance before the first byte",
                 FixedBlock({Lit('a'), Match(3, 2)}), INFLATE_DAMAGED, ""});
    c.push_back({"fixed, distance exactly back to the first byte",
                 FixedBlock({Lit('a'), Lit('b'), Match(4, 2)}), INFLATE_OK, "ababab"});
    c.push_back({"fixed, data ends inside the block",
                 FixedBlock({Lit('x'), Lit('y')}, false).substr(0, 2), INFLATE_DAMAGED, ""});

    // Dynamic blocks over a hand-made code-length code.
    std::vector<int> cl = SmallClCode();
    auto body = [](BitWriter &w) {
        // literal codes: 'a' 00, 'b' 01, 256 10, 257 11 (canonical order)
        w.Code(0, 2);     // a
        w.Code(1, 2);     // b
        w.Code(3, 2);     // length 3
        w.Code(0, 1);     // distance symbol 0: 1
        w.Code(2, 2);     // end of block
    };
    c.push_back({"dynamic, one distance code of one bit (incomplete) accepted",
                 DynamicBlock(258, 1, cl, TwoLiteralsAndMatch(1), body), INFLATE_OK, "abbbb"});
    c.push_back({"dynamic, repeat past the lengths' end",
                 DynamicBlock(257, 1, cl, {{18, 127}, {18, 127}}), INFLATE_DAMAGED, ""});
    c.push_back({"dynamic, literal lengths all zero",
                 DynamicBlock(257, 1, cl, {{18, 127}, {18, 108}, {1, 0}}), INFLATE_DAMAGED, ""});
    {
        // Over-subscribed literal code: three codes of one bit.
        std::vector<ClSymbol> s = {{1, 0}, {1, 0}, {1, 0}, {18, 127}, {18, 116 - 11}, {2, 0}};
        c.push_back({"dynamic, over-subscribed literal code",
                     DynamicBlock(257, 1, cl, s), INFLATE_OVERSUBSCRIBED, ""});
    }
    {
        // No distance code at all: literals alone are fine ...
        std::vector<ClSymbol> s = TwoLiteralsAndMatch(0);
        c.push_back({"dynamic, no distance code, literals only",
                     DynamicBlock(258, 1, cl, s,
                                  [](BitWriter &w) { w.Code(0, 2), w.Code(1, 2), w.Code(2, 2); }),
                     INFLATE_OK, "ab"});
        // ... but a length code has no distance to go with it.
        c.push_back({"dynamic, no distance code, a length met",
                     DynamicBlock(258, 1, cl, s,
                                  [](BitWriter &w) { w.Code(0, 2), w.Code(3, 2), w.Code(0, 2); }),
                     INFLATE_DAMAGED, ""});
    }
    {
        // A code-length code with a single code (symbol 18, one bit): the
        // other one-bit slot is invalid, and the stream reaches it.
        std::vector<int> one(19, 0);
        one[18] = 1;
        BitWriter w;
        DynamicHeader(w, 257, 1, one);
        w.Bits(1, 1);  // the unused one-bit code
        w.Bits(0, 16);
        c.push_back({"dynamic, invalid slot of the code-length code",
                     w.Finish(), INFLATE_DAMAGED, ""});
    }
    return c;
}

TEST(InflateEdges, HandMadeStreams) {
    for (const StreamCase &c : Cases()) {
        SCOPED_TRACE(c.name);
        auto out = DecodeBlocks(c.stream);
        EXPECT_EQ(out.result, c.result);
        EXPECT_EQ(out.leaked, 0);
        if (c.result == INFLATE_OK) {
            EXPECT_EQ(out.output, c.expected);
            bool zlibOk = false;
            EXPECT_EQ(testutil::RawInflate(c.stream, &zlibOk), c.expected);
            EXPECT_TRUE(zlibOk);
        } else {
            // A failed block writes nothing that was still in the window, and
            // the whole entry never passes its CRC, not even an empty one.
            EXPECT_TRUE(out.output.empty());
            auto entry = codectest::InflateStream(c.stream, "");
            EXPECT_FALSE(entry.crcMatches);
            EXPECT_EQ(entry.leaked, 0);
        }
    }
}

// Input that runs out inside a coded block is fed as 1-bits only a few bytes
// long: the fixed code's 1-bits would otherwise decode as literal 255 forever.
TEST(InflateEdges, ExhaustedInputEndsTheBlock) {
    std::string stream = FixedBlock({Lit('x')}, false);
    for (size_t cut = 1; cut <= stream.size(); cut++) {
        auto out = DecodeBlocks(stream.substr(0, cut));
        EXPECT_EQ(out.result, INFLATE_DAMAGED) << cut;
        EXPECT_LE(out.output.size(), 1u) << cut;
        EXPECT_EQ(out.leaked, 0);
    }
}

// BuildHuffmanTable's own results: complete, incomplete, over-subscribed, no
// codes, and an allocation that fails at each step.
TEST(HuffmanTables, BuildResults) {
    struct Case {
        const char *name;
        std::vector<WORD> lengths;
        int result;
        bool hasRoot;
    };
    std::vector<WORD> longCodes(30, 0);
    for (int i = 0; i < 15; i++) longCodes[i] = (WORD)(i + 1);
    longCodes[15] = 15;  // 1, 2, ..., 15, 15: complete, 15 bits deep
    const Case cases[] = {
        {"complete", {2, 2, 2, 2}, INFLATE_OK, true},
        {"single one-bit code", {1, 0, 0}, INFLATE_OK, true},
        {"incomplete", {2, 2, 2, 0}, HUFFMAN_INCOMPLETE, true},
        {"over-subscribed", {1, 1, 1}, INFLATE_OVERSUBSCRIBED, false},
        {"all zero", {0, 0, 0, 0}, INFLATE_OK, false},
        {"deep complete", longCodes, INFLATE_OK, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        standin::Reset();
        long live = standin::LiveAllocations();
        HuffmanEntry *root = nullptr, *chain = nullptr;
        int width = 6;
        int result = BuildHuffmanTable(c.lengths.data(), (unsigned)c.lengths.size(), 0,
                                       DISTANCE_BASE, DISTANCE_EXTRA, root, chain, width);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(root != nullptr, c.hasRoot);
        if (!c.hasRoot) EXPECT_EQ(standin::LiveAllocations(), live);
        FreeHuffmanTables(chain);
        EXPECT_EQ(standin::LiveAllocations(), live);
    }
    // The deep code needs sub-tables: fail each allocation in turn.
    for (int n = 0; n < 20; n++) {
        standin::Reset();
        long live = standin::LiveAllocations();
        HuffmanEntry *root = nullptr, *chain = nullptr;
        int width = 6;
        standin::FailAllocationAfter(n);
        int result = BuildHuffmanTable(longCodes.data(), (unsigned)longCodes.size(), 0,
                                       DISTANCE_BASE, DISTANCE_EXTRA, root, chain, width);
        standin::FailAllocationAfter(-1);
        if (result == INFLATE_NO_MEMORY) {
            EXPECT_EQ(root, nullptr);
            EXPECT_EQ(chain, nullptr);
            EXPECT_EQ(standin::LiveAllocations(), live) << n;
        } else {
            EXPECT_EQ(result, INFLATE_OK);
            FreeHuffmanTables(chain);
            EXPECT_EQ(standin::LiveAllocations(), live);
            break;
        }
    }
}

}  // namespace
