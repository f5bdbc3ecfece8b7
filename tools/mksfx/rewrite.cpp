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
        f_ = OpenHostFile(path, "rb");
        if (!f_) Fail(path + ": cannot read (" + strerror(errno) + ")");
        size_ = StatHostFile(path).size;
    }
    ~Input() { fclose(f_); }
    uint64_t Size() const { return size_; }
    // Reads exactly `n` bytes at `pos`; false when the file is shorter.
    bool ReadAt(uint64_t pos, void *data, size_t n) {
        if (pos > size_ || n > size_ - pos) return false;
        if (!SeekHostFile(f_, pos)) return false;
        return fread(data, 1, n, f_) == n;
    }
    std::string ReadString(uint64_t pos, size_t n) {
        std::string s(n, '\0');
        if (n && !ReadAt(pos, &s[0], n)) Fail(path_ + ": damaged archive (a record runs past the end)");
        return s;
    }
    // Copies `n` bytes from `pos` to the output.
    void CopyTo(Output &out, uint64_t pos, uint64_t n) {
        if (!SeekHostFile(f_, pos)) Fail(path_ + ": cannot read");
        std::vector<uint8_t> buf(1 << 16);
        while (n > 0) {
            size_t chunk = n < buf.size() ? size_t(n) : buf.size();
            if (fread(buf.data(), 1, chunk, f_) != chunk) Fail(path_ + ": cannot read");
            out.Write(buf.data(), chunk);
            n -= chunk;
        }
    }

private:
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

const std::string kNoZip64 = "ZIP64 is not supported by the stub (sizes and positions are 32-bit)";

// ---- read: the central directory and the local headers it points to ----

// One entry as the input archive stores it.
struct Stored {
    CentralRecord central;  // its central directory record; localOffset in the input
    uint16_t diskStart;
    LocalHeader local;
    std::string localName, localExtra;
    uint64_t dataStart;     // in the input
};

struct Archive {
    std::string comment;
    std::vector<Stored> entries;
};

// Damage that leaves no way to read on fails at once; what the stub could not
// read is left to the validation, which names all of it.
Archive ReadArchive(Input &in, const std::string &zipPath) {
    EndRecord end = FindEndRecord(in, zipPath);
    uint8_t locator[4];
    if (end.entries == 0xFFFF || end.entriesOnDisk == 0xFFFF || end.cdSize == 0xFFFFFFFFu ||
        end.cdOffset == 0xFFFFFFFFu ||
        (end.position >= 20 && in.ReadAt(end.position - 20, locator, 4) && GetU32(locator) == kZip64LocatorSig))
        Fail(zipPath + ": " + kNoZip64);
    if (end.disk != 0 || end.cdDisk != 0 || end.entriesOnDisk != end.entries)
        Fail(zipPath + ": a split (multi-disk) archive cannot be read");
    if (end.entries == 0) Fail(zipPath + ": the archive holds no entries");

    // Bytes in front of the archive (another self-extractor's stub, say) shift
    // every stored offset by the same amount.
    if (end.cdSize > end.position) Fail(zipPath + ": damaged archive (central directory size)");
    uint64_t cdStart = end.position - end.cdSize;
    if (cdStart < end.cdOffset) Fail(zipPath + ": damaged archive (central directory offset)");
    uint64_t shift = cdStart - end.cdOffset;
    std::string cd = in.ReadString(cdStart, end.cdSize);

    Archive archive;
    archive.comment = end.comment;
    size_t p = 0;
    for (unsigned k = 0; k < end.entries; ++k) {
        std::string label = "entry " + std::to_string(k + 1);
        CentralHeader h;
        bool whole = p + sizeof h <= cd.size();
        if (whole) std::memcpy(&h, cd.data() + p, sizeof h);
        size_t namePos = p + sizeof h;
        if (!whole || h.signature != kCentralSig ||
            namePos + h.nameLength + h.extraLength + h.commentLength > cd.size())
            Fail(zipPath + ": damaged archive (central directory " + label + ")");
        Stored e;
        CentralRecord &r = e.central;
        r.versionMadeBy = h.versionMadeBy;
        CopyEntryFields(r, h);
        r.internalAttributes = h.internalAttributes;
        r.externalAttributes = h.externalAttributes;
        r.localOffset = h.localOffset;
        e.diskStart = h.diskStart;
        r.name.assign(cd, namePos, h.nameLength);
        r.extra = DropZip64Extra(cd.substr(namePos + h.nameLength, h.extraLength));
        r.comment.assign(cd, namePos + h.nameLength + h.extraLength, h.commentLength);
        p = namePos + h.nameLength + h.extraLength + h.commentLength;

        uint64_t at = uint64_t(h.localOffset) + shift;
        if (h.localOffset == 0xFFFFFFFFu) FailEntry(r.name, kNoZip64);
        if (!in.ReadAt(at, &e.local, LOCAL_HEADER_SIZE) || e.local.signature != kLocalSig)
            FailEntry(r.name.empty() ? label : r.name, "damaged archive (no local header at the recorded offset)");
        e.localName = in.ReadString(at + LOCAL_HEADER_SIZE, e.local.nameLength);
        e.localExtra = DropZip64Extra(in.ReadString(at + LOCAL_HEADER_SIZE + e.local.nameLength, e.local.extraLength));
        e.dataStart = at + LOCAL_HEADER_SIZE + e.local.nameLength + e.local.extraLength;
        if (e.dataStart + r.compressedSize > cdStart)
            FailEntry(r.name, "damaged archive (entry data runs into the central directory)");
        archive.entries.push_back(std::move(e));
    }
    return archive;
}

