// mksfx names: entry names and header texts in the target's ANSI code page.
//
// The stub's file and list-box calls are the ANSI ones, so an entry name and
// every header text reach the user as bytes in the code page of the Windows that
// runs the self-extractor. They are converted once, here, from UTF-8, which is
// where they come from:
//   - packed files: the file system's names (host.cpp gives them in UTF-8 on
//     every system); header texts: the command line, UTF-8 too;
//   - an existing ZIP: names flagged UTF-8 (general-purpose bit 11), names with
//     an Info-ZIP Unicode path extra field (0x7075) whose CRC matches the stored
//     name, and names without those marks that are valid UTF-8 and hold non-ASCII
//     characters (what Linux tools write). Any other name is in code page 437,
//     as the ZIP format defines it (--names-cp for an archive known to use
//     another), and is converted from there.
// A converted entry loses bit 11 and carries a fresh 0x7075 field, so that ZIP
// readers other than the stub still see the Unicode name. A name or text the
// code page cannot hold is refused; --names-raw keeps everything as given.
#include "mksfx.h"

namespace mksfx {

namespace {

// Decodes one UTF-8 sequence at `i`; false on anything but the shortest form of a
// scalar value (no surrogates, nothing above U+10FFFF).
bool DecodeUtf8(const std::string &s, size_t &i, uint32_t &cp) {
    auto byte = [&](size_t k) { return uint8_t(s[k]); };
    uint8_t b = byte(i);
    size_t n = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : 4;
    if (n == 4 || i + n >= s.size()) return false;
    cp = n == 0 ? b : b & (0x3F >> n);
    for (size_t k = 1; k <= n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return false;
        cp = cp << 6 | (byte(i + k) & 0x3F);
    }
    static const uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n + 1;
    return true;
}

bool HasNonAscii(const std::string &s) {
    for (char c : s)
        if (uint8_t(c) >= 0x80) return true;
    return false;
}

// The first character of `utf8` that the code page cannot hold, as "U+00E9 "é"".
std::string FirstUnmappable(const std::string &utf8, int codepage) {
    for (size_t i = 0; i < utf8.size();) {
        size_t start = i;
        uint32_t cp;
        if (!DecodeUtf8(utf8, i, cp)) return "an invalid UTF-8 sequence";
        std::string one = utf8.substr(start, i - start), ignored;
        if (!ConvertText(one, kUtf8, codepage, ignored)) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", unsigned(cp));
            return std::string(code) + " \"" + one + "\"";
        }
    }
    return "a character";
}

size_t CountByte(const std::string &s, char c) { return size_t(std::count(s.begin(), s.end(), c)); }

// Converts UTF-8 text to the code page, or names the problem (as `label`) and
// gives "". In the double-byte code pages a trail byte may be 5C, which the
// stub, reading names byte by byte, would take for a folder separator.
std::string FromUtf8(const std::string &utf8, int codepage, const std::string &label, bool isName,
                     Problems &problems) {
    std::string out;
    if (!ConvertText(utf8, kUtf8, codepage, out)) {
        problems.AddEntry(label, "code page " + std::to_string(codepage) + " has no character for " +
                                     FirstUnmappable(utf8, codepage) +
                                     "; give --codepage of the target Windows, or --names-raw");
        return std::string();
    }
    if (isName && CountByte(out, '\\') != CountByte(utf8, '\\')) {
        problems.AddEntry(label, "in code page " + std::to_string(codepage) +
                                     " a character of this name ends in the byte 5C (\"\\\"), which the "
                                     "self-extractor would read as a folder separator");
        return std::string();
    }
    return out;
}

// The UTF-8 name of an Info-ZIP Unicode path field (version 1) that was made for
// `storedName`; false when there is none or it is stale.
bool UnicodePathOf(const std::string &extra, const std::string &storedName, std::string &utf8) {
    size_t i = 0;
    while (i + 4 <= extra.size()) {
        auto *p = reinterpret_cast<const uint8_t *>(extra.data() + i);
        size_t length = GetU16(p + 2);
        if (i + 4 + length > extra.size()) return false;
        if (GetU16(p) == kUnicodePathExtra && length >= 5 && p[4] == 1 &&
            GetU32(p + 5) == Crc32(0, storedName.data(), storedName.size())) {
            utf8.assign(extra, i + 9, length - 5);
            return IsValidUtf8(utf8);
        }
        i += 4 + length;
    }
    return false;
}

}  // namespace

