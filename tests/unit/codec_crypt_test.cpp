// Traditional ZIP decryption: the password check and the keystream against
// entries encrypted by Info-ZIP zip and 7z (made at test time), and the
// contract of CheckEncryptionHeader on a crafted header.
#include <gtest/gtest.h>

#include "codec_harness.h"

namespace {

using codectest::InflateSetup;
using testutil::TempDir;

struct ZipEntry {
    bool ok = false;
    uint16_t flags = 0, method = 0, modTime = 0;
    uint32_t crc = 0, compressedSize = 0;  // from the central directory
    size_t dataOffset = 0;                 // the 12-byte encryption header
    std::string file;                      // the whole archive
};

uint32_t Get32(const std::string &s, size_t at) {
    return (uint8_t)s[at] | (uint8_t)s[at + 1] << 8 | (uint8_t)s[at + 2] << 16 |
           (uint32_t)(uint8_t)s[at + 3] << 24;
}
uint16_t Get16(const std::string &s, size_t at) { return (uint8_t)s[at] | (uint8_t)s[at + 1] << 8; }

// The first entry of a one-entry ZIP: flags and time from the local header,
// CRC and size from the central directory (a descriptor may leave the local
// header's fields empty).
ZipEntry ReadFirstEntry(const std::string &zip) {
    ZipEntry e;
    e.file = zip;
    if (zip.size() < 52 || Get32(zip, 0) != 0x04034B50u) return e;
    e.flags = Get16(zip, 6);
    e.method = Get16(zip, 8);
    e.modTime = Get16(zip, 10);
    e.dataOffset = 30 + Get16(zip, 26) + Get16(zip, 28);
    size_t end = zip.rfind(std::string("PK\x05\x06", 4));
    if (end == std::string::npos) return e;
    size_t central = Get32(zip, end + 16);
    if (Get32(zip, central) != 0x02014B50u) return e;
    e.crc = Get32(zip, central + 16);
    e.compressedSize = Get32(zip, central + 20);
    e.ok = true;
    return e;
}

struct ToolCase {
    const char *name;
    const char *command;  // run in the folder holding f.bin; writes a.zip
    bool descriptorFlag;  // flag bit 3 expected
    uint16_t method;
};

const ToolCase TOOL_CASES[] = {
    {"zip -P", "zip -q -P 'pa55 word' a.zip f.bin", true, 8},
    {"zip -P -fd", "zip -q -fd -P 'pa55 word' a.zip f.bin", true, 8},
    {"zip -P -0", "zip -q -0 -P 'pa55 word' a.zip f.bin", true, 0},
    {"7z ZipCrypto", "7z a -tzip -mem=ZipCrypto '-ppa55 word' a.zip f.bin", false, 8},
    {"7z ZipCrypto stored", "7z a -tzip -mem=ZipCrypto -mx=0 '-ppa55 word' a.zip f.bin", false, 0},
};

// Each tool's entry: the right password passes by the rule of its flag, the
// keys it leaves decrypt the data (stored: by DecryptBuffer; deflated: through
// InflateEntry), and a password that fails the check byte is refused.
TEST(CryptArchives, RealToolsEncryptedEntriesDecrypt) {
    testutil::InitCrcTable();
    const std::string content = testutil::MixedData(70000, 11);
    for (const ToolCase &tool : TOOL_CASES) {
        SCOPED_TRACE(tool.name);
        TempDir dir("crypt");
        testutil::WriteHostFile(dir / "f.bin", content);
        ASSERT_EQ(testutil::RunCommand("cd '" + dir.path() + "' && " + tool.command), 0);
        ZipEntry e = ReadFirstEntry(testutil::ReadHostFile(dir / "a.zip"));
        ASSERT_TRUE(e.ok);
        ASSERT_EQ(e.flags & 1, 1);
        EXPECT_EQ((e.flags & 8) != 0, tool.descriptorFlag);
        EXPECT_EQ(e.method, tool.method);
        EXPECT_EQ(e.crc, testutil::Crc32(content));

        BYTE header[24];
        for (int i = 0; i < 12; i++) header[i] = header[12 + i] = (BYTE)e.file[e.dataOffset + i];
        ASSERT_TRUE(CheckEncryptionHeader(header, 12, e.flags, e.crc, e.modTime, "pa55 word"));
        // The rule that decided: time's high byte with bit 3, else the CRC's.
        EXPECT_EQ(header[11], (e.flags & 8) ? e.modTime >> 8 : e.crc >> 24);

        if (e.method == 0) {
            std::string data = e.file.substr(e.dataOffset + 12, e.compressedSize - 12);
            DecryptBuffer((BYTE *)&data[0], (DWORD)data.size());
            EXPECT_TRUE(data == content);
        } else {
            InflateSetup setup;
            setup.file = e.file;
            setup.dataOffset = e.dataOffset + 12;
            setup.compressedSize = e.compressedSize - 12;
            setup.flags = e.flags;
            setup.crc = e.crc;
            // The keys as the accepted check leaves them.
            setup.keys = [&] {
                BYTE h[24];
                for (int i = 0; i < 12; i++) h[i] = h[12 + i] = (BYTE)e.file[e.dataOffset + i];
                CheckEncryptionHeader(h, 12, e.flags, e.crc, e.modTime, "pa55 word");
            };
            auto out = codectest::Inflate(setup);
            EXPECT_TRUE(out.crcMatches);
            EXPECT_TRUE(out.output == content);
            EXPECT_EQ(out.leaked, 0);
        }
    }
}

// A crafted header: the check byte rule follows bit 3 only.
TEST(CryptCheck, FlagBit3ChoosesTimeOrCrc) {
    testutil::InitCrcTable();
    const uint32_t crc = 0xA1B2C3D4u;
    const uint16_t time = 0x7E00;
    struct Case {
        uint8_t checkByte;
        uint16_t flags;
        bool accepted;
    } cases[] = {
        {0xA1, 0x0001, true},   // CRC rule
        {0xA1, 0x0009, false},  // bit 3: the CRC no longer counts
        {0x7E, 0x0009, true},   // time rule
        {0x7E, 0x0001, false},
        {0x7E, 0x0809, true},   // other flag bits do not matter
    };
    for (const Case &c : cases) {
        std::string raw = codectest::EncryptEntry("", "secret", c.checkByte);
        BYTE header[24];
        for (int i = 0; i < 12; i++) header[i] = header[12 + i] = (BYTE)raw[i];
        EXPECT_EQ(CheckEncryptionHeader(header, 12, c.flags, crc, time, "secret"), c.accepted)
            << std::hex << (int)c.checkByte << " flags " << c.flags;
    }
}

TEST(CryptCheck, EmptyPasswordRefusedWithoutTouchingKeys) {
    testutil::InitCrcTable();
    std::string raw = codectest::EncryptEntry("", "", 0x12);
    BYTE header[24];
    for (int i = 0; i < 12; i++) header[i] = header[12 + i] = (BYTE)raw[i];
    key0 = 1;
    key1 = 2;
    key2 = 3;
    EXPECT_FALSE(CheckEncryptionHeader(header, 12, 1, 0x12000000u, 0, ""));
    EXPECT_EQ(key0, 1u);
    EXPECT_EQ(key1, 2u);
    EXPECT_EQ(key2, 3u);
    for (int i = 0; i < 12; i++) EXPECT_EQ(header[i], (BYTE)raw[i]);
}

// The raw half is never written, so passwords can be tried one after another;
// after an accepted check the keys are those of the password run over the 12
// plain header bytes.
TEST(CryptCheck, RepeatedChecksOnOneBufferAndKeysAfterwards) {
    testutil::InitCrcTable();
    std::string raw = codectest::EncryptEntry("", "right", 0x5A);
    BYTE header[24];
    for (int i = 0; i < 12; i++) header[i] = header[12 + i] = (BYTE)raw[i];
    const uint32_t crc = 0x5A000000u;
    // "wrong" decrypts this header to a check byte other than 0x5A (the header
    // is fixed, so this stays true).
    EXPECT_FALSE(CheckEncryptionHeader(header, 12, 1, crc, 0, "wrong"));
    EXPECT_TRUE(CheckEncryptionHeader(header, 12, 1, crc, 0, "right"));
    EXPECT_FALSE(CheckEncryptionHeader(header, 12, 1, crc, 0, "Right"));
    EXPECT_TRUE(CheckEncryptionHeader(header, 12, 1, crc, 0, "right"));
    for (int i = 0; i < 12; i++) EXPECT_EQ(header[12 + i], (BYTE)raw[i]);
    DWORD k0 = key0, k1 = key1, k2 = key2;
    InitKeys("right");
    for (int i = 0; i < 12; i++) UpdateKeys(header[i]);
    EXPECT_EQ(key0, k0);
    EXPECT_EQ(key1, k1);
    EXPECT_EQ(key2, k2);
    // And the test cipher agrees on the plain header.
    std::string plainHeader = testutil::RandomData(11, 7) + '\x5A';
    for (int i = 0; i < 12; i++) EXPECT_EQ(header[i], (BYTE)plainHeader[i]);
}

TEST(CryptDecrypt, PieceSizesDoNotMatterAndLongPasswordsWrap) {
    testutil::InitCrcTable();
    const std::string plain = testutil::MixedData(100000, 3);
    const std::string cipher = codectest::TestCipher("k").Encrypt(plain);
    for (size_t piece : {1u, 12u, 4095u, 32768u, 100000u}) {
        InitKeys("k");
        std::string data = cipher;
        for (size_t at = 0; at < data.size(); at += piece)
            DecryptBuffer((BYTE *)&data[at], (DWORD)std::min(piece, data.size() - at));
        EXPECT_TRUE(data == plain) << piece;
    }
    // The length counter is one byte: 300 characters act as their first 44.
    std::string longPassword = testutil::TextData(300, 9);
    InitKeys(longPassword.c_str());
    DWORD k0 = key0, k1 = key1, k2 = key2;
    InitKeys(longPassword.substr(0, 44).c_str());
    EXPECT_EQ(key0, k0);
    EXPECT_EQ(key1, k1);
    EXPECT_EQ(key2, k2);
    // Bytes above 0x7F count as unsigned.
    codectest::TestCipher high("\xE9t\xE9");
    InitKeys("\xE9t\xE9");
    EXPECT_EQ(key0, high.k0);
    EXPECT_EQ(key1, high.k1);
    EXPECT_EQ(key2, high.k2);
}

}  // namespace
