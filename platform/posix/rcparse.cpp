// Stand-in dialog templates: reads the DIALOG templates of the program's resource
// script (SFX_RC_PATH) so that host tests run the real controls, ids, texts and
// styles.
//
// The script is written in a restricted form: every control is a CONTROL
// statement with an explicit class and a style expression of names and numbers
// joined by "|", and texts hold no quotes or escapes. Control ids may be macros
// of the "resource.h" the script includes (read from the script's folder) or
// IDOK/IDCANCEL. Everything outside the dialogs (ICON, preprocessor lines,
// comments) is skipped. Unknown names are reported on stderr and count as 0.
#include "platform/posix/internal.h"

#include <stdio.h>
#include <ctype.h>
#include <stdlib.h>

#include <fstream>
#include <map>
#include <sstream>

#ifndef SFX_RC_PATH
#define SFX_RC_PATH "resources/sfx.rc"
#endif

namespace standin_detail {

namespace {

struct Token {
    enum Kind { WORD, NUMBER, STRING, PUNCT } kind;
    std::string text;
    long number;
};

// The names the script uses. Those the stand-in acts on come from the headers;
// the others only make standin::WindowStyle report the real styles.
#define NAMED(name) {#name, (long)(name)}
const std::map<std::string, long> &KnownNames() {
    static const std::map<std::string, long> names = {
        NAMED(WS_POPUP), NAMED(WS_CHILD), NAMED(WS_VISIBLE), NAMED(WS_CAPTION),
        NAMED(WS_SYSMENU), NAMED(WS_GROUP), NAMED(WS_TABSTOP), NAMED(DS_MODALFRAME),
        NAMED(BS_PUSHBUTTON), NAMED(BS_DEFPUSHBUTTON), NAMED(BS_AUTOCHECKBOX),
        NAMED(BS_AUTORADIOBUTTON), NAMED(LBS_SORT), NAMED(LBS_MULTIPLESEL), NAMED(IDOK),
        NAMED(IDCANCEL),
        {"WS_BORDER", 0x00800000L}, {"WS_VSCROLL", 0x00200000L}, {"WS_MINIMIZEBOX", 0x00020000L},
        {"DS_3DLOOK", 0x4}, {"DS_CENTER", 0x800}, {"BS_USERBUTTON", 8},
        {"ES_CENTER", 1}, {"ES_MULTILINE", 4}, {"ES_PASSWORD", 0x20}, {"ES_AUTOVSCROLL", 0x40},
        {"ES_AUTOHSCROLL", 0x80}, {"ES_READONLY", 0x800},
        {"LBS_NOTIFY", 1}, {"LBS_HASSTRINGS", 0x40}, {"LBS_USETABSTOPS", 0x80},
        {"SS_LEFT", 0}, {"SS_ICON", 3}, {"WS_EX_DLGMODALFRAME", 1},
    };
    return names;
}
#undef NAMED

std::string ReadAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// "#define NAME value" lines of a header (numbers only).
void ReadDefines(const std::string &path, std::map<std::string, long> &out) {
    std::istringstream in(ReadAll(path));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::string hash, name, value;
        if (!(ls >> hash >> name >> value) || hash != "#define") continue;
        char *end;
        long v = strtol(value.c_str(), &end, 0);
        if (*end == 0) out[name] = v;
    }
}

std::vector<Token> Tokenize(const std::string &src) {
    std::vector<Token> tokens;
    size_t i = 0, n = src.size();
    bool lineStart = true;
    while (i < n) {
        char c = src[i];
        if (c == '\n') {
            lineStart = true;
            i++;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r') {
            i++;
            continue;
        }
        if ((lineStart && c == '#') || (c == '/' && i + 1 < n && src[i + 1] == '/')) {
            while (i < n && src[i] != '\n') i++;  // preprocessor line or comment
            continue;
        }
        lineStart = false;
        if (c == '"') {
            size_t end = src.find('"', i + 1);
            if (end == std::string::npos) end = n;
            tokens.push_back(Token{Token::STRING, src.substr(i + 1, end - i - 1), 0});
            i = end + 1;
            continue;
        }
        if (isdigit((unsigned char)c) || (c == '-' && i + 1 < n && isdigit((unsigned char)src[i + 1]))) {
            char *end;
            long v = strtol(src.c_str() + i, &end, 0);
            size_t len = end - (src.c_str() + i);
            tokens.push_back(Token{Token::NUMBER, src.substr(i, len), v});
            i += len;
            continue;
        }
        if (isalpha((unsigned char)c) || c == '_') {
            size_t s = i;
            while (i < n && (isalnum((unsigned char)src[i]) || src[i] == '_')) i++;
            tokens.push_back(Token{Token::WORD, src.substr(s, i - s), 0});
            continue;
        }
        tokens.push_back(Token{Token::PUNCT, std::string(1, c), 0});
        i++;
    }
    return tokens;
}

struct Parser {
    std::vector<Token> t;
    size_t p = 0;
    std::map<std::string, long> defines;

