// The completeness check of an Authenticode-signed self-extractor (app/config.cpp,
// VerifyArchiveSize): the certificate table that the PE header's security entry
// declares is not part of the ZIP data when it ends exactly at the end of the file.
#include <gtest/gtest.h>

#include "app/SFXgbls.h"
#include "app/config.h"
#include "platform/posix/standin.h"
#include "support/archives.h"

namespace {

void Put32(std::string &s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) s[at + i] = char(v >> (8 * i));
}

// A certificate table of `size` bytes: one WIN_CERTIFICATE whose dwLength,
// revision and type are given (by default the whole table, 0x0200, PKCS#7).
std::string Cert(uint32_t size, uint32_t length = 0, uint16_t revision = 0x200, uint16_t type = 2) {
    std::string t(size, 'T');
    Put32(t, 0, length ? length : size);
    Put32(t, 4, revision | uint32_t(type) << 16);
    return t;
}

// A self-extractor whose ZIP has a comment of `commentLength` bytes, then
// `padding`, then a certificate table that the security entry at e_lfanew +
// 0x98 declares, `entrySize` bytes long (default: the table's); `after`
// follows the table. The entry's data is sized so that the table starts on an
// 8-byte boundary, `shift` bytes past it. An empty table leaves the entry zero.
std::string Signed(const std::string &padding, const std::string &table = Cert(100),
                   size_t commentLength = 0, const std::string &after = "", uint32_t lfanew = 0x80,
                   uint32_t entrySize = 0, size_t shift = 0) {
    std::string file;
    for (size_t extra = 0; extra < 8; extra++) {
        std::string zip = zipkit::CraftZip({{"a.txt", "alpha" + std::string(extra, 'x')}});
        zip[zip.size() - 2] = char(commentLength), zip[zip.size() - 1] = char(commentLength >> 8);
        file = archives::WrapSfx(zip + std::string(commentLength, '\0'), 0);
        if ((file.size() + padding.size()) % 8 == shift) break;
    }
    Put32(file, 0x3C, lfanew);
    if (!table.empty()) {
        Put32(file, lfanew + 0x98, uint32_t(file.size() + padding.size()));
        Put32(file, lfanew + 0x9C, entrySize ? entrySize : uint32_t(table.size()));
    }
    return file + padding + table + after;
}

TEST(SignedSfx, Completeness) {
    archives::TempDir dir("signed");
    std::string good = Signed("");
    // One byte of the ZIP data lost, the table (and its entry) still in place.
    std::string cutData = good.substr(0, good.size() - 101) + Cert(100);
    Put32(cutData, 0x80 + 0x98, uint32_t(cutData.size() - 100));
    struct { const char *what; std::string file; bool ok; } cases[] = {
        {"signed, table right after the end record", good, true},
        {"signed, 3 zero bytes before the table", Signed(std::string(3, '\0')), true},
        {"signed, 7 zero bytes before the table", Signed(std::string(7, '\0')), true},
        {"signed, e_lfanew 0x100", Signed("", Cert(100), 0, "", 0x100), true},
        {"signed, comment ending in zero bytes", Signed("", Cert(100), 5), true},
        {"signed, 64 KiB comment and 7 bytes", Signed(std::string(7, '\0'), Cert(8), 65535), true},
        {"signed, 8 zero bytes before the table", Signed(std::string(8, '\0')), false},
        {"signed, a non-zero byte before the table", Signed(std::string("\0\0x\0", 4)), false},
        {"signed, one byte after the table", Signed("", Cert(100), 0, "x"), false},
        {"signed, table cut", good.substr(0, good.size() - 1), false},
        {"signed, ZIP data cut before the table", cutData, false},
        {"unsigned, one zero byte appended", Signed("", "", 0, std::string(1, '\0')), false},
        {"unsigned, complete", Signed("", ""), true},
        // Only the table the header describes moves the end of the data.
        {"unsigned, the entry pointed at appended junk", Signed("", std::string(100, 'J')), false},
        {"signed, the entry grown over appended junk",
         Signed("", Cert(100) + std::string(60, 'J'), 0, "", 0x80, 160), false},
        {"signed, dwLength not the entry's size", Signed("", Cert(100, 96)), false},
        {"signed, revision 0x0100", Signed("", Cert(100, 0, 0x100)), false},
        {"signed, an X.509 certificate type", Signed("", Cert(100, 0, 0x200, 1)), false},
        {"signed, table off its 8-byte boundary",
         Signed(std::string(3, '\0'), Cert(100), 0, "", 0x80, 0, 4), false},
    };
    for (auto &k : cases) {
        SCOPED_TRACE(k.what);
        standin::Reset();
        testutil::WriteHostFile(dir / "sfx.exe", k.file);
        archiveHandle = CreateFileA(standin::WindowsPath(dir / "sfx.exe").c_str(), GENERIC_READ,
                                    FILE_SHARE_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
        ASSERT_NE(archiveHandle, INVALID_HANDLE_VALUE);
        archiveStart = archives::SfxArchiveStart();
        SeekArchive(archiveStart, FILE_BEGIN);
        EXPECT_EQ(VerifyArchiveSize(), k.ok);
        EXPECT_EQ(SeekArchive(0, FILE_CURRENT), (DWORD)archiveStart);
        CloseHandle(archiveHandle);
        EXPECT_EQ(standin::LiveAllocations(), 0);
    }
    standin::Reset();
}

}  // namespace
