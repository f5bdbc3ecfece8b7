// mksfx ZIP records: the local header, the data descriptor, the central directory
// with its end record, and the traditional PKWARE encryption of entry data.
// All numbers are little-endian; positions are absolute in the self-extractor, so
// the central directory's offsets count from the first byte of the stub.
#include "mksfx.h"

#include <zlib.h>

namespace mksfx {

uint32_t Crc32(uint32_t crc, const void *data, size_t length) {
    const auto *p = static_cast<const Bytef *>(data);
    while (length > 0) {
        uInt chunk = length > 0x40000000u ? 0x40000000u : uInt(length);
        crc = uint32_t(crc32(crc, p, chunk));
        p += chunk;
        length -= chunk;
    }
    return crc;
}

void WriteLocalHeader(Output &out, const CentralRecord &r, const std::string &localExtra) {
    LocalHeader lh;
    lh.signature = kLocalSig;
    // The stub takes CRC and size from here even when a descriptor follows.
    CopyEntryFields(lh, r);
    lh.nameLength = uint16_t(r.name.size());
    lh.extraLength = uint16_t(localExtra.size());
    std::string h(reinterpret_cast<const char *>(&lh), sizeof lh);
    h += r.name;
    h += localExtra;
    out.Write(h.data(), h.size());
}

void WriteDescriptor(Output &out, const CentralRecord &r) {
    // Always the form with signature: the stub skips exactly DESCRIPTOR_SIZE bytes.
    std::string d;
    PutU32(d, kDescriptorSig);
    PutU32(d, r.crc32);
    PutU32(d, r.compressedSize);
    PutU32(d, r.uncompressedSize);
    out.Write(d.data(), d.size());
}

void WriteCentralDirectory(Output &out, const std::vector<CentralRecord> &records,
                           const std::string &zipComment) {
    if (records.size() > 0xFFFF) Fail("more than 65535 entries need ZIP64, which the stub cannot read");
    out.SetEntry("");
    uint64_t start = out.Position();
    for (const CentralRecord &r : records) {
        CentralHeader c;
        c.signature = kCentralSig;
        c.versionMadeBy = r.versionMadeBy;
        CopyEntryFields(c, r);
        c.nameLength = uint16_t(r.name.size());
        c.extraLength = uint16_t(r.extra.size());
        c.commentLength = uint16_t(r.comment.size());
        c.diskStart = 0;
        c.internalAttributes = r.internalAttributes;
        c.externalAttributes = r.externalAttributes;
        c.localOffset = uint32_t(r.localOffset);
        std::string h(reinterpret_cast<const char *>(&c), sizeof c);
        h += r.name;
        h += r.extra;
        h += r.comment;
        out.Write(h.data(), h.size());
    }
    uint64_t size = out.Position() - start;
    EndOfCentralDirectory end;
    end.signature = kEndSig;
    end.disk = 0;
    end.cdDisk = 0;
    end.entriesOnDisk = uint16_t(records.size());
    end.entries = uint16_t(records.size());
    end.cdSize = uint32_t(size);
    end.cdOffset = uint32_t(start);
    end.commentLength = uint16_t(zipComment.size());
    std::string e(reinterpret_cast<const char *>(&end), sizeof end);
    e += zipComment;
    out.Write(e.data(), e.size());
}

std::string DropExtraField(const std::string &extra, uint16_t id) {
    std::string kept;
    size_t i = 0;
    while (i + 4 <= extra.size()) {
        auto *p = reinterpret_cast<const uint8_t *>(extra.data() + i);
        size_t blockLength = 4 + GetU16(p + 2);
        if (i + blockLength > extra.size()) break;  // a damaged tail is kept as it is
        if (GetU16(p) != id) kept.append(extra, i, blockLength);
        i += blockLength;
    }
    kept.append(extra, i, std::string::npos);
    return kept;
}

std::string DropZip64Extra(const std::string &extra) { return DropExtraField(extra, 0x0001); }

// ---- traditional encryption ----

namespace {

uint32_t CrcStep(uint32_t crc, uint8_t b) {
    static const z_crc_t *table = get_crc_table();
    return table[(crc ^ b) & 0xFF] ^ (crc >> 8);
}

}  // namespace

ZipCrypto::ZipCrypto(const std::string &password)
    : k0_(0x12345678), k1_(0x23456789), k2_(0x34567890) {
    for (unsigned char c : password) Update(c);
}

void ZipCrypto::Update(uint8_t plain) {
    k0_ = CrcStep(k0_, plain);
    k1_ = (k1_ + (k0_ & 0xFF)) * 0x08088405u + 1;
    k2_ = CrcStep(k2_, uint8_t(k1_ >> 24));
}

uint8_t ZipCrypto::StreamByte() const {
    uint16_t t = uint16_t((k2_ & 0xFFFF) | 2);
    return uint8_t((uint32_t(t) * uint32_t(t ^ 1)) >> 8);
}

uint8_t ZipCrypto::Encrypt(uint8_t plain) {
    uint8_t c = plain ^ StreamByte();
    Update(plain);  // the keys advance with the plain byte
    return c;
}

void ZipCrypto::EncryptBuffer(uint8_t *data, size_t length) {
    for (size_t i = 0; i < length; ++i) data[i] = Encrypt(data[i]);
}

}  // namespace mksfx
