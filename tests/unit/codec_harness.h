// Test harness of the codec tests: runs the decoder over bytes through the
// stand-in's files (as the extraction pass sets an entry up, support/inflate_run.h),
// checks passwords on a buffer laid out as the pass lays it out, and builds
// DEFLATE streams bit by bit. The cipher and zlib, the oracles the product is
// checked against, come from zipkit and testutil.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/SFXgbls.h"
#include "codec/SFXinflt.h"
#include "codec/crc32.h"
#include "codec/crypt.h"
#include "codec/inflate_internal.h"
#include "platform/posix/standin.h"
#include "support/inflate_run.h"
#include "support/testutil.h"
#include "support/zipkit.h"

namespace codectest {

// ---- running the decoder -------------------------------------------------------------

// The entry (its paths are RunDecoder's) and the archive file around it.
struct InflateSetup : testutil::EntrySetup {
    std::string file;     // the "archive": bytes around the entry's data
    long writeLimit = 0;  // standin::SetWriteLimit during the run
};

struct InflateOutcome {
    std::string output;      // what the output file holds afterwards
    uint32_t finalCrc = 0;   // entryCrc XOR 0xFFFFFFFF
    bool crcMatches = false; // what the extraction pass would decide
    long leaked = 0;         // stand-in heap blocks left over
    LONG remaining = 0;      // remainingCompressed afterwards
    long writes = 0;         // WriteFile calls
    long archivePosition = 0;  // position of the archive file afterwards
    int result = -1;         // DecodeBlocks only: the first nonzero block result, or 0
};

// Writes the archive file, runs `decode` over the entry (testutil::RunEntry)
// and gathers what it left.
inline InflateOutcome RunDecoder(const InflateSetup &setup, const std::function<int()> &decode) {
    testutil::InitCrcTable();
    testutil::TempDir dir("codec");
    testutil::EntrySetup entry = setup;
    entry.archivePath = dir / "archive.bin";
    entry.outputPath = dir / "output.bin";
    testutil::WriteHostFile(entry.archivePath, setup.file);
    standin::Reset();
    InflateOutcome outcome;
    testutil::EntryEnd end = testutil::RunEntry(entry, [&] {
        standin::SetWriteLimit(setup.writeLimit);
        long live = standin::LiveAllocations();
        long writesBefore = standin::WriteCalls();
        int result = decode();
        outcome.leaked = standin::LiveAllocations() - live;
        outcome.writes = standin::WriteCalls() - writesBefore;
        standin::SetWriteLimit(0);
        return result;
    });
    outcome.result = end.result;
    outcome.remaining = end.remaining;
    outcome.archivePosition = end.archivePosition;
    outcome.finalCrc = end.entryCrc ^ 0xFFFFFFFFu;
    outcome.crcMatches = outcome.finalCrc == setup.crc;
    outcome.output = testutil::ReadHostFile(entry.outputPath);
    return outcome;
}

// The entry call, as the extraction pass makes it.
inline InflateOutcome Inflate(const InflateSetup &setup) {
    return RunDecoder(setup, [] {
        InflateEntry();
        return -1;
    });
}

// A plain entry whose data is exactly `stream`, expected to give `expected`.
inline InflateOutcome InflateStream(const std::string &stream, const std::string &expected) {
    InflateSetup setup;
    setup.file = stream;
    setup.crc = testutil::Crc32(expected);
    return Inflate(setup);
}

// The same call, for its result code: the first nonzero block result (0 when
// the final block ended well).
inline InflateOutcome DecodeBlocks(const std::string &stream) {
    InflateSetup setup;
    setup.file = stream;
    return RunDecoder(setup, [] { return InflateEntry(); });
}

// ---- the password check ----------------------------------------------------------------

// The 24-byte buffer of CheckEncryptionHeader, laid out as the extraction pass
// lays it out: the raw encryption header in bytes 12-23; bytes 0-11 receive the
// decrypted one and start as a copy of the raw bytes, so that a test sees
// whether anything was written there.
struct CheckBuffer {
    BYTE bytes[24];
    explicit CheckBuffer(const std::string &raw) {
        for (int i = 0; i < 12; i++) bytes[i] = bytes[12 + i] = (BYTE)raw[i];
    }
    bool Check(WORD flags, DWORD crc, WORD modTime, const char *password) {
        return CheckEncryptionHeader(bytes, 12, flags, crc, modTime, password);
    }
};

// ---- writing streams by hand -------------------------------------------------------------

struct BitWriter {
    std::string bytes;
    uint32_t pending = 0;
    int pendingBits = 0;
    // `count` bits of `value`, low bit first (header fields, extra bits).
    void Bits(uint32_t value, int count) {
        for (int i = 0; i < count; i++) {
            pending |= ((value >> i) & 1) << pendingBits;
            if (++pendingBits == 8) {
                bytes += (char)pending;
                pending = 0;
                pendingBits = 0;
            }
        }
    }
    // A Huffman code: its first bit is the code's most significant one.
    void Code(uint32_t code, int length) {
        for (int i = length - 1; i >= 0; i--) Bits((code >> i) & 1, 1);
    }
    void AlignToByte() {
        if (pendingBits) Bits(0, 8 - pendingBits);
    }
    std::string Finish() {
        AlignToByte();
        return bytes;
    }
};

// Canonical codes of a set of lengths (RFC 1951, 3.2.2).
inline std::vector<uint32_t> CanonicalCodes(const std::vector<int> &lengths) {
    int count[17] = {0};
    for (int l : lengths) count[l]++;
    count[0] = 0;
    uint32_t next[17] = {0}, code = 0;
    for (int bits = 1; bits <= 16; bits++) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    std::vector<uint32_t> codes(lengths.size());
    for (size_t i = 0; i < lengths.size(); i++)
        if (lengths[i]) codes[i] = next[lengths[i]]++;
    return codes;
}

// Fixed codes (RFC 1951, 3.2.6).
inline void FixedLiteral(BitWriter &w, int symbol) {
    if (symbol < 144) w.Code(0x30 + symbol, 8);
    else if (symbol < 256) w.Code(0x190 + symbol - 144, 9);
    else if (symbol < 280) w.Code(symbol - 256, 7);
    else w.Code(0xC0 + symbol - 280, 8);
}
inline void FixedDistance(BitWriter &w, int symbol) { w.Code(symbol, 5); }

// A length/distance pair with the fixed codes, from the RFC's tables.
inline void FixedMatch(BitWriter &w, int length, int distance) {
    static const int lbase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const int lextra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static const int dbase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                  33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                  1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static const int dextra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                   6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    int ls = 28;
    while (lbase[ls] > length) ls--;
    FixedLiteral(w, 257 + ls);
    w.Bits(length - lbase[ls], lextra[ls]);
    int ds = 29;
    while (dbase[ds] > distance) ds--;
    FixedDistance(w, ds);
    w.Bits(distance - dbase[ds], dextra[ds]);
}

}  // namespace codectest