bool IsValidUtf8(const std::string &s) {
    uint32_t cp;
    for (size_t i = 0; i < s.size();)
        if (!DecodeUtf8(s, i, cp)) return false;
    return true;
}

void CheckCodePage(int codepage) {
    bool known = codepage == 874 || (codepage >= 1250 && codepage <= 1258) || codepage == 932 ||
                 codepage == 936 || codepage == 949 || codepage == 950;
    if (!known)
        Fail("--codepage: " + std::to_string(codepage) +
             " is not a Windows ANSI code page mksfx writes (874, 1250-1258, 932, 936, 949, 950)");
    if (!CodePageServed(codepage))
        Fail("--codepage: this system's conversion library does not serve code page " +
             std::to_string(codepage));
}

std::string UnicodePathField(const std::string &name, const std::string &utf8) {
    if (name == utf8) return std::string();
    std::string f;
    PutU16(f, kUnicodePathExtra);
    PutU16(f, uint16_t(5 + utf8.size()));
    f += '\1';
    PutU32(f, Crc32(0, name.data(), name.size()));
    return f + utf8;
}

std::string PackedName(const std::string &utf8, const NameOptions &o, std::string &unicode,
                       Problems &problems) {
    unicode.clear();
    // A name that is not UTF-8 was written by something else: kept as it is.
    if (o.raw || !HasNonAscii(utf8) || !IsValidUtf8(utf8)) return utf8;
    std::string name = FromUtf8(utf8, o.codepage, utf8, true, problems);
    if (name.empty()) return utf8;  // refused already: no more problems of it
    unicode = utf8;
    return name;
}

std::string HeaderText(const char *option, const std::string &utf8, const NameOptions &o,
                       Problems &problems) {
    if (o.raw || !HasNonAscii(utf8)) return utf8;
    if (!IsValidUtf8(utf8)) {
        problems.AddEntry(option, "the text is not UTF-8 (give --names-raw to store its bytes as they are)");
        return std::string();
    }
    return FromUtf8(utf8, o.codepage, option, false, problems);
}

bool ConvertStoredName(CentralRecord &r, const NameOptions &o, const std::string &label, std::string &utf8,
                       std::string &unicodeField, Problems &problems) {
    unicodeField.clear();
    utf8 = r.name;
    if (o.raw) return false;
    if (r.flags & kFlagUtf8) {
        if (!IsValidUtf8(r.name)) {
            problems.AddEntry(label, "the name is flagged UTF-8 (bit 11) but is not valid UTF-8");
            return false;
        }
    } else if (!UnicodePathOf(r.extra, r.name, utf8)) {
        if (!HasNonAscii(r.name)) return false;
        if (!IsValidUtf8(r.name) && !ConvertText(r.name, o.zipCodepage, kUtf8, utf8)) {
            problems.AddEntry(label, "the name is not valid in code page " + std::to_string(o.zipCodepage) +
                                         " (--names-cp)");
            return false;
        }
    }
    std::string name = FromUtf8(utf8, o.codepage, utf8, true, problems);
    if (name.empty()) return false;
    unicodeField = UnicodePathField(name, utf8);
    r.extra = DropExtraField(r.extra, kUnicodePathExtra) + unicodeField;
    r.name = name;
    r.flags &= uint16_t(~kFlagUtf8);
    return true;
}

std::string CodePageToUtf8(const std::string &bytes, int codepage) {
    std::string out;
    if (!HasNonAscii(bytes) || !ConvertText(bytes, codepage, kUtf8, out)) return bytes;
    return out;
}

}  // namespace mksfx
