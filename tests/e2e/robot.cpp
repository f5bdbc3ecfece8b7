// sfxrobot: the e2e test robot. A Win32 console program that runs beside the stub
// under Wine, finds its windows by caption, reads and drives their controls, and
// prints a transcript (stdout) that the runner checks.
//
// Usage: sfxrobot [SCRIPT]   (the script is read from stdin without an argument)
//
// One command per line; "#" starts a comment line; arguments are words or
// "double-quoted texts" (no escapes: the texts we drive hold no double quote).
// IDs are numbers or IDOK, IDCANCEL, IDYES, IDNO. Times are in seconds.
//
//   wait CAPTION [SECS] [with ID] [without ID]  wait for a visible top-level window
//                                  titled CAPTION (with/without a child ID); it
//                                  becomes the current window
//   msgbox CAPTION [SECS]          wait for a message box titled CAPTION; print it
//   gone [SECS]                    wait until the current window is closed
//   absent CAPTION [SECS]          fail if a window titled CAPTION shows up in SECS
//   windows                        print the visible top-level windows
//   title | dump                   print the title / every child control
//   text ID | state ID | list ID   print a control's text / state / items
//   settext ID "..."               WM_SETTEXT into a control
//   check ID 0|1                   BM_SETCHECK
//   setsel ID INDEX 0|1            LB_SETSEL (INDEX -1: every item)
//   click ID                       post BM_CLICK to the control
//   command ID                     post WM_COMMAND(ID) to the current window
//   answer ID [SECS]               command ID, then gone
//   sleep SECS
//   expect-title "..."             expect-text ID "..."
//   expect-state ID WORD...        WORD: visible hidden enabled disabled checked
//                                  unchecked missing present
//   expect-list ID "item"...       the items, in list order
//   expect-selected ID N           LB_GETSELCOUNT
//   expect-items-selected ID "item"... exactly these items are selected
//   expect-msgbox "TEXT" ICON BUTTONS   ICON: no, error, information, question,
//                                  warning, or icon (any); BUTTONS: "OK", "OK,Cancel",
//                                  "Yes,No" (texts without "&", left to right)
//
// A failed expectation prints "FAIL line N: ..." and the script goes on; a failed
// wait prints the windows on screen and ends the script. The exit code is the
// number of failures (at most 100).
//
// Cross-process reads use the wide messages: Wine marshals them faithfully,
// while the ANSI list-box text comes back garbled from another process.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int failures = 0;
int lineNo = 0;
HWND current = nullptr;
std::string currentCaption;

std::wstring Widen(const std::string &s) {
    if (s.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), &w[0], n);
    return w;
}

std::string Narrow(const std::wstring &w) {
    if (w.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, nullptr, nullptr);
    return s;
}

// A text as the transcript shows it: quoted, control characters escaped.
std::string Quote(const std::string &s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (c < 0x20) {
            char b[8];
            snprintf(b, sizeof b, "\\x%02x", c);
            out += b;
        } else out += (char)c;
    }
    return out + "\"";
}

