// mksfx rewriting: an existing ZIP archive, made by any tool, is copied entry by
// entry into the form the stub walks.
//
// The archive is read through its central directory, the one authority on the
// entries' CRC-32 and sizes. Each entry is written back to back with a local header
// that carries those real values; the local extra field and the data bytes are
// copied unchanged, names go into the target's code page (codepage.cpp). Data
// descriptors are dropped and ZIP_FLAG_DESCRIPTOR cleared, except for encrypted entries:
// their password check byte was made from the modification time when bit 3 is
// set, so they keep it and get a 16-byte descriptor (the only form the stub
// skips). The central directory is rebuilt with the new offsets and the archive
// comment is kept. The entries go in the order of the stub's file list (order.cpp)
// unless --keep-order keeps the archive's.
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

// The end record as stored, where it stands, and its comment.
struct EndRecord : EndOfCentralDirectory {
    uint64_t position;
    std::string comment;
};

// Finds the end record. The normal archive ends exactly with it and its comment;
// some writers pad the file afterwards (tar-style blocking), so a record whose
// comment merely fits is accepted as well when no exact one exists. A candidate
// counts only when a central directory (or none, for no entries) stands where the
// record says it ends.
EndRecord FindEndRecord(Input &in, const std::string &path) {
    uint64_t size = in.Size();
    if (size < END_RECORD_SIZE) Fail(path + ": not a ZIP archive (no end record)");
    const size_t maxTail = 65535 + END_RECORD_SIZE + 4096;
    size_t tailLength = size_t(size < maxTail ? size : maxTail);
    uint64_t tailStart = size - tailLength;
    std::vector<uint8_t> tail(tailLength);
    if (!in.ReadAt(tailStart, tail.data(), tailLength)) Fail(path + ": cannot read");

    auto plausible = [&](size_t i, const EndOfCentralDirectory &r) {
        uint64_t pos = tailStart + i;
        uint32_t cdSize = r.cdSize;
        uint8_t sig[4];
        if (r.entries == 0) return true;
        // ZIP64 records stand between the directory and the record; refused later.
        if (cdSize == 0xFFFFFFFFu || r.cdOffset == 0xFFFFFFFFu ||
            (pos >= 20 && in.ReadAt(pos - 20, sig, 4) && GetU32(sig) == kZip64LocatorSig))
            return true;
        if (cdSize > pos) return false;
        return in.ReadAt(pos - cdSize, sig, 4) && GetU32(sig) == kCentralSig;
    };
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = tailLength - END_RECORD_SIZE + 1; i-- > 0;) {
            EndOfCentralDirectory r;
            std::memcpy(&r, &tail[i], sizeof r);
            if (r.signature != kEndSig) continue;
            size_t end = i + END_RECORD_SIZE + r.commentLength;
            bool exact = end == tailLength;
            if ((pass == 0 ? !exact : end > tailLength) || !plausible(i, r)) continue;
            EndRecord e;
            static_cast<EndOfCentralDirectory &>(e) = r;
            e.position = tailStart + i;
            e.comment.assign(reinterpret_cast<const char *>(&tail[i + END_RECORD_SIZE]), r.commentLength);
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
                                      std::string &comment, const NameOptions &names,
                                      bool keepOrder) {
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

    std::vector<Planned> plan;
    uint64_t projected = out.Position();
    size_t p = 0;
    for (unsigned k = 0; k < end.entries; ++k) {
        CentralHeader h;
        bool whole = p + sizeof h <= cd.size();
        if (whole) std::memcpy(&h, cd.data() + p, sizeof h);
        if (!whole || h.signature != kCentralSig)
            Fail(zipPath + ": damaged archive (central directory entry " + std::to_string(k + 1) + ")");
        CentralRecord r;
        r.versionMadeBy = h.versionMadeBy;
        CopyEntryFields(r, h);
        size_t nameLength = h.nameLength, extraLength = h.extraLength, commentLength = h.commentLength;
        uint16_t diskStart = h.diskStart;
        r.internalAttributes = h.internalAttributes;
        r.externalAttributes = h.externalAttributes;
        uint32_t localOffset = h.localOffset;
        size_t namePos = p + sizeof h;
        if (namePos + nameLength + extraLength + commentLength > cd.size())
            Fail(zipPath + ": damaged archive (central directory entry " + std::to_string(k + 1) + ")");
        r.name.assign(cd, namePos, nameLength);
        r.extra = DropZip64Extra(cd.substr(namePos + nameLength, extraLength));
        r.comment.assign(cd, namePos + nameLength + extraLength, commentLength);
        p = namePos + nameLength + extraLength + commentLength;

        // ---- what the stub cannot read ----
        const std::string &name = r.name;
        std::string label = name.empty() ? "entry " + std::to_string(k + 1) : name;
        if (name.empty() || name[0] == '\0') FailEntry(label, "an empty name cannot be extracted");
        if (name.find('\0') != std::string::npos)
            FailEntry(label, "a NUL byte inside the name would cut it short");
        const std::string storedName = r.name;  // as the local header holds it too
        std::string unicodeField;
        bool renamed = ConvertStoredName(r, names, label, unicodeField);
        if (name.size() > kMaxNameLength)
            FailEntry(label, "the name is " + std::to_string(name.size()) +
                                 " bytes; the stub reads names of at most " +
                                 std::to_string(kMaxNameLength) + " bytes");
        if (r.compressedSize == 0xFFFFFFFFu || r.uncompressedSize == 0xFFFFFFFFu ||
            localOffset == 0xFFFFFFFFu || diskStart == 0xFFFF)
            FailEntry(label, kNoZip64);
        if ((r.flags & (kFlagStrongEncryption | kFlagMaskedDirectory)) || r.method == 99)
            FailEntry(label, "strong or AES encryption is not supported (only the traditional ZIP encryption)");
        if (r.method != METHOD_STORED && r.method != METHOD_DEFLATED)
            FailEntry(label, "compression method " + std::to_string(r.method) + " (" +
                                 MethodName(r.method) +
                                 ") is not supported (only stored (0) and deflated (8))");
        bool encrypted = (r.flags & ZIP_FLAG_ENCRYPTED) != 0;
        if (encrypted && r.compressedSize < ENCRYPTION_HEADER_SIZE)
            FailEntry(label, "damaged entry (encrypted data shorter than its 12-byte header)");

        // ---- the local header as stored ----
        uint64_t at = uint64_t(localOffset) + shift;
        LocalHeader lh;
        if (!in.ReadAt(at, &lh, LOCAL_HEADER_SIZE) || lh.signature != kLocalSig)
            FailEntry(label, "damaged archive (no local header at the recorded offset)");
        uint16_t localFlags = lh.flags;
        if (lh.method != r.method)
            FailEntry(label, "damaged archive (local and central methods differ)");
        if (!(localFlags & ZIP_FLAG_DESCRIPTOR) &&
            (lh.compressedSize == 0xFFFFFFFFu || lh.uncompressedSize == 0xFFFFFFFFu))
            FailEntry(label, kNoZip64);
        if ((localFlags & ZIP_FLAG_ENCRYPTED) != (r.flags & ZIP_FLAG_ENCRYPTED) ||
            (localFlags & kFlagStrongEncryption))
            FailEntry(label, "damaged archive (local and central encryption flags differ)");
        uint64_t localName = at + LOCAL_HEADER_SIZE;
        if (in.ReadString(localName, lh.nameLength) != storedName)
            FailEntry(label, "damaged archive (local and central names differ)");
        std::string localExtra = DropZip64Extra(in.ReadString(localName + lh.nameLength, lh.extraLength));
        uint64_t dataStart = localName + lh.nameLength + lh.extraLength;
        if (dataStart + r.compressedSize > cdStart)
            FailEntry(label, "damaged archive (entry data runs into the central directory)");

        // The reader decides the password check by the local ZIP_FLAG_DESCRIPTOR, so an
        // encrypted entry keeps it; everything else loses its descriptor.
        uint16_t newFlags = localFlags;
        if (renamed) {
            newFlags &= uint16_t(~kFlagUtf8);
            localExtra = DropExtraField(localExtra, kUnicodePathExtra) + unicodeField;
        }
        if (!encrypted) {
            newFlags &= uint16_t(~ZIP_FLAG_DESCRIPTOR);
            r.flags &= uint16_t(~ZIP_FLAG_DESCRIPTOR);
        }
        CentralRecord local = r;
        local.versionNeeded = lh.versionNeeded;
        local.flags = newFlags;
        local.modTime = lh.modTime;
        local.modDate = lh.modDate;

        // Everything is checked before the first byte is copied, the size limit
        // included, so a refusal costs no copying.
        r.localOffset = projected;
        projected += LOCAL_HEADER_SIZE + r.name.size() + localExtra.size() + r.compressedSize +
                     ((newFlags & ZIP_FLAG_DESCRIPTOR) ? DESCRIPTOR_SIZE : 0);
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
        if (e.local.flags & ZIP_FLAG_DESCRIPTOR) WriteDescriptor(out, e.local);
        records.push_back(e.central);
    }
    return records;
}

}  // namespace mksfx
