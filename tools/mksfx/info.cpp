// mksfx --info: what a self-extractor holds, read the way the stub reads it: the
// configuration header at HEADER_OFFSET, the completeness check (with the
// certificate table of a signed file), the manifest's execution level, and the
// entries as the walk of the local headers from the header's end finds them.
// The option names are the option table's (cli.cpp).
#include "mksfx.h"

#include <cinttypes>
#include <cstring>

namespace mksfx {

namespace {

uint32_t ArchiveStart(const std::vector<uint8_t> &f) {
    SFXHeader h;
    std::memcpy(&h, &f[kHeaderOffset], sizeof h);
    return kHeaderOffset + h.headerSize;
}

bool HasHeader(const std::vector<uint8_t> &f) {
    return f.size() >= kHeaderOffset + SFX_FIXED_HEADER_SIZE &&
           std::equal(f.begin() + kHeaderOffset, f.begin() + kHeaderOffset + SFX_SIGNATURE_LENGTH,
                      SFX_SIGNATURE);
}

std::string Quoted(const std::string &text, int codepage) { return "\"" + CodePageToUtf8(text, codepage) + "\""; }

std::string MethodName(uint16_t method) {
    return method == METHOD_STORED ? "stored" : method == METHOD_DEFLATED ? "deflated" : "method " + std::to_string(method);
}

std::string Hex(unsigned value) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", value);
    return hex;
}

void Line(const char *label, const std::string &value) { std::printf("%-20s %s\n", label, value.c_str()); }

// The entries as the stub walks them, one row each; `stop` says why the walk
// ended early ("" when it met the central directory or the end).
std::vector<std::string> WalkRows(const std::vector<uint8_t> &f, int codepage, std::string &stop) {
    std::vector<std::string> rows;
    for (uint64_t pos = ArchiveStart(f); pos + LOCAL_HEADER_SIZE <= f.size();) {
        LocalHeader h;
        std::memcpy(&h, &f[pos], sizeof h);
        if (h.signature == kDescriptorSig) {
            pos += DESCRIPTOR_SIZE;
            continue;
        }
        if (h.signature != kLocalSig) break;
        uint64_t data = pos + LOCAL_HEADER_SIZE + h.nameLength + h.extraLength;
        if (data > f.size()) {
            stop = "a local header runs past the end of the file";
            break;
        }
        std::string name(reinterpret_cast<const char *>(&f[pos + LOCAL_HEADER_SIZE]), h.nameLength);
        char row[96];
        std::snprintf(row, sizeof row, "  %10" PRIu32 "  %-10s  %10" PRIu32 "  %-9s  ", h.uncompressedSize,
                      MethodName(h.method).c_str(), h.compressedSize, h.flags & ZIP_FLAG_ENCRYPTED ? "yes" : "no");
        rows.push_back(row + Quoted(name, codepage));
        pos = data + h.compressedSize;
        if (pos > f.size()) {
            stop = "the data of \"" + name + "\" runs past the end of the file";
            break;
        }
    }
    return rows;
}

void ShowOne(const std::string &path, const std::vector<uint8_t> &f, int codepage, const std::string &problem) {
    Line("file", path + ", " + std::to_string(f.size()) + " bytes");
    std::string level = ManifestLevel(f.data(), kHeaderOffset);
    Line("stub", std::to_string(kHeaderOffset) + " bytes, manifest execution level " +
                     (level.empty() ? "(none found)" : level));
    for (const auto &l : DescribeResources(std::vector<uint8_t>(f.begin(), f.begin() + kHeaderOffset)))
        Line(l.first.c_str(), l.second);
    Certificates c = CertificatesOf(f);
    std::string table = " certificate table of " + std::to_string(c.size) + " bytes at byte " + std::to_string(c.offset);
    Line("signed", c.size == 0 ? "no"
                   : c.problem.empty() ? "yes:" + table + " (osslsigncode verify checks it)"
                                       : "DAMAGED: the PE header declares a" + table + ", " + c.problem);

    SFXHeader h;
    std::memcpy(&h, &f[kHeaderOffset], sizeof h);
    size_t at = kHeaderOffset + SFX_FIXED_HEADER_SIZE;
    std::string texts[4];  // caption, defaultDir, command, startupMessage
    for (std::string &t : texts) {
        if (at >= f.size()) break;
        size_t n = f[at++];
        t.assign(reinterpret_cast<const char *>(&f[at]), std::min(n, f.size() - at));
        at += n;
    }
    Line("caption", texts[0].empty() ? "(empty: \"Tarvex Self-Extractor\")" : Quoted(texts[0], codepage));
    Line("destination", texts[1].empty() ? "(empty: the current folder)" : Quoted(texts[1], codepage));
    Line("command", texts[2].empty() ? "(none)" : Quoted(texts[2], codepage));
    std::string message = texts[3];
    if (message.empty()) {
        Line("message", "(none)");
    } else {
        uint8_t code = uint8_t(message[0]);
        bool coded = code < MESSAGE_STYLE_LIMIT;
        const char *style = kMessageStyles[0].name;
        for (const NamedValue &v : kMessageStyles)
            if (coded && code == v.value) style = v.name;
        if (coded) message.erase(0, 1);
        Line("message", Quoted(message, codepage) + ", style " + style +
                            (coded ? " (code " + std::to_string(code) + ")" : " (no code byte)"));
    }
    Line("options", Hex(h.options));
    for (size_t i = 0; i < kOptionCount; ++i) {
        const OptionSpec &o = kOptionTable[i];
        if (!o.bit) continue;
        if (o.value) {  // the overwrite mode: a value in two bits
            int mode = (h.options & o.bit) >> OPT_OVERWRITE_SHIFT;
            std::string name = mode < 3 ? kOverwriteModes[mode].name : "confirm (value 3)";
            std::printf("  %-20s %s (%s)\n", o.name, name.c_str(), Hex(o.bit).c_str());
        } else {
            std::printf("  %-20s %-3s (%s)\n", o.name, h.options & o.bit ? "yes" : "no", Hex(o.bit).c_str());
        }
    }
    if (problem.empty())
        Line("complete", "yes");
    else
        Line("complete", "NO: " + problem + "; the stub " +
                             (h.options & OPT_NO_SIZE_CHECK
                                  ? "does not check (no-size-check) and fails when it reads the data"
                                  : "refuses it (\"Incorrect file size, please try to download this "
                                    "file again.\")"));
    std::string stop;
    std::vector<std::string> rows = WalkRows(f, codepage, stop);
    Line("entries", std::to_string(rows.size()) + ", from byte " + std::to_string(ArchiveStart(f)));
    if (!rows.empty()) std::printf("  %10s  %-10s  %10s  %-9s  %s\n", "size", "method", "packed", "encrypted", "name");
    for (const std::string &r : rows) std::printf("%s\n", r.c_str());
    if (!stop.empty()) std::printf("  (the walk stops: %s)\n", stop.c_str());
}

}  // namespace

