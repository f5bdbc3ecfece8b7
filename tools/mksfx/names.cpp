// mksfx names: what the stub refuses to create, refused here at build time, and
// the --exclude patterns.
//
// The stub creates each name below the destination with the ANSI file calls; it
// refuses a name that would leave the destination or that no Windows file can
// carry, and reports it only when the user has pressed Start. A self-extractor
// holding such a name can never extract completely, so the builder names every
// one of them instead of writing it.
#include "mksfx.h"

#include <cctype>
#include <cstring>
#include <map>

namespace mksfx {

namespace {

// The characters no Windows file name holds; ":" also names a drive or an
// alternate data stream.
const char kBadCharacters[] = ":*?<>\"|";
// Names Windows opens as devices in every folder, with any extension; "#" is
// any digit, the superscripts of code page 1252 included.
const char *const kDevices[] = {"CON", "PRN", "AUX", "NUL", "COM#", "LPT#", "CONIN$", "CONOUT$"};

bool IsDeviceDigit(unsigned char c) { return (c >= '0' && c <= '9') || c == 0xB9 || c == 0xB2 || c == 0xB3; }

bool IsDevice(const std::string &component) {
    std::string base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (const char *device : kDevices) {
        if (base.size() != std::strlen(device)) continue;
        bool same = true;
        for (size_t i = 0; i < base.size(); ++i) {
            unsigned char c = base[i];
            same = same && (device[i] == '#' ? IsDeviceDigit(c) : std::toupper(c) == device[i]);
        }
        if (same) return true;
    }
    return false;
}

}  // namespace

std::string StubNameProblem(const std::string &name) {
    if (name.empty()) return "an empty name cannot be extracted";
    if (name[0] == '/' || name[0] == '\\') return "an absolute path would leave the destination folder";
    for (unsigned char c : name) {
        if (c < 0x20) return "a control character (byte " + std::to_string(c) + ") has no place in a Windows file name";
        if (std::strchr(kBadCharacters, c))
            return std::string("the character \"") + char(c) + "\" has no place in a Windows file name";
    }
    size_t end = name.find_last_not_of("/\\") + 1;  // a folder entry ends in a separator
    for (size_t at = 0; at < end;) {
        size_t next = name.find_first_of("/\\", at);
        if (next == std::string::npos || next > end) next = end;
        std::string component = name.substr(at, next - at);
        if (component.empty()) return "an empty folder name (\"//\")";
        if (component.find_first_not_of(". ") == std::string::npos)
            return "a component made of dots (\"" + component + "\") would leave the folder";
        if (component.back() == '.' || component.back() == ' ')
            return "Windows drops the \"" + component.substr(component.size() - 1) +
                   "\" that ends \"" + component + "\", so the file would land elsewhere";
        if (IsDevice(component)) return "\"" + component + "\" is a device name on Windows";
        at = next + 1;
    }
    return std::string();
}

void CheckEntryNames(const std::vector<std::string> &names, const std::vector<std::string> &labels,
                     const NameOptions &o, Problems &problems) {
    std::map<std::string, size_t> seen;  // ASCII letters folded -> the first name's index
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string &name = names[i];
        std::string problem = o.unsafe ? std::string() : StubNameProblem(name);
        if (!problem.empty()) problems.AddEntry(labels[i], problem);
        if (name.size() > kMaxNameLength)
            problems.AddEntry(labels[i], "the name is " + std::to_string(name.size()) +
                                             " bytes; the stub reads names of at most " +
                                             std::to_string(kMaxNameLength) + " bytes");
        // The stub's file list finds names without regard to case, and on
        // Windows two such names are one file.
        std::string key = name;
        for (char &c : key)
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        auto found = seen.emplace(key, i);
        if (!found.second)
            problems.Add(labels[found.first->second] + " and " + labels[i] +
                         ": the same name twice (names differing only in case are one file on Windows)");
    }
}

bool GlobMatch(const char *pattern, const char *name) {
    for (; *pattern; ++pattern, ++name) {
        if (*pattern == '*') {
            for (const char *rest = name;; ++rest) {
                if (GlobMatch(pattern + 1, rest)) return true;
                if (!*rest) return false;
            }
        }
        if (!*name) return false;
        if (*pattern == '[') {
            const char *close = std::strchr(pattern + 1, ']');
            if (close) {
                bool negate = pattern[1] == '!' || pattern[1] == '^', found = false;
                for (const char *p = pattern + 1 + negate; p < close; ++p) {
                    if (p + 2 < close && p[1] == '-') {
                        found = found || (*name >= p[0] && *name <= p[2]);
                        p += 2;
                    } else {
                        found = found || *p == *name;
                    }
                }
                if (found == negate) return false;
                pattern = close;
                continue;
            }
        }
        if (*pattern != '?' && *pattern != *name) return false;
    }
    return !*name;
}

}  // namespace mksfx
