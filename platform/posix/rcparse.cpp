// Stand-in dialog templates: reads the DIALOG/DIALOGEX templates of the program's
// resource script (SFX_RC_PATH) so that host tests run the real controls, ids,
// texts and styles.
//
// The script is written in a restricted form: every control is a CONTROL
// statement with an explicit class and a style expression of names and numbers
// joined by "|". Control ids may be macros of the "resource.h" the script
// includes (read from the script's folder) or IDOK/IDCANCEL. Everything outside
// the dialogs (ICON, STRINGTABLE, VERSIONINFO, preprocessor lines, comments) is
// skipped. Unknown names are reported on stderr and count as 0.
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

struct TemplateState {
    std::string path = SFX_RC_PATH;
    std::map<std::string, std::vector<DialogTemplate>> cache;  // path -> templates
};

TemplateState &S() {
    static TemplateState s;
    return s;
}

const std::map<std::string, long> &KnownNames() {
    static const std::map<std::string, long> names = {
        {"WS_POPUP", 0x80000000L}, {"WS_CHILD", 0x40000000L}, {"WS_VISIBLE", 0x10000000L},
        {"WS_DISABLED", 0x08000000L}, {"WS_CLIPSIBLINGS", 0x04000000L},
        {"WS_CAPTION", 0x00C00000L}, {"WS_BORDER", 0x00800000L}, {"WS_DLGFRAME", 0x00400000L},
        {"WS_VSCROLL", 0x00200000L}, {"WS_HSCROLL", 0x00100000L}, {"WS_SYSMENU", 0x00080000L},
        {"WS_THICKFRAME", 0x00040000L}, {"WS_MINIMIZEBOX", 0x00020000L},
        {"WS_MAXIMIZEBOX", 0x00010000L}, {"WS_GROUP", 0x00020000L}, {"WS_TABSTOP", 0x00010000L},
        {"DS_MODALFRAME", 0x80}, {"DS_3DLOOK", 0x4}, {"DS_CENTER", 0x800}, {"DS_SETFONT", 0x40},
        {"DS_FIXEDSYS", 0x8}, {"DS_SHELLFONT", 0x48},
        {"BS_PUSHBUTTON", 0}, {"BS_DEFPUSHBUTTON", 1}, {"BS_CHECKBOX", 2},
        {"BS_AUTOCHECKBOX", 3}, {"BS_RADIOBUTTON", 4}, {"BS_3STATE", 5}, {"BS_AUTO3STATE", 6},
        {"BS_GROUPBOX", 7}, {"BS_USERBUTTON", 8}, {"BS_AUTORADIOBUTTON", 9},
        {"BS_LEFTTEXT", 0x20},
        {"ES_LEFT", 0}, {"ES_CENTER", 1}, {"ES_RIGHT", 2}, {"ES_MULTILINE", 4},
        {"ES_UPPERCASE", 8}, {"ES_PASSWORD", 0x20}, {"ES_AUTOVSCROLL", 0x40},
        {"ES_AUTOHSCROLL", 0x80}, {"ES_READONLY", 0x800}, {"ES_NUMBER", 0x2000},
        {"LBS_NOTIFY", 1}, {"LBS_SORT", 2}, {"LBS_MULTIPLESEL", 8}, {"LBS_HASSTRINGS", 0x40},
        {"LBS_USETABSTOPS", 0x80}, {"LBS_NOINTEGRALHEIGHT", 0x100}, {"LBS_EXTENDEDSEL", 0x800},
        {"SS_LEFT", 0}, {"SS_CENTER", 1}, {"SS_RIGHT", 2}, {"SS_ICON", 3}, {"SS_BLACKRECT", 4},
        {"SS_GRAYRECT", 5}, {"SS_BLACKFRAME", 7}, {"SS_ETCHEDHORZ", 0x10}, {"SS_NOPREFIX", 0x80},
        {"SS_SUNKEN", 0x1000},
        {"WS_EX_DLGMODALFRAME", 1}, {"WS_EX_TOPMOST", 8}, {"WS_EX_TOOLWINDOW", 0x80},
        {"WS_EX_CLIENTEDGE", 0x200}, {"WS_EX_STATICEDGE", 0x20000},
        {"IDOK", 1}, {"IDCANCEL", 2},
    };
    return names;
}

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
        if (lineStart && c == '#') {  // preprocessor line
            while (i < n && src[i] != '\n') i++;
            continue;
        }
        lineStart = false;
        if (c == '/' && i + 1 < n && src[i + 1] == '/') {
            while (i < n && src[i] != '\n') i++;
            continue;
        }
        if (c == '/' && i + 1 < n && src[i + 1] == '*') {
            size_t e = src.find("*/", i + 2);
            i = e == std::string::npos ? n : e + 2;
            continue;
        }
        if (c == '"') {  // "" and \" stand for a quote; \n, \t, \\ as usual
            std::string text;
            for (i++; i < n; i++) {
                if (src[i] == '"') {
                    if (i + 1 < n && src[i + 1] == '"') {
                        text += '"';
                        i++;
                        continue;
                    }
                    i++;
                    break;
                }
                if (src[i] == '\\' && i + 1 < n) {
                    char e = src[++i];
                    text += e == 'n' ? '\n' : e == 't' ? '\t' : e;
                    continue;
                }
                text += src[i];
            }
            tokens.push_back(Token{Token::STRING, text, 0});
            continue;
        }
        bool negative = c == '-' && i + 1 < n && isdigit((unsigned char)src[i + 1]);
        if (isdigit((unsigned char)c) || negative) {
            char *end;
            long v = strtol(src.c_str() + i, &end, 0);
            size_t len = end - (src.c_str() + i);
            tokens.push_back(Token{Token::NUMBER, src.substr(i, len), v});
            i += len;
            while (i < n && (src[i] == 'L' || src[i] == 'l' || src[i] == 'U' || src[i] == 'u')) i++;
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
    std::string file;

    bool At(const char *word) const {
        return p < t.size() && t[p].kind != Token::STRING && EqualNoCase(t[p].text, word);
    }
    bool AtPunct(char c) const { return p < t.size() && t[p].kind == Token::PUNCT && t[p].text[0] == c; }
    void SkipComma() {
        if (AtPunct(',')) p++;
    }
    bool AtBegin() const { return At("BEGIN") || AtPunct('{'); }
    bool AtEnd() const { return At("END") || AtPunct('}'); }

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
        fprintf(stderr, "stand-in: %s: unknown name \"%s\" taken as 0\n", file.c_str(),
                k.text.c_str());
        return 0;
    }
    // names and numbers joined by "|" (or "+")
    long Expression() {
        long v = Term();
        while (AtPunct('|') || AtPunct('+')) {
            p++;
            v |= Term();
        }
        return v;
    }
    std::string Text() {
        if (p < t.size() && t[p].kind == Token::STRING) return t[p++].text;
        return std::to_string(Term());
    }
    // Skips a BEGIN ... END block with its nested blocks.
    void SkipBlock() {
        int depth = 0;
        do {
            if (AtBegin()) depth++;
            else if (AtEnd()) depth--;
            p++;
        } while (p < t.size() && depth > 0);
    }

    DialogTemplate Dialog() {
        DialogTemplate d;
        d.name = t[p].text;
        p += 2;  // name, DIALOG(EX)
        int *coords[4] = {&d.x, &d.y, &d.w, &d.h};
        for (int *c : coords) {
            *c = (int)Expression();
            SkipComma();
        }
        if (p < t.size() && t[p].kind == Token::NUMBER) Expression();  // DIALOGEX help id
        while (p < t.size() && !AtBegin()) {
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
                p++;  // FONT, MENU, CLASS, LANGUAGE ... and their arguments
            }
        }
        p++;  // BEGIN
        while (p < t.size() && !AtEnd()) {
            if (!At("CONTROL")) {
                p++;  // shorthand statements are not part of the restricted form
                continue;
            }
            p++;
            ControlTemplate c;
            c.text = Text();
            SkipComma();
            c.id = (int)Expression();
            SkipComma();
            c.cls = Text();
            SkipComma();
            c.style = (DWORD)Expression();
            SkipComma();
            int *cc[4] = {&c.x, &c.y, &c.w, &c.h};
            for (int *v : cc) {
                *v = (int)Expression();
                SkipComma();
            }
            if (p < t.size() && !At("CONTROL") && !AtEnd()) {
                Expression();  // extended style: nothing the stand-in does depends on it
                SkipComma();
            }
            d.controls.push_back(c);
        }
        p++;  // END
        return d;
    }

    std::vector<DialogTemplate> All() {
        std::vector<DialogTemplate> out;
        while (p < t.size()) {
            if (p + 1 < t.size() && t[p].kind != Token::STRING &&
                (EqualNoCase(t[p + 1].text, "DIALOGEX") || EqualNoCase(t[p + 1].text, "DIALOG")) &&
                t[p + 1].kind == Token::WORD) {
                out.push_back(Dialog());
            } else if (AtBegin()) {
                SkipBlock();
            } else {
                p++;
            }
        }
        return out;
    }
};

const std::vector<DialogTemplate> &Templates() {
    TemplateState &s = S();
    auto it = s.cache.find(s.path);
    if (it != s.cache.end()) return it->second;
    Parser parser;
    parser.file = s.path;
    std::string source = ReadAll(s.path);
    if (source.empty()) fprintf(stderr, "stand-in: cannot read %s\n", s.path.c_str());
    size_t slash = s.path.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : s.path.substr(0, slash);
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
    return s.cache[s.path] = parser.All();
}

}  // namespace

const DialogTemplate *FindTemplate(const std::string &name) {
    for (const DialogTemplate &d : Templates())
        if (EqualNoCase(d.name, name)) return &d;
    return nullptr;
}

void ResetTemplates() { S().path = SFX_RC_PATH; }

}  // namespace standin_detail

namespace standin {

void SetResourceFile(const std::string &rcPath) {
    standin_detail::S().path = rcPath.empty() ? std::string(SFX_RC_PATH) : rcPath;
}

}  // namespace standin
