// mksfx command line: the option table, and from it the parser (getopt_long,
// which glibc and MinGW-w64 both have: the usual GNU forms -oFILE, -o FILE,
// --output=FILE, --output FILE, clustered short flags, "--", unambiguous
// abbreviations), the --help text and the option names --info prints.
#include "mksfx.h"

#include <cerrno>
#include <cstdlib>
#include <getopt.h>

namespace mksfx {

namespace {

enum : int {
    kOutput = 'o', kBase = 'C', kQuiet = 'q', kVerbose = 'v', kHelp = 'h',
    kStub = 256, kElevation, kKeepOrder, kCaption, kDir, kCommand, kMessage, kMessageStyle,
    kFlagBit, kOverwrite, kRawOptions, kCodePage, kNamesCodePage, kNamesRaw, kUnsafeNames, kSignCert, kSignKey,
    kSignPassFile, kSignTimestamp, kLevel, kStore, kPasswordFile, kExclude, kSecretOnCommandLine,
    kInfo, kVersion, kIcon, kVersionString, kFileVersion, kProductVersion,
};

}  // namespace

const NamedValue kOverwriteModes[3] = {
    {"confirm", OVERWRITE_CONFIRM}, {"always", OVERWRITE_ALWAYS}, {"never", OVERWRITE_NEVER}};
const NamedValue kMessageStyles[3] = {
    {"ok", MESSAGE_STYLE_OK}, {"ok-cancel", MESSAGE_STYLE_OK_CANCEL}, {"yes-no", MESSAGE_STYLE_YES_NO}};

// A row without a name starts a section of --help.
const OptionSpec kOptionTable[] = {
    {0, nullptr, nullptr, 0, "Output:"},
    {kOutput, "output", "FILE", 0,
     "the self-extractor to write (written to a temporary file\n"
     "beside it, checked, and renamed into place when complete)"},
    {kStub, "stub", "PATH", 0,
     "the stub executable (a Tarvex stub of exactly the header\n"
     "offset's length). Default: tarvex-sfx.exe beside the mksfx\n"
     "program, else ../share/tarvex/tarvex-sfx.exe relative to its\n"
     "folder (where cmake --install puts it), else\n"
     "../win32/tarvex-sfx.exe (build/host/mksfx finds\n"
     "build/win32/tarvex-sfx.exe)"},
    {kElevation, "elevation", "LEVEL", 0,
     "the execution level the stub's manifest requests: invoker\n"
     "(asInvoker, the default), highest (highestAvailable) or admin\n"
     "(requireAdministrator). An INF installation, or a registry\n"
     "destination that installs for all users (HKLM, Program\n"
     "Files), needs --elevation admin"},
    {kKeepOrder, "keep-order", nullptr, 0,
     "write the entries in input order (a .zip's own order; folders\n"
     "walked in name order). By default they go in the order of the\n"
     "stub's sorted file list, where it finds each item fastest"},
    {kQuiet, "quiet", nullptr, 0, "print nothing but errors"},
    {kVerbose, "verbose", nullptr, 0, "name each entry as it is written, and show what the signer says"},

    {0, nullptr, nullptr, 0, "The publisher's file (the stub's resources, rewritten in the room it has):"},
    {kIcon, "icon", "FILE", 0,
     "the publisher's icon (.ico, BMP or PNG images) in place of the\n"
     "stub's: a 32x32 image at the most colours that fit, then a\n"
     "16x16 if room is left (mksfx says what it wrote)"},
    {kVersionString, "version-string", "KEY=VALUE", 0,
     "a string of the version information (repeatable): ProductName,\n"
     "CompanyName, FileDescription, LegalCopyright, OriginalFilename,\n"
     "or any other key; UTF-8"},
    {kFileVersion, "file-version", "A.B.C.D", 0, "the file version (numbers 0-65535)"},
    {kProductVersion, "product-version", "A.B.C.D", 0, "the product version"},

    {0, nullptr, nullptr, 0, "Header texts (UTF-8, converted to --codepage; 255 bytes each):"},
    {kCaption, "caption", "TEXT", 0, "window caption (empty: \"Tarvex Self-Extractor\")"},
    {kDir, "dir", "TEXT", 0,
     "default destination: a path, \"><\" for the temporary folder,\n"
     "or a registry reference ROOT\\key\\value|subdir"},
    {kCommand, "command", "TEXT", 0, "command run after extraction (\"><\" stands for the destination)"},
    {kMessage, "message", "TEXT", 0, "start-up message shown before the main window"},
    {kMessageStyle, "message-style", "STYLE", 0,
     "the box of --message: ok, ok-cancel (code 1), yes-no (code 2)\n"
     "or a code 0-6, stored as the message's first byte.\n"
     "Cancel/No ends the program"},

    {0, nullptr, nullptr, 0, "Option bits:"},
    {kFlagBit, "show-run-checkbox", nullptr, OPT_SHOW_RUN_CHECKBOX, "show the \"run\" check box"},
    {kFlagBit, "select-files", nullptr, OPT_SELECT_FILES, "let the user choose files from the list"},
    {kFlagBit, "lock-overwrite", nullptr, OPT_LOCK_OVERWRITE_MODE, "hide the overwrite-mode buttons"},
    {kOverwrite, "overwrite", "MODE", OPT_OVERWRITE_MODE,
     "initial overwrite mode: confirm (0, the default), always\n"
     "(1, \"&Overwrite\"), never (2, \"&Don't overwrite\")"},
    {kFlagBit, "no-size-check", nullptr, OPT_NO_SIZE_CHECK, "skip the download completeness check"},
    {kFlagBit, "auto-start", nullptr, OPT_AUTO_START,
     "extract at once when the file is named \"!...\" or Setup.exe"},
    {kFlagBit, "no-finished-message", nullptr, OPT_NO_FINISHED_MESSAGE,
     "no \"All files have been extracted.\" box"},
    {kRawOptions, "raw-options", "N", 0,
     "the whole option byte (0-255, decimal or 0x..); overrides\n"
     "the option bits above"},

    {0, nullptr, nullptr, 0, "Entry names (the stub shows and creates them in the user's ANSI code page):"},
    {kCodePage, "codepage", "N", 0,
     "the target Windows' ANSI code page (default 1252, Western;\n"
     "874, 1250-1258, 932, 936, 949, 950). File names, ZIP names\n"
     "flagged UTF-8 (bit 11) or with an Info-ZIP Unicode path field,\n"
     "and names that are valid UTF-8 are converted from UTF-8; other\n"
     "ZIP names from code page 437, as the ZIP format defines them.\n"
     "A name the code page cannot hold is refused"},
    {kNamesCodePage, "names-cp", "N", 0,
     "the code page of a .zip's names without the UTF-8 flag that\n"
     "are not UTF-8 (default 437; 850, 866 and the ANSI pages)"},
    {kNamesRaw, "names-raw", nullptr, 0, "keep every name and text byte for byte as given"},
    {kUnsafeNames, "unsafe-names", nullptr, 0,
     "write names the stub refuses (device names, \":*?<>|\", a trailing\n"
     "dot or space), to test that refusal; such a file never\n"
     "extracts completely"},

    {0, nullptr, nullptr, 0, "Signing (Authenticode, through osslsigncode on PATH):"},
    {kSignCert, "sign-cert", "FILE", 0,
     "sign the result with this certificate (PEM or DER, with\n"
     "--sign-key), or with this PKCS#12 file (certificate and key)"},
    {kSignKey, "sign-key", "FILE", 0, "the certificate's private key"},
    {kSignPassFile, "sign-pass-file", "FILE", 0,
     "the key's password: the first line of FILE (\"-\": standard\n"
     "input). It reaches osslsigncode through a pipe, never on a\n"
     "command line; without it the key must have no password"},
    {kSignTimestamp, "sign-timestamp", "URL", 0, "an RFC 3161 time-stamping server"},

    {0, nullptr, nullptr, 0, "Packing files and folders (not for a .zip input):"},
    {kBase, "base", "DIR", 0,
     "take the INPUT paths relative to DIR; \".\" as INPUT then\n"
     "packs DIR's contents without a folder entry"},
    {kExclude, "exclude", "PATTERN", 0,
     "leave out entries whose name matches (repeatable; * and ?\n"
     "match any characters, \"/\" too, [...] one of a set): \".git/*\",\n"
     "\"*.o\". A folder that matches is left out with its contents"},
    {kLevel, "level", "N", 0, "deflate level 1-9 (default 9); 0 is --store"},
    {kStore, "store", nullptr, 0, "store without compression"},
    {kPasswordFile, "password-file", "FILE", 0,
     "traditional ZIP encryption of every file with the first line\n"
     "of FILE (\"-\": standard input)"},
    {kSecretOnCommandLine, "password", "PW", 0, "refused: give --password-file"},
    {kSecretOnCommandLine, "sign-pass", "PW", 0, "refused: give --sign-pass-file"},

    {0, nullptr, nullptr, 0, "Inspecting:"},
    {kInfo, "info", nullptr, 0,
     "print what each INPUT self-extractor holds (header, option\n"
     "bits, signature, manifest level, entries); exit code 2 when\n"
     "any of them is not a complete self-extractor"},
    {kVersion, "version", nullptr, 0, "the version of mksfx"},
    {kHelp, "help", nullptr, 0, "this text"},
};
const size_t kOptionCount = sizeof kOptionTable / sizeof kOptionTable[0];

namespace {

const char kVersionText[] = "1.5";

std::string HelpText() {
    std::string text =
        "usage: mksfx [options] -o OUT.exe INPUT...\n"
        "       mksfx --info FILE.exe... | --version | --help\n"
        "\n"
        "Builds a self-extractor: the stub, then the configuration header, then ZIP data.\n"
        "INPUT is either one existing .zip archive (made by any tool; it is rewritten so\n"
        "that the stub can walk it) or files and folders to pack, with \"/\" separators\n"
        "and folders as entries ending in \"/\".\n";
    for (const OptionSpec &o : kOptionTable) {
        if (!o.name) {
            text += std::string("\n") + o.help + "\n";
            continue;
        }
        std::string left = o.id < 256 ? std::string("  -") + char(o.id) + ", --" : "      --";
        left += o.name;
        if (o.value) left += std::string(" ") + o.value;
        std::string help = o.help;
        for (size_t at = 0, nl; at <= help.size(); at = nl + 1) {
            nl = help.find('\n', at);
            if (nl == std::string::npos) nl = help.size();
            left.resize(std::max<size_t>(left.size() + 1, 28), ' ');
            text += left + help.substr(at, nl - at) + "\n";
            left.clear();
        }
    }
    text += "\nThe stub is " + std::to_string(kHeaderOffset) +
            " bytes; it reads its header at that offset.\n"
            "With SOURCE_DATE_EPOCH set (seconds since 1970), file times later than it are\n"
            "clamped to it and taken in UTC: the same content gives the same bytes anywhere.\n"
            "Without it, file times are local time. The same inputs give the same bytes.\n"
            "\n"
            "Refused, with the problems named (the first 20 of them, then a count), exit code\n"
            "2 and no output file: ZIP64, compression methods other than stored (0) and\n"
            "deflated (8), strong or AES encryption, split archives, names the stub would\n"
            "refuse (\":*?<>\\\"|\", device names, \"..\", a component ending in \".\" or \" \")\n"
            "and names over " + std::to_string(kMaxNameLength) +
            " bytes, header texts over " + std::to_string(kMaxTextLength) +
            " bytes, a result of 2 GiB or more,\n"
            "a stub that is not a Tarvex stub, unreadable inputs, an output that is an\n"
            "input, bad options. Exit codes: 0 success, 2 any error.\n";
    return text;
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

int NamedOrNumber(const std::string &option, const std::string &text, const NamedValue (&values)[3],
                  long hi) {
    for (const NamedValue &v : values)
        if (text == v.name) return v.value;
    if (hi < 0)
        Fail(option + ": expected " + values[0].name + ", " + values[1].name + " or " + values[2].name +
             ", got \"" + text + "\"");
    return int(ParseNumber(option, text, 0, hi));
}

}  // namespace

Settings ParseArguments(const std::vector<std::string> &args) {
    std::vector<option> longOptions;
    std::string shortOptions = ":";  // ':' for a missing value, not '?'
    for (const OptionSpec &o : kOptionTable) {
        if (!o.name) continue;
        longOptions.push_back({o.name, o.value ? required_argument : no_argument, nullptr,
                               int(&o - kOptionTable) + 1000});
        if (o.id < 256) shortOptions += std::string(1, char(o.id)) + (o.value ? ":" : "");
    }
    longOptions.push_back({nullptr, 0, nullptr, 0});
    std::vector<std::string> copies(args);
    std::vector<char *> argv;
    for (std::string &a : copies) argv.push_back(&a[0]);
    argv.push_back(nullptr);

    Settings s;
    int shown = 0;  // --help or --version
    opterr = 0;
    optind = 1;
    int c;
    while ((c = getopt_long(int(copies.size()), argv.data(), shortOptions.c_str(), longOptions.data(),
                            nullptr)) != -1) {
        std::string given = argv[optind - 1];
        if (c == '?') Fail(given + ": unknown option, or a value given to a flag (see mksfx --help)");
        if (c == ':') Fail(given + ": a value is missing");
        // A long option comes back as its row, a short one as its letter.
        const OptionSpec *o = c >= 1000 ? &kOptionTable[c - 1000] : nullptr;
        for (const OptionSpec &spec : kOptionTable)
            if (!o && spec.name && spec.id == c) o = &spec;
        c = o->id;
        std::string name = std::string("--") + o->name, value = optarg ? optarg : "";
        switch (c) {
        case kOutput: s.output = value; break;
        case kBase: s.base = value; break;
        case kQuiet: s.verbosity = 0; break;
        case kVerbose: s.verbosity = 2; break;
        case kStub: s.stub = value; break;
        case kElevation: s.elevation = value; break;
        case kKeepOrder: s.keepOrder = true; break;
        case kCaption: s.caption = value; break;
        case kDir: s.dir = value; break;
        case kCommand: s.command = value; break;
        case kMessage: s.message = value; break;
        case kMessageStyle:
            s.hasStyle = true;
            s.style = uint8_t(NamedOrNumber(name, value, kMessageStyles, MESSAGE_STYLE_LIMIT - 1));
            break;
        case kFlagBit: s.options |= o->bit; break;
        case kOverwrite: s.overwrite = NamedOrNumber(name, value, kOverwriteModes, -1); break;
        case kRawOptions:
            s.hasRaw = true;
            s.raw = uint8_t(ParseNumber(name, value, 0, 255));
            break;
        case kCodePage: s.names.codepage = int(ParseNumber(name, value, 1, 65535)); break;
        case kNamesCodePage: s.names.zipCodepage = int(ParseNumber(name, value, 1, 65535)); break;
        case kNamesRaw: s.names.raw = true; break;
        case kUnsafeNames: s.names.unsafe = true; break;
        case kSignCert: s.sign.cert = value; break;
        case kSignKey: s.sign.key = value; break;
        case kSignPassFile: s.sign.passFile = value; break;
        case kSignTimestamp: s.sign.timestamp = value; break;
        case kLevel:
            s.hasLevel = true;
            s.level = int(ParseNumber(name, value, 0, 9));
            break;
        case kStore: s.store = true; break;
        case kPasswordFile: s.passwordFile = value; break;
        case kExclude: s.excludes.push_back(value); break;
        case kSecretOnCommandLine:
            Fail(name + ": a secret on the command line is readable by every user of the machine; give " +
                 name + "-file FILE");
        case kInfo: s.info = true; break;
        case kIcon: s.publisher.icon = value; break;
        case kVersionString: {
            size_t eq = value.find('=');
            if (eq == 0 || eq == std::string::npos) Fail(name + ": expected KEY=VALUE, got \"" + value + "\"");
            s.publisher.version.strings.push_back({value.substr(0, eq), value.substr(eq + 1)});
            break;
        }
        case kFileVersion:
            ParseVersionNumber(value, s.publisher.version.fileVersion, name);
            s.publisher.version.hasFileVersion = true;
            break;
        case kProductVersion:
            ParseVersionNumber(value, s.publisher.version.productVersion, name);
            s.publisher.version.hasProductVersion = true;
            break;
        case kVersion:
        case kHelp: shown = c; break;
        }
    }
    // getopt_long has moved the operands behind the options in argv.
    s.inputs.assign(argv.begin() + optind, argv.end() - 1);
    if (shown) {
        if (!s.inputs.empty()) Fail(s.inputs[0] + ": --help and --version take no operands");
        std::fputs(shown == kHelp ? HelpText().c_str()
                                  : ("mksfx " + std::string(kVersionText) + " (Tarvex Self-Extractor; stubs of " +
                                     std::to_string(kHeaderOffset) + " bytes)\n").c_str(),
                   stdout);
        std::exit(0);
    }
    CheckCodePage(s.names.codepage);
    if (s.info) {
        if (s.inputs.empty()) Fail("--info: name the self-extractors to inspect");
        return s;
    }
    if (s.sign.cert.empty() && (!s.sign.key.empty() || !s.sign.passFile.empty() || !s.sign.timestamp.empty()))
        Fail("--sign-key, --sign-pass-file and --sign-timestamp need a --sign-cert");
    if (s.output.empty()) Fail("no output file: give -o OUT.exe (see mksfx --help)");
    if (s.inputs.empty()) Fail("no input: give a .zip archive or files and folders to pack");
    if (s.hasStyle && s.message.empty()) Fail("--message-style needs a --message");
    return s;
}

}  // namespace mksfx
