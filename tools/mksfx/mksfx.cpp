// mksfx: the builder of self-extractors. Command line, configuration header, stub
// lookup and the assembly of stub + header + ZIP data into one file.
//
// The configuration header's layout, option bits and values are
// app/sfxformat.h's; the builder writes 00 01 as the reserved bytes and a
// headerSize of exactly the fixed part and the four texts.
#include "mksfx.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sys/stat.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace mksfx {
namespace {

const char kStubName[] = "tarvex-sfx.exe";
const char kVersion[] = "1.5";

const char kUsage[] =
    "usage: mksfx [options] -o OUT.exe INPUT...\n"
    "       mksfx --info FILE.exe | --version | --help\n"
    "\n"
    "Builds a self-extractor: the stub, then the configuration header, then ZIP data.\n"
    "INPUT is either one existing .zip archive (made by any tool; it is rewritten so\n"
    "that the stub can walk it) or files and folders to pack. A folder is packed with\n"
    "everything below it; entry names are the paths as given (relative to --base),\n"
    "with \"/\" separators and folders as entries ending in \"/\".\n"
    "\n"
    "Output:\n"
    "  -o, --output FILE        the self-extractor to write (written to a temporary\n"
    "                           file first and renamed into place when complete)\n"
    "  --stub PATH              the stub executable; it must be exactly %u bytes long\n"
    "                           (its length is where the header goes). Default:\n"
    "                           tarvex-sfx.exe beside the mksfx program, else\n"
    "                           ../share/tarvex/tarvex-sfx.exe relative to the mksfx\n"
    "                           program's folder (where cmake --install puts it), else\n"
    "                           ../win32/tarvex-sfx.exe (the layout of a build tree:\n"
    "                           build/host/mksfx finds build/win32/tarvex-sfx.exe)\n"
    "  --elevation LEVEL        the execution level the stub's manifest requests:\n"
    "                           invoker (asInvoker, the default), highest\n"
    "                           (highestAvailable) or admin (requireAdministrator).\n"
    "                           An INF installation, or a registry destination that\n"
    "                           installs for all users (HKLM, Program Files), needs\n"
    "                           --elevation admin: without it Windows asks for no\n"
    "                           elevation and refuses those writes\n"
    "  --keep-order             write the entries in input order (a .zip's own order;\n"
    "                           folders walked in name order). By default they go in\n"
    "                           the order of the stub's sorted file list (the system's\n"
    "                           case-insensitive sort, code page 1252), in which the\n"
    "                           stub finds each entry's list item fastest\n"
    "\n"
    "Header texts (at most %u bytes each, stored as given):\n"
    "  --caption TEXT           window caption (empty: \"Tarvex Self-Extractor\")\n"
    "  --dir TEXT               default destination: a path, \"><\" for the temporary\n"
    "                           folder, or a registry reference ROOT\\key\\value|subdir\n"
    "  --command TEXT           command run after extraction (\"><\" stands for the\n"
    "                           destination folder)\n"
    "  --message TEXT           start-up message shown before the main window\n"
    "  --message-style STYLE    the message box of --message: ok, ok-cancel (code 1),\n"
    "                           yes-no (code 2) or a code number 0-6; the code is\n"
    "                           stored as the message's first byte. Cancel/No ends\n"
    "                           the program\n"
    "\n"
    "Option bits:\n"
    "  --show-run-checkbox      show the \"run\" check box (bit 0x01)\n"
    "  --select-files           let the user choose files from the list (bit 0x02)\n"
    "  --lock-overwrite         hide the overwrite-mode buttons (bit 0x04)\n"
    "  --overwrite MODE         initial overwrite mode (bits 0x18): confirm (0, the\n"
    "                           default), always (1, \"&Overwrite\"), never (2,\n"
    "                           \"&Don't overwrite\")\n"
    "  --no-size-check          skip the download completeness check (bit 0x20)\n"
    "  --auto-start             extract at once when the file is named \"!...\" or\n"
    "                           Setup.exe (bit 0x40)\n"
    "  --no-finished-message    no \"All files have been extracted.\" box (bit 0x80)\n"
    "  --raw-options N          the whole option byte (0-255, decimal or 0x..);\n"
    "                           overrides the option bits above\n"
    "\n"
    "Entry names (the stub shows and creates them in the user's ANSI code page):\n"
    "  --codepage N             the target Windows' ANSI code page (default 1252,\n"
    "                           Western; 874, 1250-1258, 932, 936, 949, 950). Names\n"
    "                           are converted to it from UTF-8: file names when\n"
    "                           packing, ZIP names flagged UTF-8 (bit 11) or carrying\n"
    "                           an Info-ZIP Unicode path field, and names that are\n"
    "                           valid UTF-8 with non-ASCII characters; other names\n"
    "                           are kept byte for byte. A name the code page cannot\n"
    "                           hold is refused\n"
    "  --names-raw              keep every name byte for byte as stored\n"
    "\n"
    "Signing (Authenticode, through osslsigncode on PATH):\n"
    "  --sign-cert FILE         sign the result with this certificate (PEM or DER,\n"
    "                           with --sign-key), or with this PKCS#12 file (.pfx,\n"
    "                           certificate and key, without --sign-key)\n"
    "  --sign-key FILE          the certificate's private key\n"
    "  --sign-pass PW           the key's password\n"
    "  --sign-timestamp URL     an RFC 3161 time-stamping server, so that the\n"
    "                           signature outlives the certificate\n"
    "  The stub's completeness check allows for the certificate table; anything\n"
    "  added to the file after signing makes it refuse the file.\n"
    "\n"
    "Packing files and folders (not for a .zip input):\n"
    "  -C, --base DIR           take the INPUT paths relative to DIR; \".\" as INPUT\n"
    "                           then packs DIR's contents without a folder entry\n"
    "  --level N                deflate level 1-9 (default 9); 0 is --store\n"
    "  --store                  store without compression\n"
    "  --password PW            traditional ZIP encryption of every file\n"
    "  Incompressible files are stored. Each entry keeps its file's modification\n"
    "  time (local time, as a DOS date and time). The same inputs give the same\n"
    "  output bytes.\n"
    "\n"
    "Inspecting:\n"
    "  --info FILE.exe          print what a self-extractor holds (header fields,\n"
    "                           option bits, signature, manifest level, entries);\n"
    "                           exit code 2 when it is not a complete self-extractor\n"
    "  --version                the version of mksfx\n"
    "  -h, --help               this text\n"
    "\n"
    "Refused, with a one-line message, exit code 2 and no output file: ZIP64,\n"
    "compression methods other than stored (0) and deflated (8), strong or AES\n"
    "encryption, split archives, empty names and names over %u bytes, header texts\n"
    "over %u bytes, a result of 2 GiB or more (2147483647 bytes at most), a stub of\n"
    "the wrong length or a missing one, unreadable inputs, bad options.\n"
    "Exit codes: 0 success, 2 any error.\n";

struct Settings {
    std::string output;
    std::string stub;
    std::string caption, dir, command, message;
    bool hasStyle = false;
    uint8_t style = 0;
    uint8_t options = 0;
    int overwrite = 0;
    bool hasRaw = false;
    uint8_t raw = 0;
    bool store = false;
    bool hasLevel = false;
    int level = 9;
    std::string password;
    bool hasPassword = false;
    bool keepOrder = false;
    std::string base;
    std::vector<std::string> inputs;
    std::string elevation;  // "" keeps the stub's level
    NameOptions names;
    SignOptions sign;
    std::string info;
};

// The options that take a text as it is given.
struct TextOption {
    const char *name;
    std::string Settings::*field;
};
const TextOption kTextOptions[] = {
    {"-o", &Settings::output},         {"--output", &Settings::output},
    {"--stub", &Settings::stub},       {"--caption", &Settings::caption},
    {"--dir", &Settings::dir},         {"--command", &Settings::command},
    {"--message", &Settings::message}, {"-C", &Settings::base},
    {"--base", &Settings::base},
};

// The option bits that have a flag of their own.
struct OptionFlag {
    const char *name;
    uint8_t bit;
};
const OptionFlag kOptionFlags[] = {
    {"--show-run-checkbox", OPT_SHOW_RUN_CHECKBOX},
    {"--select-files", OPT_SELECT_FILES},
    {"--lock-overwrite", OPT_LOCK_OVERWRITE_MODE},
    {"--no-size-check", OPT_NO_SIZE_CHECK},
    {"--auto-start", OPT_AUTO_START},
    {"--no-finished-message", OPT_NO_FINISHED_MESSAGE},
};

// The stub's file list finds names without regard to case, and on Windows two
// such names are one file: an archive holding both could never extract cleanly.
void RefuseDuplicateNames(const std::vector<CentralRecord> &records) {
    std::map<std::string, std::string> seen;  // ASCII letters folded -> the name
    for (const CentralRecord &r : records) {
        std::string key = r.name;
        for (char &c : key)
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        auto found = seen.emplace(key, r.name);
        if (!found.second)
            Fail(found.first->second + " and " + r.name +
                 ": the same name twice (names differing only in case are one file on Windows)");
    }
}

long ParseNumber(const std::string &option, const std::string &text, long lo, long hi) {
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || errno != 0 || v < lo || v > hi)
        Fail(option + ": expected a number from " + std::to_string(lo) + " to " + std::to_string(hi) +
             ", got \"" + text + "\"");
    return v;
}