void Say(const std::string &s) {
    fputs(s.c_str(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

void Fail(const std::string &what) {
    ++failures;
    Say("FAIL line " + std::to_string(lineNo) + ": " + what);
}

// ---- reading windows of another process ----

// Every send is bounded: a stub busy extracting pumps no messages.
bool Send(HWND h, UINT msg, WPARAM wp, LPARAM lp, LRESULT *out) {
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutW(h, msg, wp, lp, SMTO_NORMAL, 5000, &r)) return false;
    if (out) *out = (LRESULT)r;
    return true;
}

std::string WindowText(HWND h) {
    LRESULT len = 0;
    if (!Send(h, WM_GETTEXTLENGTH, 0, 0, &len) || len < 0) len = 0;
    std::vector<wchar_t> buf(len + 2, 0);
    LRESULT got = 0;
    if (!Send(h, WM_GETTEXT, len + 1, (LPARAM)buf.data(), &got)) return "<no reply>";
    return Narrow(std::wstring(buf.data()));
}

std::string Caption(HWND h) {
    wchar_t buf[512];
    buf[0] = 0;
    GetWindowTextW(h, buf, 512);
    return Narrow(buf);
}

std::string ClassOf(HWND h) {
    wchar_t buf[64];
    buf[0] = 0;
    GetClassNameW(h, buf, 64);
    return Narrow(buf);
}

bool IsClass(HWND h, const char *name) { return _stricmp(ClassOf(h).c_str(), name) == 0; }

BOOL CALLBACK CollectAll(HWND h, LPARAM lp) {
    reinterpret_cast<std::vector<HWND> *>(lp)->push_back(h);
    return TRUE;
}

BOOL CALLBACK CollectVisible(HWND h, LPARAM lp) {
    if (IsWindowVisible(h)) reinterpret_cast<std::vector<HWND> *>(lp)->push_back(h);
    return TRUE;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> out;
    EnumChildWindows(parent, CollectAll, (LPARAM)&out);
    return out;
}

std::vector<HWND> TopWindows() {
    std::vector<HWND> out;
    EnumWindows(CollectVisible, (LPARAM)&out);
    return out;
}

std::string ButtonStates(HWND h) {
    std::string s;
    s += IsWindowVisible(h) ? "visible" : "hidden";
    s += IsWindowEnabled(h) ? " enabled" : " disabled";
    if (IsClass(h, "Button")) {
        LONG style = GetWindowLongW(h, GWL_STYLE) & 0x0F;
        if (style != BS_PUSHBUTTON && style != BS_DEFPUSHBUTTON && style != BS_GROUPBOX) {
            LRESULT c = 0;
            Send(h, BM_GETCHECK, 0, 0, &c);
            s += c == BST_CHECKED ? " checked" : " unchecked";
        }
    }
    return s;
}

void PrintWindows() {
    std::string line = "windows:";
    for (HWND h : TopWindows()) line += " " + Quote(Caption(h));
    Say(line);
}

// ---- message boxes ----

// Which standard icon an icon static shows: its pixels on screen are compared with
// each standard icon drawn over the same background. Handles of another process's
// icons cannot be compared, but the picture can.
std::string IconKind(HWND iconStatic) {
    RECT rc;
    GetClientRect(iconStatic, &rc);
    POINT org = {0, 0};
    ClientToScreen(iconStatic, &org);
    int w = rc.right, h = rc.bottom;
    if (w <= 0 || h <= 0 || w > 128 || h > 128) return "yes";
    HDC screen = GetDC(nullptr);
    HDC shot = CreateCompatibleDC(screen);
    HBITMAP shotBmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ oldShot = SelectObject(shot, shotBmp);
    BitBlt(shot, 0, 0, w, h, screen, org.x, org.y, SRCCOPY);
    COLORREF background = GetPixel(shot, 0, 0);
    HDC draw = CreateCompatibleDC(screen);
    HBITMAP drawBmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ oldDraw = SelectObject(draw, drawBmp);
    static const struct { LPCWSTR id; const char *name; } kinds[] = {
        {(LPCWSTR)IDI_HAND, "error"}, {(LPCWSTR)IDI_ASTERISK, "information"},
        {(LPCWSTR)IDI_QUESTION, "question"}, {(LPCWSTR)IDI_EXCLAMATION, "warning"}};
    std::string best = "yes";
    int bestMiss = w * h / 20 + 1;  // a match leaves (almost) no pixel different
    for (auto &k : kinds) {
        HBRUSH brush = CreateSolidBrush(background);
        FillRect(draw, &rc, brush);
        DeleteObject(brush);
        DrawIconEx(draw, 0, 0, LoadIconW(nullptr, k.id), w, h, 0, nullptr, DI_NORMAL);
        int miss = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (GetPixel(draw, x, y) != GetPixel(shot, x, y)) ++miss;
        if (miss < bestMiss) {
            bestMiss = miss;
            best = k.name;
        }
    }
    SelectObject(draw, oldDraw);
    DeleteObject(drawBmp);
    DeleteDC(draw);
    SelectObject(shot, oldShot);
    DeleteObject(shotBmp);
    DeleteDC(shot);
    ReleaseDC(nullptr, screen);
    return best;
}

struct MsgBox {
    std::string text;
    std::string icon = "no";  // no, or the kind IconKind found
    std::string buttons;  // visible button texts without '&', comma separated
};

MsgBox ReadMsgBox(HWND box) {
    MsgBox m;
    std::vector<std::pair<int, std::string>> buttons;  // by x position
    for (HWND c : Children(box)) {
        if (GetParent(c) != box) continue;
        if (IsClass(c, "Static")) {
            LONG type = GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK;
            if (type == SS_ICON) {
                LRESULT icon = 0;
                Send(c, STM_GETICON, 0, 0, &icon);
                if (icon && IsWindowVisible(c)) m.icon = IconKind(c);
            } else {
                std::string t = WindowText(c);
                if (!t.empty()) m.text = t;
            }
        } else if (IsClass(c, "Button") && IsWindowVisible(c)) {
            std::string t;
            for (char ch : WindowText(c))
                if (ch != '&') t += ch;
            RECT r;
            GetWindowRect(c, &r);
            buttons.push_back({r.left, t});
        }
    }
    std::sort(buttons.begin(), buttons.end());
    for (auto &b : buttons) m.buttons += (m.buttons.empty() ? "" : ",") + b.second;
    return m;
}

// ---- script parsing ----

std::vector<std::string> Tokens(const std::string &line) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= line.size()) break;
        std::string tok;
        if (line[i] == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string::npos) end = line.size();
            tok = line.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') tok += line[i++];
        }
        out.push_back(tok);
    }
    return out;
}

