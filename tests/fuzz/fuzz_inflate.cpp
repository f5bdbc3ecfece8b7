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

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "codec/crypt.h"
#include "codec/inflate_internal.h"
#include "platform/posix/standin.h"
#include "support/inflate_run.h"
#include "support/testutil.h"
#include "support/zipkit.h"

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
    testutil::InitCrcTable();
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
    const std::string plainStream((const char *)stream, length);

    // The archive file: the (enciphered) stream, then the next record, unless
    // the file is to end early.
    std::string file = encrypted ? zipkit::Cipher(PASSWORD).Encrypt(plainStream) : plainStream;
    if (!claimsMore) file.append(TRAILER, sizeof TRAILER - 1);
    if (!testutil::WriteHostFile(standin::HostPath(archivePath), file)) abort();

    testutil::EntrySetup entry;
    entry.archivePath = archivePath;
    entry.outputPath = standin::WindowsPath(outputPath);
    entry.compressedSize = claimed;
    entry.flags = encrypted ? 1 : 0;
    entry.crc = FAILED_MARK;
    if (encrypted) entry.keys = [] { InitKeys(PASSWORD); };  // as an accepted password check leaves them
    long live = 0;
    long long asked = 0;
    const testutil::EntryEnd end = testutil::RunEntry(entry, [&] {
        live = standin::LiveAllocations();
        const long long bytesBefore = standin::WriteBytes();
        standin::SetWriteLimit(shortWrites ? 4096 : 0);
        standin::FailAllocationAfter(failHeap ? (mode >> 4) * 2 : -1);
        InflateEntry();
        standin::FailAllocationAfter(-1);
        standin::SetWriteLimit(0);
        asked = standin::WriteBytes() - bytesBefore;
        return 0;
    });
    if (!end.opened) abort();

    if (standin::LiveAllocations() != live) Fail("a heap block was left over");
    if ((size_t)end.archivePosition > length) Fail("read beyond the entry's compressed data");
    if (end.remaining < -1) Fail("remainingCompressed went below -1");
    if (asked > 1032LL * (long long)(length + INPUT_OVERRUN_LIMIT))
        Fail("more output than the input can encode");

    const bool decoded = end.entryCrc != FAILED_MARK;
    std::string output;
    if (decoded) {
        output = testutil::ReadHostFile(outputPath);
        if ((long long)output.size() != asked) Fail("good entry, but the file lacks bytes");
        if ((end.entryCrc ^ 0xFFFFFFFFu) != testutil::Crc32(output))
            Fail("CRC register does not match the output");
    }
    if (!shortWrites && !failHeap) {
        bool zlibEnds = false;
        const std::string expected = testutil::RawInflate(plainStream, &zlibEnds);
        if (zlibEnds) {
            if (!decoded) Fail("zlib decodes the stream, the decoder fails");
            if (output != expected) Fail("the decoder's output differs from zlib's");
        } else if (decoded && output.compare(0, expected.size(), expected) != 0) {
            // zlib stops at the first thing it refuses; up to there both agree.
            Fail("the decoder's output does not start with what zlib decoded");
        }
    }
    return 0;
}
