// Fuzz target: arbitrary bytes as one deflated entry's compressed data, through
// InflateEntry exactly as the extraction pass calls it (archive file positioned
// at the data, remainingCompressed set, entryCrc preset, output to outputHandle).
//
// The first byte picks the scene, the rest is the stream:
//   bit 0      encrypted: the stream is enciphered here with the keys that a
//              fixed password leaves, so the decoder sees the fuzzer's bytes
//              after its own decryption (flags bit 0 set)
//   bit 1      short writes: every WriteFile takes at most 4096 bytes
//   bits 2-3   2: the entry claims 1000 bytes more than the file holds
//              3: the heap fails the allocation (bits 4-7) * 2 calls from now
//
// Beyond what the sanitizers catch, a run fails (abort) when
//   - a heap block of the decoder is left over,
//   - the archive file stands beyond the entry's data (bytes of the next record
//     follow it in the file) or remainingCompressed went below -1,
//   - more output was asked for than the input can encode: every code is at
//     least one bit and at most 258 bytes come from a two-bit length/distance
//     pair, so at most 129 bytes per bit, counting the 1-bits the decoder may
//     supply past the end (INPUT_OVERRUN_LIMIT bytes),
//   - an entry that ends well does not hold exactly the bytes asked of the
//     writes, or its CRC register does not match them,
//   - with no fault injected: zlib's raw inflate decodes the stream to its end
//     but the decoder fails or gives other bytes; and when the decoder ends well
//     on a stream that zlib refuses (an incomplete distance code, a first
//     length repeat, 1-bits past the end, ...), its output must still begin with
//     what zlib decoded before it stopped.
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "app/SFXgbls.h"
#include "archive/extract.h"
#include "codec/SFXinflt.h"
#include "codec/crc32.h"
#include "codec/crypt.h"
#include "codec/inflate_internal.h"
#include "platform/posix/standin.h"

namespace {

const char PASSWORD[] = "pw";
// What follows the entry in the file: the next record, which must stay unread.
const char TRAILER[] = "PK\x01\x02 the central directory follows the entry data";
// The header CRC the entry claims. A failed decode leaves exactly this value in
// entryCrc (so that the entry can never pass); a good one leaves the register.
const DWORD FAILED_MARK = 0x5EC7A1D5u;

std::string folder, archivePath, outputPath;

void RemoveFolder() {
    std::remove(standin::HostPath(archivePath).c_str());
    std::remove(outputPath.c_str());
    rmdir(folder.c_str());
}

void Setup() {
    char pattern[] = "/dev/shm/sfx-fuzz-inflate-XXXXXX";
    char *dir = mkdtemp(pattern);
    if (!dir) {
        std::strcpy(pattern, "/tmp/sfx-fuzz-inflate-XXXXXX");
        dir = mkdtemp(pattern);
    }
    if (!dir) abort();
    folder = dir;
    std::atexit(RemoveFolder);
    archivePath = standin::WindowsPath(std::string(dir) + "/archive.bin");
    outputPath = std::string(dir) + "/output.bin";
    static DWORD table[257];
    crcTable = table;
    MakeCrcTable();
}

std::string ReadAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

DWORD Crc32(const std::string &s) {
    return (DWORD)crc32(0, (const Bytef *)s.data(), (uInt)s.size());
}

// zlib's raw inflate, 32 KB window; true when the stream ends within the data.
bool ZlibInflate(const uint8_t *data, size_t size, std::string &out) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) abort();
    z.next_in = (Bytef *)data;
    z.avail_in = (uInt)size;
    unsigned char buffer[65536];
    int rc;
    do {
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        rc = inflate(&z, Z_NO_FLUSH);
        out.append((const char *)buffer, sizeof buffer - z.avail_out);
    } while (rc == Z_OK);
    inflateEnd(&z);
    return rc == Z_STREAM_END;
}