int ParseId(const std::string &s) {
    if (s == "IDOK") return IDOK;
    if (s == "IDCANCEL") return IDCANCEL;
    if (s == "IDYES") return IDYES;
    if (s == "IDNO") return IDNO;
    return (int)strtol(s.c_str(), nullptr, 0);
}

double ParseSecs(const std::vector<std::string> &t, size_t i, double dflt) {
    return i < t.size() ? atof(t[i].c_str()) : dflt;
}

HWND FindTop(const std::string &caption, int withId, int withoutId) {
    std::wstring want = Widen(caption);
    for (HWND h : TopWindows()) {
        wchar_t buf[512];
        buf[0] = 0;
        GetWindowTextW(h, buf, 512);
        if (want != buf) continue;
        if (withId && !GetDlgItem(h, withId)) continue;
        if (withoutId && GetDlgItem(h, withoutId)) continue;
        return h;
    }
    return nullptr;
}

HWND WaitTop(const std::string &caption, double secs, int withId, int withoutId) {
    DWORD until = GetTickCount() + (DWORD)(secs * 1000);
    for (;;) {
        HWND h = FindTop(caption, withId, withoutId);
        if (h) {
            Sleep(150);  // let the dialog finish painting and settle
            return h;
        }
        if ((LONG)(GetTickCount() - until) >= 0) return nullptr;
        Sleep(50);
    }
}

bool WaitGone(HWND h, double secs) {
    DWORD until = GetTickCount() + (DWORD)(secs * 1000);
    while (IsWindow(h) && IsWindowVisible(h)) {
        if ((LONG)(GetTickCount() - until) >= 0) return false;
        Sleep(50);
    }
    return true;
}

HWND Control(int id, bool quiet = false) {
    if (!current) {
        if (!quiet) Fail("no current window");
        return nullptr;
    }
    HWND c = GetDlgItem(current, id);
    if (!c && !quiet) Fail("control " + std::to_string(id) + " missing");
    return c;
}

std::vector<std::string> ListItems(HWND list) {
    std::vector<std::string> items;
    LRESULT n = 0;
    Send(list, LB_GETCOUNT, 0, 0, &n);
    for (LRESULT i = 0; i < n; ++i) {
        LRESULT len = 0;
        Send(list, LB_GETTEXTLEN, i, 0, &len);
        if (len < 0) len = 0;
        std::vector<wchar_t> buf(len + 2, 0);
        Send(list, LB_GETTEXT, i, (LPARAM)buf.data(), nullptr);
        items.push_back(Narrow(buf.data()));
    }
    return items;
}

bool ItemSelected(HWND list, int i) {
    LRESULT s = 0;
    Send(list, LB_GETSEL, i, 0, &s);
    return s > 0;
}

// ---- commands ----

