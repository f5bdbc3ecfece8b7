// mksfx checks: the stub is ours before anything is built on it, and the output
// is read back before it is renamed into place.
//
// The output's own check walks the ZIP data the way the stub walks it, local
// header after local header from the configuration header's end, 16-byte
// descriptors stepped over, and holds each entry against its central directory
// record (the one other ZIP readers use): offset, name, method, flags, CRC-32
// and sizes. The walk must end exactly where the central directory starts and
// its end record must end the file. A difference is a fault of the builder,
// reported as such; it is never shipped.
#include "mksfx.h"

#include <cerrno>
#include <cstring>

namespace mksfx {

namespace {

// The optional header's CheckSum field, after the PE signature (4 bytes), the
// file header (20 bytes) and 64 bytes of the optional header.
constexpr uint32_t kPeChecksumField = 4 + 20 + 64;
constexpr uint32_t kPeFileHeader = 4;     // the machine type, after the signature
constexpr uint32_t kPeOptionalMagic = 24;
constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMagicPe32 = 0x010B;
// The stub's preset caption, which its image holds as text.
const char kStubMark[] = "Tarvex Self-Extractor";

// Positioned reads of a file that may be too large to hold in memory.
class Reader {
public:
    explicit Reader(const std::string &path) : f_(OpenHostFile(path, "rb")) {
        if (!f_) Fail(path + ": cannot read the finished output (" + strerror(errno) + ")");
        fseek(f_, 0, SEEK_END);  // the output stays below 2 GiB
        size_ = uint64_t(ftell(f_));
    }
    ~Reader() { fclose(f_); }
    uint64_t Size() const { return size_; }
    std::string At(uint64_t pos, size_t n) {
        std::string s(n, '\0');
        if (pos > size_ || n > size_ - pos || !SeekHostFile(f_, pos) || (n && fread(&s[0], 1, n, f_) != n))
            return std::string();
        return s;
    }

private:
    FILE *f_;
    uint64_t size_ = 0;
};

uint32_t U32(const std::string &s, size_t at) { return GetU32(reinterpret_cast<const uint8_t *>(s.data() + at)); }
uint16_t U16(const std::string &s, size_t at) { return GetU16(reinterpret_cast<const uint8_t *>(s.data() + at)); }

[[noreturn]] void Bug(const std::string &path, const std::string &what) {
    Fail(path + ": the finished output does not read back as written (" + what +
         "); nothing was written: please report this as a bug of mksfx");
}

}  // namespace

void CheckStub(const std::string &path, const std::vector<uint8_t> &stub) {
    Problems problems;
    if (stub.size() != kHeaderOffset)
        problems.AddEntry(path, "the stub is " + std::to_string(stub.size()) + " bytes; it must be exactly " +
                                    std::to_string(kHeaderOffset) +
                                    " bytes, the offset at which it reads its header");
    uint32_t pe = PeHeaderOffset(stub);
    bool isPe = stub.size() >= 2 && stub[0] == 'M' && stub[1] == 'Z' && pe && pe + kPeChecksumField + 4 <= stub.size() &&
                std::memcmp(&stub[pe], "PE\0\0", 4) == 0;
    if (!isPe)
        problems.AddEntry(path, "not a Windows program (no PE header)");
    else if (GetU16(&stub[pe + kPeFileHeader]) != kMachineI386 || GetU16(&stub[pe + kPeOptionalMagic]) != kMagicPe32)
        problems.AddEntry(path, "not a 32-bit x86 Windows program");
    std::string image(stub.begin(), stub.end());
    if (image.find(kStubMark) == std::string::npos || FindLevelSlot(stub.data(), stub.size()) == std::string::npos)
        problems.AddEntry(path, "not a Tarvex stub (its caption and manifest slot are missing)");
    for (uint32_t sig : {kLocalSig, kCentralSig, kEndSig, kDescriptorSig}) {
        std::string bytes;
        PutU32(bytes, sig);
        if (image.find(bytes) != std::string::npos) {
            problems.AddEntry(path, "the stub holds a ZIP record signature, which ZIP readers would take for the archive");
            break;
        }
    }
    problems.Check();
}

void VerifyOutput(const std::string &path, size_t entries) {
    Reader in(path);
    // The end record ends the file: the comment length says where it starts.
    uint64_t size = in.Size(), endAt = 0;
    std::string tail = in.At(size - std::min<uint64_t>(size, MAX_TAIL_SCAN), size_t(std::min<uint64_t>(size, MAX_TAIL_SCAN)));
    for (size_t i = tail.size() >= END_RECORD_SIZE ? tail.size() - END_RECORD_SIZE + 1 : 0; i-- > 0 && !endAt;)
        if (U32(tail, i) == kEndSig && i + END_RECORD_SIZE + U16(tail, i + END_RECORD_COMMENT_LENGTH) == tail.size())
            endAt = size - tail.size() + i;
    if (!endAt) Bug(path, "no end record at the end of the file");
    std::string end = in.At(endAt, END_RECORD_SIZE);
    EndOfCentralDirectory e;
    std::memcpy(&e, end.data(), sizeof e);
    if (e.entries != entries || uint64_t(e.cdOffset) + e.cdSize != endAt) Bug(path, "the end record");
    std::string cd = in.At(e.cdOffset, e.cdSize);

    std::string header = in.At(kHeaderOffset, SFX_FIXED_HEADER_SIZE);
    SFXHeader h;
    std::memcpy(&h, header.data(), sizeof h);
    uint64_t pos = kHeaderOffset + h.headerSize;
    size_t at = 0;
    for (size_t k = 0; k < entries; ++k) {
        std::string label = "entry " + std::to_string(k + 1);
        while (U32(in.At(pos, 4) + std::string(4, '\0'), 0) == kDescriptorSig) pos += DESCRIPTOR_SIZE;
        std::string local = in.At(pos, LOCAL_HEADER_SIZE);
        CentralHeader c;
        if (at + sizeof c > cd.size()) Bug(path, "the central directory of " + label);
        std::memcpy(&c, cd.data() + at, sizeof c);
        LocalHeader lh;
        if (local.size() != LOCAL_HEADER_SIZE || U32(local, 0) != kLocalSig)
            Bug(path, "the walk finds no local header for " + label);
        std::memcpy(&lh, local.data(), sizeof lh);
        std::string name = in.At(pos + LOCAL_HEADER_SIZE, lh.nameLength);
        if (c.localOffset != pos || name != cd.substr(at + sizeof c, c.nameLength))
            Bug(path, label + " is not where its central directory record puts it");
        if (lh.method != c.method || (lh.flags & ZIP_FLAG_ENCRYPTED) != (c.flags & ZIP_FLAG_ENCRYPTED) ||
            lh.crc32 != c.crc32 || lh.compressedSize != c.compressedSize || lh.uncompressedSize != c.uncompressedSize)
            Bug(path, name + ": the local header and the central directory differ");
        pos += LOCAL_HEADER_SIZE + lh.nameLength + lh.extraLength + uint64_t(lh.compressedSize);
        at += sizeof c + c.nameLength + c.extraLength + c.commentLength;
    }
    while (pos < e.cdOffset && U32(in.At(pos, 4) + std::string(4, '\0'), 0) == kDescriptorSig) pos += DESCRIPTOR_SIZE;
    if (pos != e.cdOffset || at != cd.size()) Bug(path, "the walk does not end where the central directory starts");
}

void SetPeChecksum(const std::string &path) {
    FILE *f = OpenHostFile(path, "r+b");
    if (!f) Fail(path + ": cannot reopen the output (" + strerror(errno) + ")");
    std::vector<uint8_t> head(kHeaderOffset);
    bool ok = fread(head.data(), 1, head.size(), f) == head.size();
    uint32_t field = PeHeaderOffset(head) + kPeChecksumField;
    // The sum of the file's 16-bit words, the field itself left out, folded to
    // 16 bits as it goes, plus the file's length.
    uint64_t sum = 0, length = 0;
    std::vector<uint8_t> buffer(1 << 16);
    ok = ok && SeekHostFile(f, 0);
    for (size_t got; ok && (got = fread(buffer.data(), 1, buffer.size(), f)) > 0; length += got) {
        if (got & 1) buffer[got] = 0;  // only the file's last read is odd
        for (size_t i = 0; i < got; i += 2) {
            uint64_t at = length + i;
            if (at < field || at >= field + 4) sum += GetU16(&buffer[i]);
            sum = (sum & 0xFFFF) + (sum >> 16);
        }
    }
    uint8_t checksum[4];
    uint32_t value = uint32_t((sum & 0xFFFF) + length);
    for (int i = 0; i < 4; ++i) checksum[i] = uint8_t(value >> (8 * i));
    ok = ok && SeekHostFile(f, field) && fwrite(checksum, 1, 4, f) == 4;
    ok = fclose(f) == 0 && ok;
    if (!ok) Fail(path + ": cannot write the PE checksum (" + strerror(errno) + ")");
}

}  // namespace mksfx