    bool At(const char *word) const {
        return p < t.size() && t[p].kind == Token::WORD && EqualNoCase(t[p].text, word);
    }
    bool AtPunct(char c) const { return p < t.size() && t[p].kind == Token::PUNCT && t[p].text[0] == c; }
    void SkipComma() {
        if (AtPunct(',')) p++;
    }

    long Term() {
        if (p >= t.size()) return 0;
        const Token &k = t[p++];
        if (k.kind == Token::NUMBER) return k.number;
        if (k.kind == Token::WORD) {
            auto d = defines.find(k.text);
            if (d != defines.end()) return d->second;
            auto n = KnownNames().find(k.text);
            if (n != KnownNames().end()) return n->second;
        }
        fprintf(stderr, "stand-in: %s: unknown name \"%s\" taken as 0\n", SFX_RC_PATH,
                k.text.c_str());
        return 0;
    }
    // names and numbers joined by "|"
    long Expression() {
        long v = Term();
        while (AtPunct('|')) {
            p++;
            v |= Term();
        }
        return v;
    }
    std::string Text() { return p < t.size() && t[p].kind == Token::STRING ? t[p++].text : ""; }
    void Numbers(int *const *out, int count) {
        for (int i = 0; i < count; i++) {
            *out[i] = (int)Expression();
            SkipComma();
        }
    }

    DialogTemplate Dialog() {
        DialogTemplate d;
        d.name = t[p].text;
        p += 2;  // name, DIALOG
        int *const coords[4] = {&d.x, &d.y, &d.w, &d.h};
        Numbers(coords, 4);
        while (p < t.size() && !At("BEGIN")) {
            if (At("STYLE")) {
                p++;
                d.style = (DWORD)Expression();
            } else if (At("EXSTYLE")) {
                p++;
                Expression();  // no frame the stand-in draws depends on it
            } else if (At("CAPTION")) {
                p++;
                d.caption = Text();
            } else {
                p++;  // FONT and its arguments
            }
        }
        p++;  // BEGIN
        while (p < t.size() && !At("END")) {
            p++;  // CONTROL
            ControlTemplate c;
            c.text = Text();
            SkipComma();
            c.id = (int)Expression();
            SkipComma();
            c.cls = Text();
            SkipComma();
            c.style = (DWORD)Expression();
            SkipComma();
            int *const coords[4] = {&c.x, &c.y, &c.w, &c.h};
            Numbers(coords, 4);
            d.controls.push_back(c);
        }
        p++;  // END
        return d;
    }

    std::vector<DialogTemplate> All() {
        std::vector<DialogTemplate> out;
        while (p < t.size()) {
            if (t[p].kind == Token::WORD && p + 1 < t.size() && t[p + 1].kind == Token::WORD &&
                EqualNoCase(t[p + 1].text, "DIALOG"))
                out.push_back(Dialog());
            else
                p++;
        }
        return out;
    }
};

std::vector<DialogTemplate> ReadTemplates() {
    Parser parser;
    std::string path = SFX_RC_PATH, source = ReadAll(path);
    if (source.empty()) fprintf(stderr, "stand-in: cannot read %s\n", path.c_str());
    size_t slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    // Macros of every header the script includes with quotes.
    for (size_t at = source.find("#include"); at != std::string::npos;
         at = source.find("#include", at + 1)) {
        size_t q1 = source.find('"', at), eol = source.find('\n', at);
        if (q1 == std::string::npos || q1 > eol) continue;
        size_t q2 = source.find('"', q1 + 1);
        if (q2 != std::string::npos && q2 < eol)
            ReadDefines(folder + "/" + source.substr(q1 + 1, q2 - q1 - 1), parser.defines);
    }
    parser.t = Tokenize(source);
    return parser.All();
}

}  // namespace

const DialogTemplate *FindTemplate(const std::string &name) {
    static const std::vector<DialogTemplate> templates = ReadTemplates();  // read once
    for (const DialogTemplate &d : templates)
        if (EqualNoCase(d.name, name)) return &d;
    return nullptr;
}

}  // namespace standin_detail