// Returns false when the script cannot go on.
bool Run(const std::vector<std::string> &t) {
    const std::string &cmd = t[0];
    auto arg = [&](size_t i) -> std::string { return i < t.size() ? t[i] : std::string(); };

    if (cmd == "wait" || cmd == "msgbox") {
        int withId = 0, withoutId = 0;
        double secs = 30;
        for (size_t i = 2; i < t.size(); ++i) {
            if (t[i] == "with" && i + 1 < t.size()) withId = ParseId(t[++i]);
            else if (t[i] == "without" && i + 1 < t.size()) withoutId = ParseId(t[++i]);
            else secs = atof(t[i].c_str());
        }
        HWND h = WaitTop(arg(1), secs, withId, withoutId);
        if (!h) {
            Fail("no window " + Quote(arg(1)) + " within " + arg(2) + " s");
            PrintWindows();
            return false;
        }
        current = h;
        currentCaption = arg(1);
        if (cmd == "wait") {
            Say("window " + Quote(arg(1)));
        } else {
            MsgBox m = ReadMsgBox(h);
            Say("msgbox " + Quote(arg(1)) + " text=" + Quote(m.text) + " icon=" + m.icon +
                " buttons=" + m.buttons);
        }
        return true;
    }
    if (cmd == "gone") {
        if (!current) { Fail("no current window"); return false; }
        if (!WaitGone(current, ParseSecs(t, 1, 30))) {
            Fail("window " + Quote(currentCaption) + " still open");
            return false;
        }
        Say("closed " + Quote(currentCaption));
        current = nullptr;
        return true;
    }
    if (cmd == "absent") {
        DWORD until = GetTickCount() + (DWORD)(ParseSecs(t, 2, 2) * 1000);
        do {
            if (FindTop(arg(1), 0, 0)) {
                Fail("window " + Quote(arg(1)) + " appeared");
                return true;
            }
            Sleep(50);
        } while ((LONG)(GetTickCount() - until) < 0);
        Say("absent " + Quote(arg(1)));
        return true;
    }
    if (cmd == "windows") { PrintWindows(); return true; }
    if (cmd == "sleep") { Sleep((DWORD)(ParseSecs(t, 1, 1) * 1000)); return true; }
    if (cmd == "title" || cmd == "expect-title") {
        if (!current) { Fail("no current window"); return true; }
        std::string c = Caption(current);
        Say("title " + Quote(c));
        if (cmd == "expect-title" && c != arg(1)) Fail("title " + Quote(c) + ", expected " + Quote(arg(1)));
        return true;
    }
    if (cmd == "dump") {
        if (!current) { Fail("no current window"); return true; }
        for (HWND c : Children(current)) {
            int id = GetDlgCtrlID(c);
            Say("  control " + std::to_string(id) + " " + ClassOf(c) + " " + Quote(WindowText(c)) + " " +
                ButtonStates(c));
        }
        return true;
    }
    if (cmd == "text" || cmd == "expect-text") {
        HWND c = Control(ParseId(arg(1)));
        if (!c) return true;
        std::string s = WindowText(c);
        Say("text " + arg(1) + " " + Quote(s));
        if (cmd == "expect-text" && s != arg(2)) Fail("text of " + arg(1) + " is " + Quote(s) + ", expected " + Quote(arg(2)));
        return true;
    }
    if (cmd == "state" || cmd == "expect-state") {
        HWND c = Control(ParseId(arg(1)), true);
        std::string s = c ? "present " + ButtonStates(c) : "missing";
        Say("state " + arg(1) + " " + s);
        if (cmd == "expect-state") {
            std::string padded = " " + s + " ";
            for (size_t i = 2; i < t.size(); ++i)
                if (padded.find(" " + t[i] + " ") == std::string::npos)
                    Fail("control " + arg(1) + " is " + s + ", expected " + t[i]);
        }
        return true;
    }
    if (cmd == "list" || cmd == "expect-list" || cmd == "expect-selected" || cmd == "expect-items-selected") {
        HWND c = Control(ParseId(arg(1)));
        if (!c) return true;
        std::vector<std::string> items = ListItems(c);
        LRESULT selCount = 0;
        if (!Send(c, LB_GETSELCOUNT, 0, 0, &selCount)) selCount = -1;
        std::string line = "list " + arg(1) + " count=" + std::to_string(items.size()) +
                           " selected=" + std::to_string((long)selCount) + ":";
        std::vector<std::string> selected;
        for (size_t i = 0; i < items.size(); ++i) {
            bool sel = ItemSelected(c, (int)i);
            if (sel) selected.push_back(items[i]);
            line += std::string(" ") + (sel ? "[x]" : "[ ]") + Quote(items[i]);
        }
        Say(line);
        std::vector<std::string> want(t.begin() + std::min<size_t>(2, t.size()), t.end());
        if (cmd == "expect-list" && items != want) Fail("list " + arg(1) + " differs");
        if (cmd == "expect-items-selected" && selected != want) Fail("selection of list " + arg(1) + " differs");
        if (cmd == "expect-selected" && selCount != atol(arg(2).c_str()))
            Fail("list " + arg(1) + " has " + std::to_string((long)selCount) + " selected, expected " + arg(2));
        return true;
    }
    if (cmd == "expect-msgbox") {
        if (!current) { Fail("no current window"); return true; }
        MsgBox m = ReadMsgBox(current);
        if (m.text != arg(1)) Fail("message text " + Quote(m.text) + ", expected " + Quote(arg(1)));
        bool iconOk = arg(2) == m.icon || (arg(2) == "icon" && m.icon != "no");
        if (!iconOk) Fail("message box icon is " + m.icon + ", expected " + arg(2));
        if (t.size() > 3 && m.buttons != arg(3)) Fail("buttons " + m.buttons + ", expected " + arg(3));
        return true;
    }
    if (cmd == "settext") {
        HWND c = Control(ParseId(arg(1)));
        if (!c) return true;
        std::wstring w = Widen(arg(2));
        if (!Send(c, WM_SETTEXT, 0, (LPARAM)w.c_str(), nullptr)) Fail("WM_SETTEXT not answered");
        Say("settext " + arg(1) + " " + Quote(arg(2)));
        return true;
    }
    if (cmd == "check") {
        HWND c = Control(ParseId(arg(1)));
        if (!c) return true;
        Send(c, BM_SETCHECK, atoi(arg(2).c_str()) ? BST_CHECKED : BST_UNCHECKED, 0, nullptr);
        Say("check " + arg(1) + " " + arg(2));
        return true;
    }
    if (cmd == "setsel") {
        HWND c = Control(ParseId(arg(1)));
        if (!c) return true;
        Send(c, LB_SETSEL, atoi(arg(3).c_str()), (LPARAM)atoi(arg(2).c_str()), nullptr);
        Say("setsel " + arg(1) + " " + arg(2) + " " + arg(3));
        return true;
    }
    if (cmd == "click") {
        HWND c = Control(ParseId(arg(1)));
        if (!c) return true;
        PostMessageW(c, BM_CLICK, 0, 0);
        Say("click " + arg(1));
        return true;
    }
    if (cmd == "command" || cmd == "answer") {
        if (!current) { Fail("no current window"); return false; }
        int id = ParseId(arg(1));
        HWND c = GetDlgItem(current, id);
        PostMessageW(current, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)c);
        Say(cmd + " " + arg(1));
        if (cmd == "answer") {
            if (!WaitGone(current, ParseSecs(t, 2, 30))) {
                Fail("window " + Quote(currentCaption) + " still open after " + arg(1));
                return false;
            }
            current = nullptr;
        }
        return true;
    }
    Fail("unknown command " + cmd);
    return false;
}

}  // namespace

int main(int argc, char **argv) {
    FILE *in = stdin;
    if (argc > 1) {
        in = fopen(argv[1], "rb");
        if (!in) {
            fprintf(stderr, "sfxrobot: cannot open %s\n", argv[1]);
            return 100;
        }
    }
    char buf[4096];
    while (fgets(buf, sizeof buf, in)) {
        ++lineNo;
        std::string line(buf);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        std::vector<std::string> t = Tokens(line);
        if (t.empty() || t[0][0] == '#') continue;
        if (!Run(t)) {
            Say("robot: stopped at line " + std::to_string(lineNo));
            break;
        }
    }
    Say("robot: " + std::to_string(failures) + " failures");
    return failures > 100 ? 100 : failures;
}
