// mksfx rewriting: an existing ZIP archive, made by any tool, is copied entry by
// entry into the form the stub walks.
//
// The archive is read through its central directory, the one authority on the
// entries' CRC-32 and sizes. Each entry is written back to back with a local header
// that carries those real values; names, the local extra field and the data bytes
// are copied unchanged. Data descriptors are dropped and flag bit 3 cleared,
// except for encrypted entries: their password check byte was made from the
// modification time when bit 3 is set, so they keep the bit and get a 16-byte
// descriptor (the only form the stub skips). The central directory is rebuilt with
// the new offsets and the archive comment is kept. The entries go in the order
// of the stub's file list (order.cpp) unless --keep-order keeps the archive's.
#include "mksfx.h"

#include <cerrno>
#include <cstring>

namespace mksfx {

namespace {

class Input {
public:
    explicit Input(const std::string &path) : path_(path) {
        f_ = fopen(path.c_str(), "rb");
        if (!f_) Fail(path + ": cannot read (" + strerror(errno) + ")");
        if (!Seek(0, SEEK_END)) Fail(path + ": cannot read");
#ifdef _WIN32
        size_ = uint64_t(_ftelli64(f_));
#else
        size_ = uint64_t(ftello(f_));
#endif
    }
    ~Input() { fclose(f_); }
    uint64_t Size() const { return size_; }
    // Reads exactly `n` bytes at `pos`; false when the file is shorter.
    bool ReadAt(uint64_t pos, void *data, size_t n) {
        if (pos > size_ || n > size_ - pos) return false;
        if (!Seek(int64_t(pos), SEEK_SET)) return false;
        return fread(data, 1, n, f_) == n;
    }
    std::string ReadString(uint64_t pos, size_t n) {
        std::string s(n, '\0');
        if (n && !ReadAt(pos, &s[0], n)) Fail(path_ + ": damaged archive (a record runs past the end)");
        return s;
    }
    // Copies `n` bytes from `pos` to the output.
    void CopyTo(Output &out, uint64_t pos, uint64_t n) {
        if (!Seek(int64_t(pos), SEEK_SET)) Fail(path_ + ": cannot read");
        std::vector<uint8_t> buf(1 << 16);
        while (n > 0) {
            size_t chunk = n < buf.size() ? size_t(n) : buf.size();
            if (fread(buf.data(), 1, chunk, f_) != chunk) Fail(path_ + ": cannot read");
            out.Write(buf.data(), chunk);
            n -= chunk;
        }
    }

private:
    bool Seek(int64_t pos, int whence) {
#ifdef _WIN32
        return _fseeki64(f_, pos, whence) == 0;
#else
        return fseeko(f_, off_t(pos), whence) == 0;
#endif
    }
    std::string path_;
    FILE *f_;
    uint64_t size_ = 0;
};

struct EndRecord {
    uint64_t position;
    uint16_t disk, cdDisk, entriesOnDisk, entries;
    uint32_t cdSize, cdOffset;
    std::string comment;
};

// Finds the end record. The normal archive ends exactly with it and its comment;
// some writers pad the file afterwards (tar-style blocking), so a record whose
// comment merely fits is accepted as well when no exact one exists. A candidate
// counts only when a central directory (or none, for no entries) stands where the
// record says it ends.
EndRecord FindEndRecord(Input &in, const std::string &path) {
    uint64_t size = in.Size();
    if (size < 22) Fail(path + ": not a ZIP archive (no end record)");
    size_t tailLength = size_t(size < 65535 + 22 + 4096 ? size : 65535 + 22 + 4096);
    uint64_t tailStart = size - tailLength;
    std::vector<uint8_t> tail(tailLength);
    if (!in.ReadAt(tailStart, tail.data(), tailLength)) Fail(path + ": cannot read");

    auto plausible = [&](size_t i) {
        uint64_t pos = tailStart + i;
        uint32_t cdSize = GetU32(&tail[i + 12]);
        uint8_t sig[4];
        if (GetU16(&tail[i + 10]) == 0) return true;
        // ZIP64 records stand between the directory and the record; refused later.
        if (cdSize == 0xFFFFFFFFu || GetU32(&tail[i + 16]) == 0xFFFFFFFFu ||
            (pos >= 20 && in.ReadAt(pos - 20, sig, 4) && GetU32(sig) == kZip64LocatorSig))
            return true;
        if (cdSize > pos) return false;
        return in.ReadAt(pos - cdSize, sig, 4) && GetU32(sig) == kCentralSig;
    };
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = tailLength - 22 + 1; i-- > 0;) {
            if (GetU32(&tail[i]) != kEndSig) continue;
            size_t end = i + 22 + GetU16(&tail[i + 20]);
            bool exact = end == tailLength;
            if ((pass == 0 ? !exact : end > tailLength) || !plausible(i)) continue;
            EndRecord e;
            e.position = tailStart + i;
            e.disk = GetU16(&tail[i + 4]);
            e.cdDisk = GetU16(&tail[i + 6]);
            e.entriesOnDisk = GetU16(&tail[i + 8]);
            e.entries = GetU16(&tail[i + 10]);
            e.cdSize = GetU32(&tail[i + 12]);
            e.cdOffset = GetU32(&tail[i + 16]);
            e.comment.assign(reinterpret_cast<const char *>(&tail[i + 22]), GetU16(&tail[i + 20]));
            return e;
        }
    }
    Fail(path + ": not a ZIP archive (no end record)");
}

