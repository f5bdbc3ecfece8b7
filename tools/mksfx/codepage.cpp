// mksfx names: entry names in the target's ANSI code page.
//
// The stub's file and list-box calls are the ANSI ones, so an entry name reaches
// the user as bytes in the code page of the Windows that runs the self-extractor.
// Names are converted once, here, from UTF-8, which is where they come from:
//   - packed files: the file system's names (UTF-8 on Linux; on Windows the
//     ANSI code page of the machine that packs, taken through UTF-16);
//   - an existing ZIP: names flagged UTF-8 (general-purpose bit 11), names with
//     an Info-ZIP Unicode path extra field (0x7075) whose CRC matches the stored
//     name, and names without those marks that are valid UTF-8 and hold non-ASCII
//     characters (what Linux tools write). Any other name is kept byte for byte.
// A converted entry loses bit 11 and carries a fresh 0x7075 field in its central
// header, so that ZIP readers other than the stub still see the Unicode name.
// A name the code page cannot hold is refused; --names-raw keeps every name.
#include "mksfx.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

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

#ifdef _WIN32
std::wstring Widen(const std::string &s, UINT codepage, DWORD flags) {
    if (s.empty()) return std::wstring();
    int n = MultiByteToWideChar(codepage, flags, s.data(), int(s.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring w(size_t(n), L'\0');
    MultiByteToWideChar(codepage, flags, s.data(), int(s.size()), &w[0], n);
    return w;
}

std::string Narrow(const std::wstring &w, UINT codepage, bool exact, bool &ok) {
    ok = true;
    if (w.empty()) return std::string();
    // No best fit ("é" must not become "e"), and the default character counts as
    // failure. UTF-8 knows neither flag.
    BOOL usedDefault = FALSE;
    DWORD flags = exact ? WC_NO_BEST_FIT_CHARS : 0;
    BOOL *used = exact ? &usedDefault : nullptr;
    int n = WideCharToMultiByte(codepage, flags, w.data(), int(w.size()), nullptr, 0, nullptr, used);
    if (n <= 0 || usedDefault) {
        ok = false;
        return std::string();
    }
    std::string s(size_t(n), '\0');
    WideCharToMultiByte(codepage, flags, w.data(), int(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

// UTF-8 in, code page out; false when a character has no place in the code page.
bool Convert(const std::string &utf8, int codepage, std::string &out) {
    std::wstring w = Widen(utf8, CP_UTF8, MB_ERR_INVALID_CHARS);
    if (w.empty() && !utf8.empty()) return false;
    bool ok;
    out = Narrow(w, UINT(codepage), true, ok);
    return ok;
}

bool CodePageServed(int codepage) { return IsValidCodePage(UINT(codepage)) != 0; }
#else
bool Iconv(const std::string &in, const char *to, const char *from, std::string &out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1)) return false;
    out.clear();
    char *src = const_cast<char *>(in.data());
    size_t left = in.size();
    char buffer[256];
    bool ok = true;
    while (left > 0 && ok) {
        char *dst = buffer;
        size_t room = sizeof buffer;
        // Without //TRANSLIT glibc refuses what it cannot map exactly (EILSEQ);
        // E2BIG only means the buffer is full.
        size_t r = iconv(cd, &src, &left, &dst, &room);
        out.append(buffer, size_t(dst - buffer));
        if (r == size_t(-1) && errno != E2BIG) ok = false;
        else if (r != size_t(-1) && r > 0) ok = false;  // an inexact mapping
    }
    if (ok) {  // the end of a stateful encoding
        char *dst = buffer;
        size_t room = sizeof buffer;
        ok = iconv(cd, nullptr, nullptr, &dst, &room) != size_t(-1);
        out.append(buffer, size_t(dst - buffer));
    }
    iconv_close(cd);
    return ok;
}

std::string IconvName(int codepage) { return "CP" + std::to_string(codepage); }

bool Convert(const std::string &utf8, int codepage, std::string &out) {
    return Iconv(utf8, IconvName(codepage).c_str(), "UTF-8", out);
}

bool CodePageServed(int codepage) {
    iconv_t cd = iconv_open(IconvName(codepage).c_str(), "UTF-8");
    if (cd == iconv_t(-1)) return false;
    iconv_close(cd);
    return true;
}
#endif

// The first character of `utf8` that the code page cannot hold, as "U+00E9 "é"".
std::string FirstUnmappable(const std::string &utf8, int codepage) {
    for (size_t i = 0; i < utf8.size();) {
        size_t start = i;
        uint32_t cp;
        if (!DecodeUtf8(utf8, i, cp)) return "an invalid UTF-8 sequence";
        std::string one = utf8.substr(start, i - start), ignored;
        if (!Convert(one, codepage, ignored)) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", unsigned(cp));
            return std::string(code) + " \"" + one + "\"";
        }
    }
    return "a character";
}

size_t CountByte(const std::string &s, char c) {
    size_t n = 0;
    for (char x : s) n += x == c;
    return n;
}

// Converts a UTF-8 name or refuses it, naming the entry (`label`).
std::string FromUtf8(const std::string &utf8, int codepage, const std::string &label) {
    std::string out;
    if (!Convert(utf8, codepage, out))
        FailEntry(label, "code page " + std::to_string(codepage) + " has no character for " +
                             FirstUnmappable(utf8, codepage) +
                             "; give --codepage of the target Windows, or --names-raw");
    // In the double-byte code pages a trail byte may be 5C, which the stub, reading
    // names byte by byte, would take for a folder separator.
    if (CountByte(out, '\\') != CountByte(utf8, '\\'))
        FailEntry(label, "in code page " + std::to_string(codepage) +
                             " a character of this name ends in the byte 5C (\"\\\"), which the "
                             "self-extractor would read as a folder separator");
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

std::string HostFileName(const std::filesystem::path &leaf) {
#ifdef _WIN32
    bool ok;
    std::string name = Narrow(leaf.native(), CP_ACP, true, ok);
    return ok ? name : leaf.string();  // not in the ANSI code page: it cannot be opened
#else
    return leaf.native();
#endif
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

std::string PackedName(const std::string &hostName, const NameOptions &o, std::string &unicode) {
    unicode.clear();
    if (o.raw || !HasNonAscii(hostName)) return hostName;
#ifdef _WIN32
    bool ok;
    std::string utf8 = Narrow(Widen(hostName, CP_ACP, 0), CP_UTF8, false, ok);
    if (!ok) return hostName;
#else
    // A name that is not UTF-8 was written by something else: kept as it is.
    if (!IsValidUtf8(hostName)) return hostName;
    const std::string &utf8 = hostName;
#endif
    std::string name = FromUtf8(utf8, o.codepage, utf8);
    unicode = utf8;
    return name;
}

bool ConvertStoredName(CentralRecord &r, const NameOptions &o, const std::string &label,
                       std::string &unicodeField) {
    unicodeField.clear();
    if (o.raw) return false;
    std::string utf8;
    if (r.flags & kFlagUtf8) {
        if (!IsValidUtf8(r.name)) FailEntry(label, "the name is flagged UTF-8 (bit 11) but is not valid UTF-8");
        utf8 = r.name;
    } else if (!UnicodePathOf(r.extra, r.name, utf8)) {
        if (!HasNonAscii(r.name) || !IsValidUtf8(r.name)) return false;
        utf8 = r.name;
    }
    std::string name = FromUtf8(utf8, o.codepage, utf8);
    unicodeField = UnicodePathField(name, utf8);
    r.extra = DropExtraField(r.extra, kUnicodePathExtra) + unicodeField;
    r.name = name;
    r.flags &= uint16_t(~kFlagUtf8);
    return true;
}

std::string CodePageToUtf8(const std::string &bytes, int codepage) {
    if (!HasNonAscii(bytes)) return bytes;
    std::string out;
#ifdef _WIN32
    bool ok;
    out = Narrow(Widen(bytes, UINT(codepage), MB_ERR_INVALID_CHARS), CP_UTF8, false, ok);
    if (!ok || out.empty()) return bytes;
#else
    if (!Iconv(bytes, "UTF-8", IconvName(codepage).c_str(), out)) return bytes;
#endif
    return out;
}

}  // namespace mksfx
