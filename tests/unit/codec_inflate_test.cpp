// The DEFLATE decoder through InflateEntry, as the extraction pass calls it:
// zlib-made streams of every level and strategy, sizes around the window,
// encrypted entries, and the frame's edge cases (input countdown, flushes,
// short writes, memory failure, data that runs out).
#include <gtest/gtest.h>

#include "codec_harness.h"

namespace {

using codectest::Inflate;
using codectest::InflateSetup;
using codectest::InflateStream;

void ExpectDecodes(const std::string &data, const std::string &stream, const std::string &what) {
    auto out = InflateStream(stream, data);
    EXPECT_TRUE(out.crcMatches) << what;
    EXPECT_EQ(out.output.size(), data.size()) << what;
    EXPECT_TRUE(out.output == data) << what;
    EXPECT_EQ(out.leaked, 0) << what;
    EXPECT_LE(out.remaining, 0) << what;
}

TEST(InflateZlib, EveryLevelAndStrategy) {
    const std::string samples[] = {testutil::TextData(200000, 1), testutil::MixedData(150000, 2),
                                   testutil::RandomData(40000, 3)};
    for (const std::string &data : samples) {
        for (int level = 0; level <= 9; level++)
            ExpectDecodes(data, testutil::RawDeflate(data, level),
                          "level " + std::to_string(level) + " size " + std::to_string(data.size()));
        for (int strategy : {Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED})
            ExpectDecodes(data, testutil::RawDeflate(data, 6, strategy),
                          "strategy " + std::to_string(strategy));
        // Small windows and memory levels make more, shorter blocks.
        ExpectDecodes(data, testutil::RawDeflate(data, 9, Z_DEFAULT_STRATEGY, 9, 1), "window 9");
    }
}

// Sizes around the window (32768) and the input chunk, and a big entry.
TEST(InflateZlib, SizesAroundTheWindow) {
    for (size_t size : {0u, 1u, 2u, 257u, 32767u, 32768u, 32769u, 65535u, 65536u, 65537u, 98304u,
                        5u << 20}) {
        std::string data = testutil::MixedData(size, (uint32_t)size + 1);
        ExpectDecodes(data, testutil::RawDeflate(data, 6), "size " + std::to_string(size));
    }
}

// A random stretch repeated at its own length: every match reaches nearly a
// whole window back, across the flushes, from the window's older part.
TEST(InflateZlib, BackReferencesAcrossTheWindowFlush) {
    for (size_t period : {20000u, 32000u, 32506u}) {
        std::string unit = testutil::RandomData(period, (uint32_t)period);
        std::string data;
        while (data.size() < 300000) data += unit;
        std::string stream = testutil::RawDeflate(data, 9);
        ASSERT_LT(stream.size(), period + 20000) << "the repeats must be matches";
        ExpectDecodes(data, stream, "period " + std::to_string(period));
    }
}

// Stored blocks: 40000 bytes go out as one full window during the block and
// the rest at the end; exactly 32768 give one write and none at the end.
TEST(InflateFrame, StoredBlocksAndWindowWrites) {
    struct Case {
        size_t size;
        long writes;
    } cases[] = {{40000, 2}, {32768, 1}, {65536, 2}, {100, 1}, {0, 0}};
    for (const Case &c : cases) {
        std::string data = testutil::RandomData(c.size, 9);
        std::string stream = testutil::RawDeflate(data, 0);
        auto out = InflateStream(stream, data);
        EXPECT_TRUE(out.crcMatches) << c.size;
        EXPECT_TRUE(out.output == data) << c.size;
        EXPECT_EQ(out.writes, c.writes) << c.size;
    }
}

// The countdown: the decoder reads exactly the entry's bytes, never beyond,
// and stops at the final block however many bytes the entry claims.
TEST(InflateFrame, ReadsOnlyTheEntrysBytes) {
    std::string data = testutil::TextData(100000, 4);
    std::string stream = testutil::RawDeflate(data, 6);
    InflateSetup setup;
    setup.crc = testutil::Crc32(data);
    // Entry inside a file, with bytes before and after it.
    setup.file = std::string(1000, 'P') + stream + std::string(50000, 'K');
    setup.dataOffset = 1000;
    setup.compressedSize = (long)stream.size();
    auto out = Inflate(setup);
    EXPECT_TRUE(out.crcMatches);
    EXPECT_EQ(out.archivePosition, (long)(1000 + stream.size()));
    EXPECT_EQ(out.remaining, 0);
    // Claiming more than the stream: the stream's end still ends the entry,
    // and the file is read no further than the chunk the buffer holds.
    setup.compressedSize = (long)(stream.size() + 50000);
    out = Inflate(setup);
    EXPECT_TRUE(out.crcMatches);
    EXPECT_TRUE(out.output == data);
    long chunks = ((long)stream.size() + 32767) / 32768;
    EXPECT_LE(out.archivePosition, 1000 + chunks * 32768);
    // Claiming less: the data runs out, the entry fails.
    setup.compressedSize = (long)stream.size() - 10;
    out = Inflate(setup);
    EXPECT_FALSE(out.crcMatches);
    EXPECT_LE(out.archivePosition, (long)(1000 + stream.size() - 10));
    EXPECT_EQ(out.leaked, 0);
}

// An encrypted entry decodes to what the same stream gives in the clear, for
// sizes that end inside, at and after the 32768-byte input chunks.
TEST(InflateFrame, EncryptedEntriesMatchPlainOnes) {
    testutil::InitCrcTable();
    for (size_t size : {0u, 1000u, 120000u, 400000u}) {
        std::string data = testutil::RandomData(size / 2, 5) + testutil::TextData(size / 2, 5);
        std::string stream = testutil::RawDeflate(data, size % 2 ? 1 : 6);
        for (size_t cut : {(size_t)0, (size_t)32768 - 12, (size_t)32768}) {
            if (stream.size() < cut) continue;
            InflateSetup setup;
            std::string entry = zipkit::Encrypt(stream, "pw", 0x00);
            setup.file = std::string(cut % 7, 'x') + entry;
            setup.dataOffset = cut % 7 + 12;
            setup.flags = 1;
            setup.crc = testutil::Crc32(data);
            setup.keys = [&] { codectest::CheckBuffer(entry).Check(1, 0, 0, "pw"); };
            auto out = Inflate(setup);
            EXPECT_TRUE(out.crcMatches) << size;
            EXPECT_TRUE(out.output == data) << size;
        }
    }
}

// A full disk: WriteFile writes short. The entry must fail, not pass.
TEST(InflateFrame, ShortWritesFailTheEntry) {
    std::string data = testutil::TextData(100000, 6);
    InflateSetup setup;
    setup.file = testutil::RawDeflate(data, 6);
    setup.crc = testutil::Crc32(data);
    for (long limit : {1L, 1000L, 32767L}) {
        setup.writeLimit = limit;
        auto out = Inflate(setup);
        EXPECT_FALSE(out.crcMatches) << limit;
        EXPECT_LT(out.output.size(), data.size());
        EXPECT_EQ(out.leaked, 0);
        EXPECT_EQ(out.writes, 1) << "the entry stops at its first failed write";
    }
    // More output than the entry declares fails it there: nothing beyond is
    // written or decoded.
    for (DWORD declared : {0u, 32767u, 32768u, (DWORD)data.size() - 1}) {
        setup.writeLimit = 0;
        setup.uncompressedSize = declared;
        auto out = Inflate(setup);
        EXPECT_FALSE(out.crcMatches) << declared;
        EXPECT_LE(out.output.size(), declared) << declared;
        EXPECT_EQ(out.leaked, 0);
    }
    setup.uncompressedSize = (DWORD)data.size();
    EXPECT_TRUE(Inflate(setup).crcMatches);
    setup.uncompressedSize = 0xFFFFFFFF;
    // A small entry that fits: the limit does not bite, the entry passes.
    std::string small = "short";
    setup.file = testutil::RawDeflate(small, 6);
    setup.crc = testutil::Crc32(small);
    setup.writeLimit = 1000;
    EXPECT_TRUE(Inflate(setup).crcMatches);
}

// Every allocation the entry makes, failed in turn: nothing stays allocated,
// and the entry fails until all of them succeed.
TEST(InflateFrame, AllocationFailuresLeaveNothingAllocated) {
    // Dynamic blocks (tables per block) and then two fixed ones (cached tables).
    std::string data = testutil::MixedData(80000, 7);
    std::string stream = testutil::SyncFlushedDeflate(data);
    codectest::BitWriter w;
    for (int final = 0; final < 2; final++) {
        w.Bits(final, 1);
        w.Bits(1, 2);
        codectest::FixedLiteral(w, 'z');
        codectest::FixedMatch(w, 10, 1);
        codectest::FixedLiteral(w, 256);
    }
    stream += w.Finish();
    data += std::string(22, 'z');
    InflateSetup setup;
    setup.file = stream;
    setup.crc = testutil::Crc32(data);
    bool passed = false;
    for (int n = 0; n < 200 && !passed; n++) {
        auto out = codectest::RunDecoder(setup, [n] {
            standin::FailAllocationAfter(n);
            InflateEntry();
            standin::FailAllocationAfter(-1);
            return 0;
        });
        EXPECT_EQ(out.leaked, 0) << n;
        passed = out.crcMatches;
        if (!passed) EXPECT_LT(out.output.size(), data.size() + 1) << n;
    }
    EXPECT_TRUE(passed);
}

// Damaged data never passes: every prefix and many bit flips of a stream
// either decode to the right bytes or fail the CRC comparison, and nothing
// leaks or runs away.
TEST(InflateFrame, TruncatedAndCorruptedStreamsFail) {
    std::string data = testutil::MixedData(50000, 8);
    std::string stream = testutil::RawDeflate(data, 6);
    for (size_t cut = 0; cut < stream.size(); cut += 1 + cut / 3) {
        auto out = InflateStream(stream.substr(0, cut), data);
        EXPECT_FALSE(out.crcMatches) << cut;
        EXPECT_LE(out.output.size(), data.size()) << cut;
        EXPECT_EQ(out.leaked, 0);
    }
    uint32_t seed = 1;
    for (int i = 0; i < 300; i++) {
        seed = seed * 1103515245u + 12345u;
        std::string bad = stream;
        bad[(seed >> 8) % bad.size()] ^= (char)(1 << ((seed >> 4) % 8));
        auto out = InflateStream(bad, data);
        if (out.crcMatches) EXPECT_TRUE(out.output == data);
        EXPECT_EQ(out.leaked, 0);
        EXPECT_LE(out.output.size(), 4u << 20);
    }
}

// No data at all reads as 1-bits: final block of the reserved type.
TEST(InflateFrame, EmptyEntryFailsWithoutOutput) {
    InflateSetup setup;
    setup.file = "";
    setup.crc = 0;  // what an empty file would have
    auto out = Inflate(setup);
    EXPECT_TRUE(out.output.empty());
    EXPECT_FALSE(out.crcMatches);
    EXPECT_EQ(out.leaked, 0);
}

}  // namespace