const char *MethodName(uint16_t method) {
    switch (method) {
    case 1: return "shrink";
    case 6: return "implode";
    case 9: return "deflate64";
    case 12: return "bzip2";
    case 14: return "LZMA";
    case 93: return "zstd";
    case 95: return "xz";
    case 98: return "PPMd";
    default: return "unknown";
    }
}

// One entry checked and ready to copy.
struct Planned {
    CentralRecord central;   // as the new central directory describes it
    CentralRecord local;     // the fields of its new local header
    std::string localExtra;
    uint64_t dataStart;      // in the input
};

const std::string kNoZip64 = "ZIP64 is not supported by the stub (sizes and positions are 32-bit)";

}  // namespace

std::vector<CentralRecord> RewriteZip(Output &out, const std::string &zipPath,
                                      std::string &comment, bool keepOrder) {
    Input in(zipPath);
    EndRecord end = FindEndRecord(in, zipPath);
    uint8_t locator[4];
    if (end.entries == 0xFFFF || end.entriesOnDisk == 0xFFFF || end.cdSize == 0xFFFFFFFFu ||
        end.cdOffset == 0xFFFFFFFFu ||
        (end.position >= 20 && in.ReadAt(end.position - 20, locator, 4) &&
         GetU32(locator) == kZip64LocatorSig))
        Fail(zipPath + ": " + kNoZip64);
    if (end.disk != 0 || end.cdDisk != 0 || end.entriesOnDisk != end.entries)
        Fail(zipPath + ": a split (multi-disk) archive cannot be read");
    if (end.entries == 0) Fail(zipPath + ": the archive holds no entries");
    comment = end.comment;

    // Bytes in front of the archive (another self-extractor's stub, say) shift
    // every stored offset by the same amount.
    if (end.cdSize > end.position) Fail(zipPath + ": damaged archive (central directory size)");
    uint64_t cdStart = end.position - end.cdSize;
    if (cdStart < end.cdOffset) Fail(zipPath + ": damaged archive (central directory offset)");
    uint64_t shift = cdStart - end.cdOffset;
    std::string cd = in.ReadString(cdStart, end.cdSize);
    auto *c = reinterpret_cast<const uint8_t *>(cd.data());

    std::vector<Planned> plan;
    uint64_t projected = out.Position();
    size_t p = 0;
    for (unsigned k = 0; k < end.entries; ++k) {
        if (p + 46 > cd.size() || GetU32(c + p) != kCentralSig)
            Fail(zipPath + ": damaged archive (central directory entry " + std::to_string(k + 1) + ")");
        const uint8_t *h = c + p;
        CentralRecord r;
        r.versionMadeBy = GetU16(h + 4);
        r.versionNeeded = GetU16(h + 6);
        r.flags = GetU16(h + 8);
        r.method = GetU16(h + 10);
        r.modTime = GetU16(h + 12);
        r.modDate = GetU16(h + 14);
        r.crc = GetU32(h + 16);
        r.compressedSize = GetU32(h + 20);
        r.uncompressedSize = GetU32(h + 24);
        size_t nameLength = GetU16(h + 28), extraLength = GetU16(h + 30), commentLength = GetU16(h + 32);
        uint16_t diskStart = GetU16(h + 34);
        r.internalAttributes = GetU16(h + 36);
        r.externalAttributes = GetU32(h + 38);
        uint32_t localOffset = GetU32(h + 42);
        if (p + 46 + nameLength + extraLength + commentLength > cd.size())
            Fail(zipPath + ": damaged archive (central directory entry " + std::to_string(k + 1) + ")");
        r.name.assign(cd, p + 46, nameLength);
        r.extra = DropZip64Extra(cd.substr(p + 46 + nameLength, extraLength));
        r.comment.assign(cd, p + 46 + nameLength + extraLength, commentLength);
        p += 46 + nameLength + extraLength + commentLength;

        // ---- what the stub cannot read ----
        const std::string &name = r.name;
        std::string label = name.empty() ? "entry " + std::to_string(k + 1) : name;
        if (name.empty() || name[0] == '\0') FailEntry(label, "an empty name cannot be extracted");
        if (name.find('\0') != std::string::npos)
            FailEntry(label, "a NUL byte inside the name would cut it short");
        if (name.size() > kMaxNameLength)
            FailEntry(label, "the name is " + std::to_string(name.size()) +
                                 " bytes; the stub reads names of at most " +
                                 std::to_string(kMaxNameLength) + " bytes");
        if (r.compressedSize == 0xFFFFFFFFu || r.uncompressedSize == 0xFFFFFFFFu ||
            localOffset == 0xFFFFFFFFu || diskStart == 0xFFFF)
            FailEntry(label, kNoZip64);
        if ((r.flags & (kFlagStrongEncryption | kFlagMaskedDirectory)) || r.method == 99)
            FailEntry(label, "strong or AES encryption is not supported (only the traditional ZIP encryption)");
        if (r.method != 0 && r.method != 8)
            FailEntry(label, "compression method " + std::to_string(r.method) + " (" +
                                 MethodName(r.method) +
                                 ") is not supported (only stored (0) and deflated (8))");
        bool encrypted = (r.flags & kFlagEncrypted) != 0;
        if (encrypted && r.compressedSize < 12)
            FailEntry(label, "damaged entry (encrypted data shorter than its 12-byte header)");

        // ---- the local header as stored ----
        uint64_t at = uint64_t(localOffset) + shift;
        uint8_t lh[30];
        if (!in.ReadAt(at, lh, 30) || GetU32(lh) != kLocalSig)
            FailEntry(label, "damaged archive (no local header at the recorded offset)");
        uint16_t localFlags = GetU16(lh + 6);
        size_t localNameLength = GetU16(lh + 26), localExtraLength = GetU16(lh + 28);
        if (GetU16(lh + 8) != r.method)
            FailEntry(label, "damaged archive (local and central methods differ)");
        if (!(localFlags & kFlagDescriptor) &&
            (GetU32(lh + 18) == 0xFFFFFFFFu || GetU32(lh + 22) == 0xFFFFFFFFu))
            FailEntry(label, kNoZip64);
        if ((localFlags & kFlagEncrypted) != (r.flags & kFlagEncrypted) ||
            (localFlags & kFlagStrongEncryption))
            FailEntry(label, "damaged archive (local and central encryption flags differ)");
        if (in.ReadString(at + 30, localNameLength) != name)
            FailEntry(label, "damaged archive (local and central names differ)");
        std::string localExtra = DropZip64Extra(in.ReadString(at + 30 + localNameLength, localExtraLength));
        uint64_t dataStart = at + 30 + localNameLength + localExtraLength;
        if (dataStart + r.compressedSize > cdStart)
            FailEntry(label, "damaged archive (entry data runs into the central directory)");

        // The reader decides the password check by the local flag bit 3, so an
        // encrypted entry keeps it; everything else loses its descriptor.
        uint16_t newFlags = localFlags;
        if (!encrypted) {
            newFlags &= uint16_t(~kFlagDescriptor);
            r.flags &= uint16_t(~kFlagDescriptor);
        }
        CentralRecord local = r;
        local.versionNeeded = GetU16(lh + 4);
        local.flags = newFlags;
        local.modTime = GetU16(lh + 10);
        local.modDate = GetU16(lh + 12);

        // Everything is checked before the first byte is copied, the size limit
        // included, so a refusal costs no copying.
        projected += 30 + nameLength + localExtra.size() + r.compressedSize +
                     ((newFlags & kFlagDescriptor) ? 16 : 0);
        if (projected > kMaxResult)
            FailEntry(label, "the self-extractor would exceed 2 GiB - 1 bytes (" +
                                 std::to_string(kMaxResult) + "), the limit of the stub's file positions");
        plan.push_back({r, local, localExtra, dataStart});
    }

    if (!keepOrder) SortInListOrder(plan, [](const Planned &e) { return e.central.name; });
    std::vector<CentralRecord> records;
    for (Planned &e : plan) {
        out.SetEntry(e.central.name);
        e.central.localOffset = out.Position();
        WriteLocalHeader(out, e.local, e.localExtra);
        in.CopyTo(out, e.dataStart, e.central.compressedSize);
        if (e.local.flags & kFlagDescriptor) WriteDescriptor(out, e.local);
        records.push_back(e.central);
    }
    return records;
}

}  // namespace mksfx