Settings ParseArguments(int argc, char **argv) {
    Settings s;
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsDone || arg.empty() || arg[0] != '-' || arg == "-") {
            s.inputs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsDone = true;
            continue;
        }
        std::string name = arg, value;
        bool inlineValue = false;
        size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        auto takeValue = [&]() -> std::string {
            if (inlineValue) return value;
            if (i + 1 >= argc) Fail(name + ": a value is missing");
            return argv[++i];
        };
        auto flagOnly = [&]() {
            if (inlineValue) Fail(name + ": takes no value");
        };
        bool found = false;
        for (const OptionFlag &f : kOptionFlags) {
            if (name != f.name) continue;
            flagOnly();
            s.options |= f.bit;
            found = true;
        }
        for (const TextOption &t : kTextOptions) {
            if (name != t.name) continue;
            s.*t.field = takeValue();
            found = true;
        }
        if (found) continue;
        if (name == "-h" || name == "--help") {
            std::printf(kUsage, unsigned(kHeaderOffset), unsigned(kMaxTextLength),
                        unsigned(kMaxNameLength), unsigned(kMaxTextLength));
            std::exit(0);
        } else if (name == "--version") {
            std::printf("mksfx %s (Tarvex Self-Extractor; stubs of %u bytes)\n", kVersion,
                        unsigned(kHeaderOffset));
            std::exit(0);
        } else if (name == "--info") {
            s.info = takeValue();
        } else if (name == "--elevation") {
            s.elevation = takeValue();
        } else if (name == "--codepage") {
            s.names.codepage = int(ParseNumber(name, takeValue(), 1, 65535));
        } else if (name == "--names-raw") {
            flagOnly();
            s.names.raw = true;
        } else if (name == "--sign-cert") {
            s.sign.cert = takeValue();
        } else if (name == "--sign-key") {
            s.sign.key = takeValue();
        } else if (name == "--sign-pass") {
            s.sign.pass = takeValue();
        } else if (name == "--sign-timestamp") {
            s.sign.timestamp = takeValue();
        } else if (name == "--keep-order") {
            flagOnly();
            s.keepOrder = true;
        } else if (name == "--message-style") {
            std::string v = takeValue();
            s.hasStyle = true;
            if (v == "ok") s.style = MESSAGE_STYLE_OK;
            else if (v == "ok-cancel") s.style = MESSAGE_STYLE_OK_CANCEL;
            else if (v == "yes-no") s.style = MESSAGE_STYLE_YES_NO;
            else s.style = uint8_t(ParseNumber(name, v, 0, MESSAGE_STYLE_LIMIT - 1));
        } else if (name == "--overwrite") {
            std::string v = takeValue();
            if (v == "confirm") s.overwrite = OVERWRITE_CONFIRM;
            else if (v == "always") s.overwrite = OVERWRITE_ALWAYS;
            else if (v == "never") s.overwrite = OVERWRITE_NEVER;
            else Fail("--overwrite: expected confirm, always or never, got \"" + v + "\"");
        } else if (name == "--raw-options") {
            s.hasRaw = true;
            s.raw = uint8_t(ParseNumber(name, takeValue(), 0, 255));
        } else if (name == "--store") {
            flagOnly();
            s.store = true;
        } else if (name == "--level") {
            s.hasLevel = true;
            s.level = int(ParseNumber(name, takeValue(), 0, 9));
        } else if (name == "--password") {
            s.password = takeValue();
            s.hasPassword = true;
        } else {
            Fail(arg + ": unknown option (see mksfx --help)");
        }
    }
    CheckCodePage(s.names.codepage);
    if (!s.info.empty()) return s;
    if (s.sign.cert.empty() && (!s.sign.key.empty() || !s.sign.pass.empty() || !s.sign.timestamp.empty()))
        Fail("--sign-key, --sign-pass and --sign-timestamp need a --sign-cert");
    if (s.output.empty()) Fail("no output file: give -o OUT.exe (see mksfx --help)");
    if (s.inputs.empty()) Fail("no input: give a .zip archive or files and folders to pack");
    if (s.hasStyle && s.message.empty()) Fail("--message-style needs a --message");
    if (s.hasPassword && s.password.empty()) Fail("--password: the password is empty");
    return s;
}