// ---- validate: what the stub cannot read, every problem named ----

// One entry checked and ready to copy.
struct Planned {
    CentralRecord central;   // as the new central directory describes it
    CentralRecord local;     // the fields of its new local header
    std::string localExtra;
    uint64_t dataStart;      // in the input
    int descriptors;         // 16-byte descriptors after the data
};

void ValidateEntry(const Stored &e, const std::string &label, Problems &problems) {
    const CentralRecord &r = e.central;
    const LocalHeader &lh = e.local;
    if (r.name.find('\0') != std::string::npos)
        problems.AddEntry(label, "a NUL byte inside the name would cut it short");
    if (r.compressedSize == 0xFFFFFFFFu || r.uncompressedSize == 0xFFFFFFFFu || e.diskStart == 0xFFFF ||
        (!(lh.flags & ZIP_FLAG_DESCRIPTOR) && (lh.compressedSize == 0xFFFFFFFFu || lh.uncompressedSize == 0xFFFFFFFFu)))
        problems.AddEntry(label, kNoZip64);
    if ((r.flags & (kFlagStrongEncryption | kFlagMaskedDirectory)) || r.method == 99)
        problems.AddEntry(label, "strong or AES encryption is not supported (only the traditional ZIP encryption)");
    else if (r.method != METHOD_STORED && r.method != METHOD_DEFLATED)
        problems.AddEntry(label, "compression method " + std::to_string(r.method) + " (" + MethodName(r.method) +
                                     ") is not supported (only stored (0) and deflated (8))");
    if ((r.flags & ZIP_FLAG_ENCRYPTED) && r.compressedSize < ENCRYPTION_HEADER_SIZE)
        problems.AddEntry(label, "damaged entry (encrypted data shorter than its 12-byte header)");
    if (lh.method != r.method) problems.AddEntry(label, "damaged archive (local and central methods differ)");
    if ((lh.flags & ZIP_FLAG_ENCRYPTED) != (r.flags & ZIP_FLAG_ENCRYPTED) || (lh.flags & kFlagStrongEncryption))
        problems.AddEntry(label, "damaged archive (local and central encryption flags differ)");
    if (e.localName != r.name) problems.AddEntry(label, "damaged archive (local and central names differ)");
}

// ---- plan: the new headers of each entry and where it lands ----