void Fail(const char *what) {
    std::fprintf(stderr, "fuzz_inflate: %s\n", what);
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (archivePath.empty()) Setup();
    if (size == 0) return 0;
    const uint8_t mode = data[0];
    const uint8_t *stream = data + 1;
    const size_t length = size - 1;
    const bool encrypted = mode & 1;
    const bool shortWrites = mode & 2;
    const bool claimsMore = ((mode >> 2) & 3) == 2;
    const bool failHeap = ((mode >> 2) & 3) == 3;
    const LONG claimed = (LONG)length + (claimsMore ? 1000 : 0);

    // The archive file: the (enciphered) stream, then the next record, unless
    // the file is to end early.
    std::string file((const char *)stream, length);
    if (encrypted) {
        InitKeys(PASSWORD);
        for (char &c : file) {
            BYTE plain = (BYTE)c;
            c = (char)(plain ^ DecryptByte());
            UpdateKeys(plain);
        }
    }
    if (!claimsMore) file.append(TRAILER, sizeof TRAILER - 1);
    FILE *f = std::fopen(standin::HostPath(archivePath).c_str(), "wb");
    if (!f || std::fwrite(file.data(), 1, file.size(), f) != file.size()) abort();
    std::fclose(f);

    archiveHandle = CreateFileA(archivePath.c_str(), GENERIC_READ, FILE_SHARE_READ, 0,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    outputHandle = CreateFileA(standin::WindowsPath(outputPath).c_str(), GENERIC_WRITE,
                               FILE_SHARE_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    if (archiveHandle == INVALID_HANDLE_VALUE || outputHandle == INVALID_HANDLE_VALUE) abort();

    localHeader = LocalHeader{};
    localHeader.method = 8;
    localHeader.flags = encrypted ? 1 : 0;
    localHeader.crc32 = FAILED_MARK;
    localHeader.compressedSize = (DWORD)claimed;
    remainingCompressed = claimed;
    if (encrypted) InitKeys(PASSWORD);  // as an accepted password check leaves them
    entryCrc = 0xFFFFFFFFu;

    const long live = standin::LiveAllocations();
    const long long bytesBefore = standin::WriteBytes();
    standin::SetWriteLimit(shortWrites ? 4096 : 0);
    standin::FailAllocationAfter(failHeap ? (mode >> 4) * 2 : -1);

    InflateEntry();

    standin::FailAllocationAfter(-1);
    standin::SetWriteLimit(0);
    const long long asked = standin::WriteBytes() - bytesBefore;
    const DWORD position = SetFilePointer(archiveHandle, 0, 0, FILE_CURRENT);
    CloseHandle(archiveHandle);
    CloseHandle(outputHandle);
    archiveHandle = 0;
    outputHandle = 0;

    if (standin::LiveAllocations() != live) Fail("a heap block was left over");
    if (position > length) Fail("read beyond the entry's compressed data");
    if (remainingCompressed < -1) Fail("remainingCompressed went below -1");
    if (asked > 1032LL * (long long)(length + INPUT_OVERRUN_LIMIT))
        Fail("more output than the input can encode");

    const bool decoded = entryCrc != FAILED_MARK;
    std::string output;
    if (decoded) {
        output = ReadAll(outputPath);
        if ((long long)output.size() != asked) Fail("good entry, but the file lacks bytes");
        if ((entryCrc ^ 0xFFFFFFFFu) != Crc32(output)) Fail("CRC register does not match the output");
    }
    if (!shortWrites && !failHeap) {
        std::string expected;
        if (ZlibInflate(stream, length, expected)) {
            if (!decoded) Fail("zlib decodes the stream, the decoder fails");
            if (output != expected) Fail("the decoder's output differs from zlib's");
        } else if (decoded && output.compare(0, expected.size(), expected) != 0) {
            // zlib stops at the first thing it refuses; up to there both agree.
            Fail("the decoder's output does not start with what zlib decoded");
        }
    }
    return 0;
}