uint8_t OptionByte(const Settings &s) {
    if (s.hasRaw) return s.raw;
    return uint8_t(s.options | s.overwrite << OPT_OVERWRITE_SHIFT);
}

void AppendText(std::string &header, const char *field, const std::string &text) {
    if (text.size() > kMaxTextLength)
        Fail(std::string(field) + ": " + std::to_string(text.size()) +
             " bytes; a header text holds at most " + std::to_string(kMaxTextLength) + " bytes");
    header += char(text.size());
    header += text;
}

std::string BuildHeader(const Settings &s) {
    std::string message = s.message;
    if (s.hasStyle) message.insert(message.begin(), char(s.style));
    std::string texts;
    AppendText(texts, "--caption", s.caption);
    AppendText(texts, "--dir", s.dir);
    AppendText(texts, "--command", s.command);
    AppendText(texts, "--message", message);
    SFXHeader header;
    std::memcpy(header.signature, SFX_SIGNATURE, SFX_SIGNATURE_LENGTH);
    header.options = OptionByte(s);
    header.reserved[0] = 0;
    header.reserved[1] = 1;
    header.headerSize = uint16_t(SFX_FIXED_HEADER_SIZE + texts.size());
    return std::string(reinterpret_cast<const char *>(&header), sizeof header) + texts;
}

