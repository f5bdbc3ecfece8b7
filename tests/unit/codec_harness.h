// Test harness of the codec tests: runs the decoder over bytes through the
// stand-in's files, builds DEFLATE streams bit by bit, and encrypts with the
// traditional ZIP cipher (written here from the format description, apart from
// the product code, so that the two check each other).
#pragma once
#include <zlib.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/SFXgbls.h"
#include "archive/extract.h"
#include "codec/SFXinflt.h"
#include "codec/crc32.h"
#include "codec/crypt.h"
#include "codec/inflate_internal.h"
#include "platform/memory.h"
#include "platform/posix/standin.h"
#include "support/testutil.h"

namespace codectest {

// ---- running the decoder -------------------------------------------------------------

struct InflateSetup {
    std::string file;              // the "archive": bytes around the entry's data
    size_t dataOffset = 0;         // where the entry's data starts in `file`
    long compressedSize = -1;      // remainingCompressed; -1: file.size() - dataOffset
    uint16_t flags = 0;            // localHeader.flags (bit 0: encrypted)
    uint32_t crc = 0;              // localHeader.crc32
    long writeLimit = 0;           // standin::SetWriteLimit during the run
    std::function<void()> keys;    // sets the keys for an encrypted entry
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

// Opens the two files as the extraction pass would, runs `decode`, closes them.
inline InflateOutcome RunDecoder(const InflateSetup &setup, const std::function<int()> &decode) {
    testutil::InitCrcTable();
    testutil::TempDir dir("codec");
    std::string archivePath = dir / "archive.bin", outputPath = dir / "output.bin";
    testutil::WriteHostFile(archivePath, setup.file);
    standin::Reset();
    archiveHandle = CreateFileA(archivePath.c_str(), GENERIC_READ, FILE_SHARE_READ, 0,
                                OPEN_EXISTING, 0, 0);
    outputHandle = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, 0,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    SetFilePointer(archiveHandle, (LONG)setup.dataOffset, 0, FILE_BEGIN);
    localHeader = LocalHeader{};
    localHeader.flags = setup.flags;
    localHeader.crc32 = setup.crc;
    localHeader.method = 8;
    remainingCompressed = setup.compressedSize >= 0
                              ? (LONG)setup.compressedSize
                              : (LONG)(setup.file.size() - setup.dataOffset);
    if (setup.keys) setup.keys();
    entryCrc = 0xFFFFFFFFu;
    standin::SetWriteLimit(setup.writeLimit);
    long live = standin::LiveAllocations();
    long writesBefore = standin::WriteCalls();
    InflateOutcome outcome;
    outcome.result = decode();
    outcome.leaked = standin::LiveAllocations() - live;
    outcome.writes = standin::WriteCalls() - writesBefore;
    outcome.remaining = remainingCompressed;
    outcome.archivePosition = (long)SetFilePointer(archiveHandle, 0, 0, FILE_CURRENT);
    standin::SetWriteLimit(0);
    CloseHandle(archiveHandle);
    CloseHandle(outputHandle);
    archiveHandle = 0;
    outputHandle = 0;
    outcome.finalCrc = entryCrc ^ 0xFFFFFFFFu;
    outcome.crcMatches = outcome.finalCrc == setup.crc;
    outcome.output = testutil::ReadHostFile(outputPath);
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

// The block loop of InflateEntry, run by hand so that the result codes show:
// the first nonzero block result (0 when the final block ended well).
inline InflateOutcome DecodeBlocks(const std::string &stream) {
    InflateSetup setup;
    setup.file = stream;
    return RunDecoder(setup, [] {
        inputPos = 0;
        inputCount = 0;
        windowPos = 0;
        bitCount = 0;
        bitBuffer = 0;
        windowWrapped = false;
        inputOverrun = 0;
        outputShort = false;
        inputBuffer = (BYTE *)MemAlloc(BUFFER_BLOCK_SIZE);
        windowBuffer = (BYTE *)MemAlloc(BUFFER_BLOCK_SIZE);
        EmptyFixedCache();
        int final = 0, result;
        do result = DecodeBlock(final);
        while (result == 0 && !final);
        if (result == 0 && windowPos) FlushWindow(windowPos);
        EmptyFixedCache();
        MemFree(inputBuffer);
        MemFree(windowBuffer);
        inputBuffer = windowBuffer = 0;
        return result;
    });
}

// What zlib's raw inflate makes of a stream; `ok` false when zlib refuses it.
inline std::string ZlibInflate(const std::string &stream, bool *ok = nullptr) {
    z_stream z{};
    inflateInit2(&z, -15);
    std::string out;
    char buffer[65536];
    z.next_in = (Bytef *)stream.data();
    z.avail_in = (uInt)stream.size();
    int rc;
    do {
        z.next_out = (Bytef *)buffer;
        z.avail_out = sizeof buffer;
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - z.avail_out);
    } while (rc == Z_OK && (z.avail_in > 0 || z.avail_out == 0));
    inflateEnd(&z);
    if (ok) *ok = rc == Z_STREAM_END;
    return out;
}

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

// A dynamic block header whose code-length code gives every length 0-15 four
// bits (a complete code), followed by the lengths one by one.
inline void DynamicHeader(BitWriter &w, bool final, const std::vector<int> &literalLengths,
                          const std::vector<int> &distanceLengths) {
    w.Bits(final, 1);
    w.Bits(2, 2);
    w.Bits((uint32_t)literalLengths.size() - 257, 5);
    w.Bits((uint32_t)distanceLengths.size() - 1, 5);
    w.Bits(15, 4);  // all 19 code-length lengths follow
    static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    for (int i = 0; i < 19; i++) w.Bits(order[i] < 16 ? 4 : 0, 3);
    for (int l : literalLengths) w.Code(l, 4);
    for (int l : distanceLengths) w.Code(l, 4);
}

// ---- the traditional cipher, test side --------------------------------------------------

struct TestCipher {
    uint32_t k0 = 0x12345678, k1 = 0x23456789, k2 = 0x34567890;
    static uint32_t CrcStep(uint32_t crc, uint8_t b) {
        crc ^= b;
        for (int i = 0; i < 8; i++) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
        return crc;
    }
    void Update(uint8_t plain) {
        k0 = CrcStep(k0, plain);
        k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
        k2 = CrcStep(k2, (uint8_t)(k1 >> 24));
    }
    uint8_t Stream() const {
        uint32_t t = (k2 & 0xFFFF) | 2;
        return (uint8_t)((t * (t ^ 1)) >> 8);
    }
    explicit TestCipher(const std::string &password) {
        for (unsigned char c : password) Update(c);
    }
    std::string Encrypt(const std::string &plain) {
        std::string out(plain);
        for (char &c : out) {
            uint8_t p = (uint8_t)c;
            c = (char)(p ^ Stream());
            Update(p);
        }
        return out;
    }
};

// 12-byte encryption header (the first 11 bytes from `seed`, then `checkByte`)
// followed by the encrypted data.
inline std::string EncryptEntry(const std::string &data, const std::string &password,
                                uint8_t checkByte, uint32_t seed = 7) {
    std::string header = testutil::RandomData(11, seed);
    header += (char)checkByte;
    TestCipher cipher(password);
    return cipher.Encrypt(header + data);
}

}  // namespace codectest