// The reader decides the password check by the local ZIP_FLAG_DESCRIPTOR, so an
// encrypted entry keeps it; everything else loses its descriptor.
Planned PlanEntry(const Stored &e, CentralRecord r, bool renamed, const std::string &utf8,
                  const std::string &unicodeField, const std::string &label, Problems &problems) {
    Planned plan{r, r, e.localExtra, e.dataStart, 0};
    uint16_t flags = e.local.flags;
    bool encrypted = (r.flags & ZIP_FLAG_ENCRYPTED) != 0;
    if (renamed) {
        flags &= uint16_t(~kFlagUtf8);
        plan.localExtra = DropExtraField(e.localExtra, kUnicodePathExtra) + unicodeField;
    }
    if (!encrypted) {
        flags &= uint16_t(~ZIP_FLAG_DESCRIPTOR);
        plan.central.flags &= uint16_t(~ZIP_FLAG_DESCRIPTOR);
    } else if (flags & ZIP_FLAG_DESCRIPTOR) {
        plan.descriptors = 1;
        // Info-ZIP unzip measures such an entry with the length of the Unicode
        // name of its local header and would find it overlapping the next
        // record: more descriptors, which the stub steps over, leave that room.
        if (!unicodeField.empty() && utf8.size() > r.name.size())
            plan.descriptors += int((utf8.size() - r.name.size() + DESCRIPTOR_SIZE - 1) / DESCRIPTOR_SIZE);
    }
    if (plan.localExtra.size() > 0xFFFF || plan.central.extra.size() > 0xFFFF)
        problems.AddEntry(label, "with the Unicode path field of its new name the extra field would exceed 65535 "
                                 "bytes; give --names-raw to keep the name as it is");
    plan.local.versionNeeded = e.local.versionNeeded;
    plan.local.flags = flags;
    plan.local.modTime = e.local.modTime;
    plan.local.modDate = e.local.modDate;
    return plan;
}

}  // namespace

std::vector<CentralRecord> RewriteZip(Output &out, const std::string &zipPath, std::string &comment,
                                      const NameOptions &names, bool keepOrder) {
    Input in(zipPath);
    Archive archive = ReadArchive(in, zipPath);
    comment = archive.comment;

    Problems problems;
    std::vector<Planned> plan;
    std::vector<std::string> newNames, labels;
    for (size_t k = 0; k < archive.entries.size(); ++k) {
        const Stored &e = archive.entries[k];
        std::string label = e.central.name.empty() ? "entry " + std::to_string(k + 1) : e.central.name;
        ValidateEntry(e, label, problems);
        CentralRecord r = e.central;
        std::string utf8, unicodeField;
        bool renamed = ConvertStoredName(r, names, label, utf8, unicodeField, problems);
        if (renamed) label = utf8;
        plan.push_back(PlanEntry(e, r, renamed, utf8, unicodeField, label, problems));
        newNames.push_back(r.name);
        labels.push_back(label);
    }
    CheckEntryNames(newNames, labels, names, problems);
    problems.Check();

    // Everything is checked before the first byte is copied, the size limit
    // included, so a refusal costs no copying.
    if (!keepOrder) SortInListOrder(plan, [](const Planned &e) { return e.central.name; });
    uint64_t projected = out.Position();
    for (const Planned &e : plan) {
        projected += LOCAL_HEADER_SIZE + e.central.name.size() + e.localExtra.size() + e.central.compressedSize +
                     uint64_t(e.descriptors) * DESCRIPTOR_SIZE;
        if (projected > kMaxResult)
            FailEntry(e.central.name, "the self-extractor would exceed 2 GiB - 1 bytes (" +
                                          std::to_string(kMaxResult) + "), the limit of the stub's file positions");
    }

    // ---- write ----
    std::vector<CentralRecord> records;
    for (Planned &e : plan) {
        out.SetEntry(e.central.name);
        e.central.localOffset = out.Position();
        WriteLocalHeader(out, e.local, e.localExtra);
        in.CopyTo(out, e.dataStart, e.central.compressedSize);
        for (int i = 0; i < e.descriptors; ++i) WriteDescriptor(out, e.local);
        records.push_back(e.central);
    }
    return records;
}

}  // namespace mksfx