bool FileExists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Folder of the running program, with a trailing separator; empty if unknown.
std::string ProgramFolder(const char *argv0) {
    std::string path;
#ifdef _WIN32
    char buf[MAX_PATH + 1];
    DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    if (n > 0 && n < sizeof buf) path.assign(buf, n);
#else
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) path.assign(buf, size_t(n));
#endif
    if (path.empty() && argv0) path = argv0;
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FindStub(const Settings &s, const char *argv0) {
    if (!s.stub.empty()) {
        if (!FileExists(s.stub)) Fail(s.stub + ": stub not found");
        return s.stub;
    }
    std::string folder = ProgramFolder(argv0);
    std::string candidates[] = {folder + kStubName, folder + "../share/tarvex/" + kStubName,
                                folder + "../win32/" + kStubName};
    for (const std::string &c : candidates)
        if (FileExists(c)) return c;
    Fail(std::string("stub ") + kStubName + " not found (looked for " + candidates[0] + ", " +
         candidates[1] + " and " + candidates[2] + "); give --stub PATH");
}

bool IsZipInput(const Settings &s) {
    if (s.inputs.size() != 1) return false;
    const std::string &p = s.inputs[0];
    if (p.size() < 4) return false;
    std::string ext = p.substr(p.size() - 4);
    for (char &c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".zip";
}

int Run(int argc, char **argv) {
    Settings s = ParseArguments(argc, argv);
    if (!s.info.empty()) return ShowInfo(s.info, s.names.codepage);
    std::string header = BuildHeader(s);
    std::string stubPath = FindStub(s, argc > 0 ? argv[0] : nullptr);
    std::vector<uint8_t> stub = ReadWholeFile(stubPath);
    if (stub.size() != kHeaderOffset)
        Fail(stubPath + ": the stub is " + std::to_string(stub.size()) + " bytes; it must be exactly " +
             std::to_string(kHeaderOffset) + " bytes, the offset at which it reads its header");
    if (!s.elevation.empty()) SetManifestLevel(stub, s.elevation);

    bool zipInput = IsZipInput(s);
    if (zipInput && (s.store || s.hasLevel || s.hasPassword || !s.base.empty()))
        Fail("--store, --level, --password and --base apply to packed files; a .zip input is copied as it is");

    Output out(s.output);
    out.Write(stub.data(), stub.size());
    out.Write(header.data(), header.size());
    std::vector<CentralRecord> records;
    std::string comment;
    if (zipInput) {
        records = RewriteZip(out, s.inputs[0], comment, s.names, s.keepOrder);
    } else {
        PackOptions o;
        o.store = s.store || s.level == 0;
        o.level = s.level == 0 ? 9 : s.level;
        o.password = s.password;
        o.baseDir = s.base;
        o.names = s.names;
        o.keepOrder = s.keepOrder;
        records = PackInputs(out, s.inputs, o);
    }
    RefuseDuplicateNames(records);
    WriteCentralDirectory(out, records, comment);
    uint64_t size = out.Position();
    if (s.sign.cert.empty()) {
        out.Commit();
    } else {
        out.Commit([&](const std::string &path) {
            SignFile(path, s.sign);
            size = ReadWholeFile(path).size();
        });
    }
    std::string summary = s.output + ": " + std::to_string(records.size()) + " entries, " +
                          std::to_string(size) + " bytes\n";
    std::fputs(summary.c_str(), stdout);
    return 0;
}

}  // namespace
}  // namespace mksfx

int main(int argc, char **argv) {
    try {
        return mksfx::Run(argc, argv);
    } catch (const mksfx::Failure &f) {
        std::fprintf(stderr, "mksfx: %s\n", f.message.c_str());
        return 2;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "mksfx: %s\n", e.what());
        return 2;
    }
}