uint32_t PeHeaderOffset(const std::vector<uint8_t> &f) {
    return f.size() >= PE_HEADER_POINTER + 4 ? GetU32(&f[PE_HEADER_POINTER]) : 0;
}

// The table a signed self-extractor ends in: the one WIN_CERTIFICATE the
// security entry describes, PKCS#7, ending the file, on its alignment boundary.
// The padding in front of it is checked with the end record.
Certificates CertificatesOf(const std::vector<uint8_t> &f) {
    Certificates c;
    uint64_t entry = uint64_t(PeHeaderOffset(f)) + PE_SECURITY_ENTRY;
    if (entry + 8 > f.size()) return c;
    c.offset = GetU32(&f[entry]);
    c.size = GetU32(&f[entry + 4]);
    if (c.size == 0) return c;
    const uint8_t *table = uint64_t(c.offset) + CERT_HEADER_SIZE <= f.size() ? &f[c.offset] : nullptr;
    if (uint64_t(c.offset) + c.size != f.size())
        c.problem = "that does not end at the end of the file";
    else if (c.offset % CERT_TABLE_ALIGNMENT != 0)
        c.problem = "that does not start on an " + std::to_string(CERT_TABLE_ALIGNMENT) + "-byte boundary";
    else if (!table || GetU32(table) != c.size)
        c.problem = "whose length field differs from the size the PE header gives";
    else if (GetU16(table + 4) != WIN_CERT_REVISION_2_0 || GetU16(table + 6) != WIN_CERT_TYPE_PKCS_SIGNED_DATA)
        c.problem = "that is not a revision 2.0 PKCS#7 signature";
    return c;
}

std::string CompletenessProblem(const std::vector<uint8_t> &f) {
    if (!HasHeader(f))
        return "no configuration header (\"" SFX_SIGNATURE "\") at byte " + std::to_string(kHeaderOffset);
    Certificates c = CertificatesOf(f);
    if (!c.problem.empty()) return "the PE header declares a certificate table " + c.problem;
    // The same 32-bit arithmetic as the stub's check; before a certificate table
    // the record may be followed by its zero padding.
    bool isSigned = c.size != 0;
    uint32_t end = isSigned ? c.offset : uint32_t(f.size()), padding = isSigned ? CERT_MAX_PADDING : 0;
    uint32_t n = end - ArchiveStart(f);
    if (n > MAX_TAIL_SCAN + padding) n = MAX_TAIL_SCAN + padding;
    if (n <= END_RECORD_SIZE) return "no ZIP data after the header";
    if (n > end) return "the file ends inside the configuration header";
    const uint8_t *tail = f.data() + (end - n);
    uint32_t low = n;
    while (n - low < padding && !tail[low - 1]) --low;
    for (uint32_t i = 0; i + END_RECORD_SIZE <= n; ++i) {
        if (GetU32(tail + i) != kEndSig) continue;
        uint32_t recordEnd = i + END_RECORD_SIZE + GetU16(tail + i + END_RECORD_COMMENT_LENGTH);
        if (recordEnd - low <= n - low) return std::string();
    }
    return std::string("the ZIP end record does not end at the end of the ") +
           (isSigned ? "data before the certificate table" : "file") + " (cut short, or bytes added after it)";
}

int ShowInfo(const std::vector<std::string> &paths, int codepage) {
    int status = 0;
    for (const std::string &path : paths) {
        if (&path != &paths[0]) std::printf("\n");
        try {
            std::vector<uint8_t> f = ReadWholeFile(path);
            std::string problem = CompletenessProblem(f);
            if (!HasHeader(f)) Fail(path + ": not a self-extractor: " + problem);
            ShowOne(path, f, codepage, problem);
            if (!problem.empty()) status = 2;
        } catch (const Failure &failure) {
            std::fflush(stdout);
            for (const std::string &m : failure.messages) std::fprintf(stderr, "mksfx: %s\n", m.c_str());
            status = 2;
        }
    }
    return status;
}

}  // namespace mksfx
