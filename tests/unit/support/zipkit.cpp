// zipkit (see zipkit.h).
#include "support/zipkit.h"

#include <zlib.h>

#include "support/testutil.h"

#ifndef SFX_HEADER_OFFSET
#error "SFX_HEADER_OFFSET must come from the build (CMakeLists.txt)"
#endif

namespace zipkit {

// ---- fields ----------------------------------------------------------------------------

void Put16(std::string &out, uint32_t value) {
    out += (char)(value & 0xFF);
    out += (char)((value >> 8) & 0xFF);
}

void Put32(std::string &out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

uint16_t Get16(const std::string &bytes, size_t at) {
    if (at + 2 > bytes.size()) return 0;
    return (uint16_t)((uint8_t)bytes[at] | (uint8_t)bytes[at + 1] << 8);
}

uint32_t Get32(const std::string &bytes, size_t at) {
    if (at + 4 > bytes.size()) return 0;
    return Get16(bytes, at) | (uint32_t)Get16(bytes, at + 2) << 16;
}

// ---- cipher ----------------------------------------------------------------------------

// The keys mix bytes in with one step of the CRC-32 register: zlib's table.
static uint32_t CrcStep(uint32_t crc, uint8_t byte) {
    static const z_crc_t *table = get_crc_table();
    return (uint32_t)table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

Cipher::Cipher(const std::string &password) {
    for (unsigned char c : password) Update(c);
}

void Cipher::Update(uint8_t plain) {
    k0 = CrcStep(k0, plain);
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
    k2 = CrcStep(k2, (uint8_t)(k1 >> 24));
}

uint8_t Cipher::Stream() const {
    uint32_t t = (k2 & 0xFFFF) | 2;
    return (uint8_t)((t * (t ^ 1)) >> 8);
}

std::string Cipher::Encrypt(const std::string &plain) {
    std::string out(plain);
    for (char &c : out) {
        uint8_t p = (uint8_t)c;
        c = (char)(p ^ Stream());
        Update(p);
    }
    return out;
}

std::string Cipher::Decrypt(const std::string &cipher) {
    std::string out(cipher);
    for (char &c : out) {
        c = (char)((uint8_t)c ^ Stream());
        Update((uint8_t)c);
    }
    return out;
}

uint8_t CheckByte(uint16_t flags, uint32_t crc, uint16_t modTime) {
    return (flags & 8) ? (uint8_t)(modTime >> 8) : (uint8_t)(crc >> 24);
}

std::string Encrypt(const std::string &stored, const std::string &password, uint8_t checkByte,
                    uint32_t seed) {
    std::string header = testutil::RandomData(kEncryptionHeaderSize - 1, seed);
    header += (char)checkByte;
    return Cipher(password).Encrypt(header + stored);
}

bool PassesCheck(const std::string &encryptionHeader, const std::string &password,
                 uint8_t checkByte) {
    if (encryptionHeader.size() < kEncryptionHeaderSize) return false;
    std::string plain =
        Cipher(password).Decrypt(encryptionHeader.substr(0, kEncryptionHeaderSize));
    return (uint8_t)plain.back() == checkByte;
}

// ---- writer ----------------------------------------------------------------------------

// The fields that local and central headers share, from the version needed on.
static void WriteFields(std::string &out, uint16_t flags, uint16_t method, const CraftedEntry &e,
                        uint32_t crc, uint32_t compressed, uint16_t nameLength,
                        uint16_t extraLength) {
    Put16(out, 20);  // version needed: 2.0
    Put16(out, flags);
    Put16(out, method);
    Put16(out, e.modTime);
    Put16(out, e.modDate);
    Put32(out, crc);
    Put32(out, compressed);
    Put32(out, (uint32_t)e.data.size());
    Put16(out, nameLength);
    Put16(out, extraLength);
}

std::string CraftZip(const std::vector<CraftedEntry> &entries, uint32_t base,
                     const std::string &comment) {
    std::string out, central;
    for (const CraftedEntry &e : entries) {
        uint32_t crc = e.setCrc ? e.crc : testutil::Crc32(e.data);
        uint16_t flags = e.flags;
        std::string stored = e.rawStored;
        if (stored.empty()) {
            stored = e.method == 8 ? testutil::RawDeflate(e.data) : e.data;
            if (!e.password.empty()) {
                flags |= 1;
                stored = Encrypt(stored, e.password, CheckByte(flags, crc, e.modTime));
            }
        }
        uint32_t offset = base + (uint32_t)out.size();
        Put32(out, e.signature);
        WriteFields(out, flags, e.method, e, crc,
                    e.setCompressedSize ? e.compressedSize : (uint32_t)stored.size(),
                    e.setNameLength ? e.nameLength : (uint16_t)e.name.size(),
                    (uint16_t)e.extra.size());
        out += e.name + e.extra + stored;
        for (int i = 0; i < e.descriptors; i++) {
            Put32(out, DESCRIPTOR_SIGNATURE);
            Put32(out, crc);
            Put32(out, (uint32_t)stored.size());
            Put32(out, (uint32_t)e.data.size());
        }
        Put32(central, CENTRAL_SIGNATURE);
        Put16(central, 20);  // made by: 2.0
        WriteFields(central, flags, e.method, e, crc, (uint32_t)stored.size(),
                    (uint16_t)e.name.size(), 0);
        Put16(central, 0);  // comment length
        Put16(central, 0);  // disk
        Put16(central, 0);  // internal attributes
        Put32(central, 0);  // external attributes
        Put32(central, offset);
        central += e.name;
    }
    uint32_t centralOffset = base + (uint32_t)out.size();
    out += central;
    Put32(out, END_SIGNATURE);
    Put16(out, 0);  // this disk
    Put16(out, 0);  // the directory's disk
    Put16(out, (uint32_t)entries.size());
    Put16(out, (uint32_t)entries.size());
    Put32(out, (uint32_t)central.size());
    Put32(out, centralOffset);
    Put16(out, (uint32_t)comment.size());
    return out + comment;
}

std::string EndRecord() { return CraftZip({}); }

// ---- readers ---------------------------------------------------------------------------

// Reads the shared fields from `at`, the flags of a local or central header; the
// name's and the extra field's lengths follow them.
static void ReadFields(const std::string &file, size_t at, EntryFields &e, size_t &nameLength,
                       size_t &extraLength) {
    e.flags = Get16(file, at);
    e.method = Get16(file, at + 2);
    e.modTime = Get16(file, at + 4);
    e.modDate = Get16(file, at + 6);
    e.crc = Get32(file, at + 8);
    e.compressedSize = Get32(file, at + 12);
    e.size = Get32(file, at + 16);
    nameLength = Get16(file, at + 20);
    extraLength = Get16(file, at + 22);
}

std::vector<LocalEntry> LocalEntries(const std::string &file, size_t start) {
    std::vector<LocalEntry> out;
    size_t pos = start;
    while (pos + kLocalHeaderSize <= file.size()) {
        uint32_t signature = Get32(file, pos);
        if (signature == DESCRIPTOR_SIGNATURE) {
            pos += 16;
            continue;
        }
        if (signature != LOCAL_SIGNATURE) break;
        LocalEntry e;
        size_t nameLength, extraLength;
        ReadFields(file, pos + 6, e, nameLength, extraLength);
        e.data = pos + kLocalHeaderSize + nameLength + extraLength;
        if (e.data + e.compressedSize > file.size()) break;
        e.name = file.substr(pos + kLocalHeaderSize, nameLength);
        out.push_back(e);
        pos = e.data + e.compressedSize;
    }
    return out;
}

size_t FindEndRecord(const std::string &file) {
    for (size_t i = file.size() >= kEndRecordSize ? file.size() - kEndRecordSize + 1 : 0; i-- > 0;)
        if (Get32(file, i) == END_SIGNATURE && i + kEndRecordSize + Get16(file, i + 20) <= file.size())
            return i;
    return std::string::npos;
}

std::string Comment(const std::string &file) {
    size_t end = FindEndRecord(file);
    if (end == std::string::npos) return "(none)";
    return file.substr(end + kEndRecordSize, Get16(file, end + 20));
}

std::vector<CentralEntry> CentralEntries(const std::string &zip) {
    std::vector<CentralEntry> out;
    size_t end = FindEndRecord(zip);
    if (end == std::string::npos) return out;
    size_t pos = Get32(zip, end + 16);
    for (unsigned n = Get16(zip, end + 10); n > 0; n--) {
        if (Get32(zip, pos) != CENTRAL_SIGNATURE) return {};
        CentralEntry e;
        size_t nameLength, extraLength;
        ReadFields(zip, pos + 8, e, nameLength, extraLength);
        if (pos + 46 + nameLength > zip.size()) return {};
        e.name = zip.substr(pos + 46, nameLength);
        out.push_back(e);
        pos += 46 + nameLength + extraLength + Get16(zip, pos + 32);
    }
    return out;
}

std::vector<std::string> RefusedPasswords(const std::string &file, size_t count, size_t start) {
    std::vector<LocalEntry> entries = LocalEntries(file, start);
    std::vector<std::string> out;
    for (int n = 0; out.size() < count; n++) {
        std::string candidate = "w" + std::to_string(n);
        bool refused = true;
        for (const LocalEntry &e : entries)
            if ((e.flags & 1) && e.compressedSize >= kEncryptionHeaderSize &&
                PassesCheck(file.substr(e.data, kEncryptionHeaderSize), candidate,
                            CheckByte(e.flags, e.crc, e.modTime)))
                refused = false;
        if (refused) out.push_back(candidate);
    }
    return out;
}

// ---- sfx -------------------------------------------------------------------------------

static std::string Text(const std::string &text) { return (char)text.size() + text; }

std::string SfxHeader(uint8_t options, const std::string &caption, const std::string &dir,
                      const std::string &command, const std::string &message, size_t slack) {
    std::string texts = Text(caption) + Text(dir) + Text(command) + Text(message);
    std::string out = "DID";
    out += (char)options;
    out += std::string("\0\1", 2);
    Put16(out, (uint32_t)(8 + texts.size() + slack));
    return out + texts + std::string(slack, 'Z');
}

std::string SfxFile(const std::string &header, const std::string &zip) {
    return std::string(SFX_HEADER_OFFSET, '\0') + header + zip;
}

size_t SfxArchiveStart(const std::string &file) {
    return SFX_HEADER_OFFSET + Get16(file, SFX_HEADER_OFFSET + 6);
}

}  // namespace zipkit
