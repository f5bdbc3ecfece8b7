// mksfx --info: what a self-extractor holds, read the way the stub reads it: the
// configuration header at HEADER_OFFSET, the completeness check (with the
// certificate table of a signed file), the manifest's execution level, and the
// entries as the walk of the local headers from the header's end finds them.
#include "mksfx.h"

#include <cinttypes>

namespace mksfx {

namespace {

// The stub's completeness check scans this much before the end of the data: the
// end record with a 64 KiB comment, and the up to 7 zero bytes that may follow it
// in a signed file.
constexpr uint32_t kTailScan = 65558 + 7;
constexpr uint32_t kEndRecordSize = 22;

// The certificate table that the PE header's security entry (data directory 4,
// at e_lfanew + 0x98) declares; size 0 when none.
struct Certificates {
    uint32_t offset = 0, size = 0;
    bool atEnd = false;  // ends exactly at the end of the file
};

Certificates CertificatesOf(const std::vector<uint8_t> &f) {
    Certificates c;
    if (f.size() < 0x40) return c;
    uint32_t lfanew = GetU32(&f[0x3C]);
    if (uint64_t(lfanew) + 0xA0 > f.size()) return c;
    c.offset = GetU32(&f[lfanew + 0x98]);
    c.size = GetU32(&f[lfanew + 0x9C]);
    c.atEnd = c.size != 0 && uint64_t(c.offset) + c.size == f.size();
    return c;
}

uint32_t ArchiveStart(const std::vector<uint8_t> &f) {
    return kHeaderOffset + GetU16(&f[kHeaderOffset + 6]);
}

bool HasHeader(const std::vector<uint8_t> &f) {
    return f.size() >= kHeaderOffset + SFX_FIXED_HEADER_SIZE &&
           std::equal(f.begin() + kHeaderOffset, f.begin() + kHeaderOffset + SFX_SIGNATURE_LENGTH,
                      SFX_SIGNATURE);
}

std::string Quoted(const std::string &text, int codepage) {
#ifdef _WIN32
    (void)codepage;  // the console shows the ANSI bytes as they are
    return "\"" + text + "\"";
#else
    return "\"" + CodePageToUtf8(text, codepage) + "\"";
#endif
}

std::string MethodName(uint16_t method) {
    return method == 0 ? "stored" : method == 8 ? "deflated" : "method " + std::to_string(method);
}

}  // namespace

std::string CompletenessProblem(const std::vector<uint8_t> &f) {
    if (!HasHeader(f))
        return "no configuration header (\"" SFX_SIGNATURE "\") at byte " + std::to_string(kHeaderOffset);
    // The same 32-bit arithmetic as the stub's check.
    Certificates c = CertificatesOf(f);
    uint32_t end = uint32_t(f.size()), padding = 0;
    if (c.atEnd) end = c.offset, padding = 7;
    uint32_t n = end - ArchiveStart(f);
    if (n > kTailScan) n = kTailScan;
    if (n <= kEndRecordSize) return "no ZIP data after the header";
    if (n > end) return "the file ends inside the configuration header";
    const uint8_t *tail = f.data() + (end - n);
    uint32_t low = n;
    while (n - low < padding && !tail[low - 1]) --low;
    for (uint32_t i = 0; i + kEndRecordSize <= n; ++i) {
        if (GetU32(tail + i) != kEndSig) continue;
        uint32_t recordEnd = i + kEndRecordSize + GetU16(tail + i + 20);
        if (recordEnd - low <= n - low) return std::string();
    }
    return std::string("the ZIP end record does not end at the end of the ") +
           (c.atEnd ? "data before the certificate table" : "file") +
           " (cut short, or bytes added after it)";
}

int ShowInfo(const std::string &path, int codepage) {
    std::vector<uint8_t> f = ReadWholeFile(path);
    if (!HasHeader(f))
        Fail(path + ": not a self-extractor: " + CompletenessProblem(f));
    auto line = [](const char *label, const std::string &value) {
        std::printf("%-20s %s\n", label, value.c_str());
    };
    line("file", path + ", " + std::to_string(f.size()) + " bytes");
    std::string level = ManifestLevel(f.data(), kHeaderOffset);
    line("stub", std::to_string(kHeaderOffset) + " bytes, manifest execution level " +
                     (level.empty() ? "(none found)" : level));
    Certificates c = CertificatesOf(f);
    if (c.size == 0)
        line("signed", "no");
    else
        line("signed", c.atEnd ? "yes: certificate table of " + std::to_string(c.size) + " bytes at byte " +
                                     std::to_string(c.offset) + " (osslsigncode verify checks it)"
                               : "DAMAGED: the PE header declares a certificate table of " +
                                     std::to_string(c.size) + " bytes at byte " + std::to_string(c.offset) +
                                     " that does not end at the end of the file");

    // The header: "DID", options, 2 reserved bytes, headerSize, four texts.
    uint8_t options = f[kHeaderOffset + 3];
    size_t at = kHeaderOffset + SFX_FIXED_HEADER_SIZE;
    std::string texts[4];
    for (std::string &t : texts) {
        if (at >= f.size()) break;
        size_t n = f[at++];
        t.assign(reinterpret_cast<const char *>(&f[at]), std::min(n, f.size() - at));
        at += n;
    }
    line("caption", texts[0].empty() ? "(empty: \"Tarvex Self-Extractor\")" : Quoted(texts[0], codepage));
    line("destination", texts[1].empty() ? "(empty: the current folder)" : Quoted(texts[1], codepage));
    line("command", texts[2].empty() ? "(none)" : Quoted(texts[2], codepage));
    std::string message = texts[3];
    if (message.empty()) {
        line("message", "(none)");
    } else {
        uint8_t code = uint8_t(message[0]);
        const char *style = "ok";
        if (code < 7) message.erase(0, 1);
        if (code == 1) style = "ok-cancel";
        if (code == 2) style = "yes-no";
        line("message", Quoted(message, codepage) + ", style " + style +
                            (code < 7 ? " (code " + std::to_string(code) + ")" : " (no code byte)"));
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", options);
    line("options", hex);
    struct Bit {
        uint8_t mask;
        const char *name;
    } bits[] = {
        {OPT_SHOW_RUN_CHECKBOX, "show-run-checkbox"}, {OPT_SELECT_FILES, "select-files"},
        {OPT_LOCK_OVERWRITE_MODE, "lock-overwrite"},   {OPT_NO_SIZE_CHECK, "no-size-check"},
        {OPT_AUTO_START, "auto-start"},                {OPT_NO_FINISHED_MESSAGE, "no-finished-message"},
    };
    for (const Bit &b : bits) {
        std::snprintf(hex, sizeof hex, "0x%02X", b.mask);
        std::printf("  %-20s %-3s (%s)\n", b.name, options & b.mask ? "yes" : "no", hex);
    }
    static const char *const kOverwrite[] = {"confirm", "always", "never", "confirm (value 3)"};
    std::printf("  %-20s %s (0x18)\n", "overwrite", kOverwrite[(options & OPT_OVERWRITE_MODE) >> OPT_OVERWRITE_SHIFT]);

    std::string problem = CompletenessProblem(f);
    if (problem.empty())
        line("complete", "yes");
    else
        line("complete", "NO: " + problem + "; the stub " +
                             (options & OPT_NO_SIZE_CHECK
                                  ? "does not check (no-size-check) and fails when it reads the data"
                                  : "refuses it (\"Incorrect file size, please try to download this "
                                    "file again.\")"));

    // The entries, walked as the stub walks them.
    uint64_t pos = ArchiveStart(f);
    std::vector<std::string> rows;
    std::string stop;
    while (pos + 30 <= f.size()) {
        uint32_t sig = GetU32(&f[pos]);
        if (sig == kDescriptorSig) {
            pos += 16;
            continue;
        }
        if (sig != kLocalSig) break;
        const uint8_t *h = &f[pos];
        uint16_t flags = GetU16(h + 6), method = GetU16(h + 8);
        uint32_t packed = GetU32(h + 18), size = GetU32(h + 22);
        size_t nameLength = GetU16(h + 26), extraLength = GetU16(h + 28);
        uint64_t data = pos + 30 + nameLength + extraLength;
        if (data > f.size()) {
            stop = "a local header runs past the end of the file";
            break;
        }
        std::string name(reinterpret_cast<const char *>(h + 30), nameLength);
        char row[96];
        std::snprintf(row, sizeof row, "  %10" PRIu32 "  %-10s  %10" PRIu32 "  %-9s  ", size,
                      MethodName(method).c_str(), packed, flags & ZIP_FLAG_ENCRYPTED ? "yes" : "no");
        rows.push_back(row + Quoted(name, codepage));
        pos = data + packed;
        if (pos > f.size()) {
            stop = "the data of \"" + name + "\" runs past the end of the file";
            break;
        }
    }
    line("entries", std::to_string(rows.size()) + ", from byte " + std::to_string(ArchiveStart(f)));
    if (!rows.empty()) std::printf("  %10s  %-10s  %10s  %-9s  %s\n", "size", "method", "packed", "encrypted", "name");
    for (const std::string &r : rows) std::printf("%s\n", r.c_str());
    if (!stop.empty()) std::printf("  (the walk stops: %s)\n", stop.c_str());
    return problem.empty() ? 0 : 2;
}

}  // namespace mksfx
