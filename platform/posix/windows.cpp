// Stand-in window system (user32): windows are records; messages are calls.
//
// Every window (dialog or control) is a record that lives until standin::Reset;
// destroying a window only marks it, so its handle stops working in the API but
// the standin query helpers still read its last state. A window's messages go
// through its current window procedure: controls start with the built-in one
// below, dialogs with DefDlgProcA (their dialog procedure first, then the
// built-in text and font handling); SetWindowLongA(GWL_WNDPROC) replaces it.
//
// What the built-in procedures do, and no more: texts (WM_SETTEXT, WM_GETTEXT),
// fonts (stored values), check states (BM_GETCHECK, BM_SETCHECK; no automatic
// unchecking of other radio buttons), EM_SETSEL (recorded), and the list-box
// messages of win32.h over sorted or unsorted, single- or multiple-selection
// lists. Controls send no notifications. The message queue has no filters:
// every loop that takes messages takes all of them, oldest first.
//
// Geometry: a top-level window's rectangle is in screen pixels, a control's in
// its parent's client pixels. A top-level window with a caption (every one the
// program opens has one) has a frame of 3 pixels and a 22-pixel top, caption
// included. The screen is 1024 x 768 unless standin::SetScreenSize.
#include "platform/posix/internal.h"

#include <string.h>

#include <algorithm>
#include <deque>

namespace standin_detail {

namespace {

const uintptr_t WINDOW_HANDLE_BASE = 0x50000;

struct WindowState {
    std::deque<Window> windows;  // index = (handle - base) / 4; references stay valid
    std::deque<MSG> queue;       // posted messages
    HWND focus = nullptr;
    int screenWidth = 1024, screenHeight = 768;
};

WindowState &S() {
    static WindowState s;
    return s;
}

// ASCII case folding with the sort order of Windows' string comparison for the
// characters file names use: punctuation and symbols before digits, digits
// before letters, letters without case.
int SortWeight(unsigned char c) {
    if (c >= 'A' && c <= 'Z') c = (unsigned char)(c + 32);
    if (c >= 'a' && c <= 'z') return 0x300 + c;
    if (c >= '0' && c <= '9') return 0x200 + c;
    if (c < 0x80) return 0x100 + c;
    return 0x400 + c;
}

int CompareNoCase(const std::string &a, const std::string &b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; i++) {
        int d = SortWeight((unsigned char)a[i]) - SortWeight((unsigned char)b[i]);
        if (d) return d;
    }
    return (int)a.size() - (int)b.size();
}

bool IsListBox(const Window *w) { return w->cls == "ListBox"; }
bool MultipleSelection(const Window *w) { return (w->style & LBS_MULTIPLESEL) != 0; }

LRESULT CopyText(const std::string &text, WPARAM max, LPARAM buffer) {
    if (!buffer || max == 0) return 0;
    size_t n = std::min(text.size(), (size_t)max - 1);
    memcpy((char *)buffer, text.data(), n);
    ((char *)buffer)[n] = 0;
    return (LRESULT)n;
}

// The list-box messages; `handled` is cleared for any other message.
LRESULT ListMessage(Window *w, UINT msg, WPARAM wParam, LPARAM lParam, bool &handled) {
    handled = true;
    int count = (int)w->items.size();
    int index = (int)wParam;
    bool inRange = index >= 0 && index < count;
    switch (msg) {
        case LB_ADDSTRING: {
            std::string item = lParam ? (const char *)lParam : "";
            int at = count;
            if (w->style & LBS_SORT) {  // after the last item that is not greater
                // The items are sorted (every one came through here), so a
                // binary search finds that place; a long listing stays fast.
                at = (int)(std::upper_bound(w->items.begin(), w->items.end(), item,
                                            [](const std::string &a, const std::string &b) {
                                                return CompareNoCase(a, b) < 0;
                                            }) -
                           w->items.begin());
            }
            w->items.insert(w->items.begin() + at, item);
            w->selected.insert(w->selected.begin() + at, false);
            return at;
        }
        case LB_INSERTSTRING: {  // at the index, or at the end for -1: never sorted
            if (index < -1 || index > count) return LB_ERR;
            int at = index == -1 ? count : index;
            w->items.insert(w->items.begin() + at, lParam ? (const char *)lParam : "");
            w->selected.insert(w->selected.begin() + at, false);
            return at;
        }
        case LB_RESETCONTENT:
            w->items.clear();
            w->selected.clear();
            return 0;
        case LB_GETCOUNT:
            return count;
        case LB_SETSEL: {
            int item = (int)lParam;
            if (!MultipleSelection(w) || item < -1 || item >= count) return LB_ERR;
            for (int i = 0; i < count; i++)
                if (item == -1 || i == item) w->selected[i] = wParam != 0;
            return 0;
        }
        case LB_GETSEL:
            return inRange ? (w->selected[index] ? 1 : 0) : LB_ERR;
        case LB_GETSELCOUNT:
            if (!MultipleSelection(w)) return LB_ERR;
            return std::count(w->selected.begin(), w->selected.end(), true);
        case LB_FINDSTRINGEXACT: {
            // The search starts after the item `wParam` and wraps round to it.
            std::string text = lParam ? (const char *)lParam : "";
            int start = (index < -1 || index >= count) ? -1 : index;
            for (int k = 1; k <= count; k++) {
                int i = (start + k) % count;
                if (EqualNoCase(w->items[i], text)) return i;
            }
            return LB_ERR;
        }
    }
    handled = false;
    return 0;
}

}  // namespace

// Texts and fonts, shared by controls and dialogs; `handled` tells whether the
// message was one of these.
LRESULT CommonMessage(Window *w, UINT msg, WPARAM wParam, LPARAM lParam, bool &handled) {
    handled = true;
    switch (msg) {
        case WM_SETTEXT:
            w->text = lParam ? (const char *)lParam : "";
            return TRUE;
        case WM_GETTEXT:
            return CopyText(w->text, wParam, lParam);
        case WM_SETFONT:
            w->font = wParam;
            return 0;
        case WM_GETFONT:
            return (LRESULT)w->font;
    }
    handled = false;
    return 0;
}

// The built-in window procedure of every control.
LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window *w = LiveWindow(hwnd);
    if (!w) return 0;
    bool handled;
    LRESULT r = CommonMessage(w, msg, wParam, lParam, handled);
    if (handled) return r;
    if (IsListBox(w)) {
        r = ListMessage(w, msg, wParam, lParam, handled);
        if (handled) return r;
    }
    switch (msg) {
        case BM_GETCHECK:
            return w->cls == "Button" ? w->check : 0;
        case BM_SETCHECK:
            if (w->cls == "Button") w->check = (int)wParam;
            return 0;
        case EM_SETSEL:
            w->selStart = (DWORD)wParam;
            w->selEnd = (DWORD)lParam;
            return 0;
    }
    return 0;
}

Window *AnyWindow(HWND h) {
    uintptr_t v = (uintptr_t)h;
    if (v < WINDOW_HANDLE_BASE || (v - WINDOW_HANDLE_BASE) % 4) return nullptr;
    size_t i = (v - WINDOW_HANDLE_BASE) / 4;
    return i < S().windows.size() ? &S().windows[i] : nullptr;
}

Window *LiveWindow(HWND h) {
    Window *w = AnyWindow(h);
    return w && w->alive ? w : nullptr;
}

// Class names as Windows reports them.
static std::string CanonicalClass(const std::string &cls) {
    static const char *const known[] = {"Button", "Edit", "Static", "ListBox", DIALOG_CLASS};
    for (const char *k : known)
        if (EqualNoCase(cls, k)) return k;
    return cls;
}

HWND NewWindow(HWND parent, const std::string &cls, const std::string &text, int id,
               DWORD style, const RECT &rect) {
    WindowState &s = S();
    HWND h = (HWND)(WINDOW_HANDLE_BASE + 4 * s.windows.size());
    s.windows.emplace_back();
    Window &w = s.windows.back();
    w.handle = h;
    w.parent = parent;
    w.id = id;
    w.cls = CanonicalClass(cls);
    w.text = text;
    w.style = style;
    w.visible = (style & WS_VISIBLE) != 0;
    w.rect = rect;
    w.wndProc = w.cls == DIALOG_CLASS ? DefDlgProcA : ControlProc;
    if (Window *p = LiveWindow(parent)) p->children.push_back(h);
    return h;
}

void DestroyTree(HWND h) {
    Window *w = LiveWindow(h);
    if (!w) return;
    w->alive = false;
    if (S().focus == h) S().focus = nullptr;
    auto &q = S().queue;  // its posted messages go with it
    q.erase(std::remove_if(q.begin(), q.end(), [h](const MSG &m) { return m.hwnd == h; }), q.end());
    for (HWND c : w->children) DestroyTree(c);
}

static POINT Frame(const Window *w) {
    if (!w->parent && (w->style & WS_CAPTION) == WS_CAPTION) return POINT{3, 22};
    return POINT{0, 0};
}

POINT ClientOrigin(HWND h) {
    Window *w = AnyWindow(h);
    if (!w) return POINT{0, 0};
    POINT base = w->parent ? ClientOrigin(w->parent) : POINT{0, 0};
    POINT f = Frame(w);
    return POINT{base.x + w->rect.left + f.x, base.y + w->rect.top + f.y};
}

void ResetWindows() {
    WindowState &s = S();
    s.windows.clear();
    s.queue.clear();
    s.focus = nullptr;
    s.screenWidth = 1024;
    s.screenHeight = 768;
}

// Recovers a window procedure from the 32 bits SetWindowLongA carries: on a
// 64-bit host the program's cast keeps only the low half of the address. The
// program and the stand-in are one executable, so the procedure lies within
// 2 GB of the stand-in's own code; take the address with those low 32 bits
// nearest to it.
static WNDPROC ProcFromLong(LONG value) {
    uintptr_t anchor = (uintptr_t)&ControlProc;
    if (sizeof(uintptr_t) == 4) return (WNDPROC)(uintptr_t)(uint32_t)value;
    uint64_t candidate = ((uint64_t)anchor & ~0xFFFFFFFFull) | (uint32_t)value;
    if (candidate > anchor && candidate - anchor > 0x80000000ull) candidate -= 0x100000000ull;
    else if (anchor > candidate && anchor - candidate > 0x80000000ull) candidate += 0x100000000ull;
    return (WNDPROC)(uintptr_t)candidate;
}

}  // namespace standin_detail

using namespace standin_detail;

// ---- messages --------------------------------------------------------------------------

// The list's own order, so that a name appended after the last item is where
// the list would have put it.
int lstrcmpiA(LPCSTR a, LPCSTR b) { return CompareNoCase(a ? a : "", b ? b : ""); }

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window *w = LiveWindow(hwnd);
    return w ? w->wndProc(hwnd, msg, wParam, lParam) : 0;
}

// A dialog's default processing: its dialog procedure first; what that leaves
// (FALSE) gets the built-in text and font handling, and WM_CLOSE becomes IDCANCEL.
LRESULT DefDlgProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window *w = LiveWindow(hwnd);
    if (!w) return 0;
    if (w->dlgProc) {
        INT_PTR r = w->dlgProc(hwnd, msg, wParam, lParam);
        if (r) return r;
        if (!(w = LiveWindow(hwnd))) return 0;
    }
    bool handled;
    LRESULT r = CommonMessage(w, msg, wParam, lParam, handled);
    if (handled) return r;
    if (msg == WM_CLOSE) SendMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);
    return 0;
}

// Messages are posted to windows; the program posts none to its thread alone.
BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!LiveWindow(hwnd)) return FALSE;
    MSG m{};
    m.hwnd = hwnd;
    m.message = msg;
    m.wParam = wParam;
    m.lParam = lParam;
    S().queue.push_back(m);
    return TRUE;
}

// Every caller asks for any message of any window (null window, no range).
BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT first, UINT last, UINT remove) {
    auto &q = S().queue;
    if (q.empty()) return FALSE;
    *msg = q.front();
    if (remove & PM_REMOVE) q.pop_front();
    return TRUE;
}

BOOL TranslateMessage(const MSG *msg) { return FALSE; }

LRESULT DispatchMessageA(const MSG *msg) {
    return SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

// ---- windows -------------------------------------------------------------------------

HWND GetDlgItem(HWND dlg, int id) {
    Window *d = LiveWindow(dlg);
    if (!d) return nullptr;
    for (HWND c : d->children) {
        Window *w = LiveWindow(c);
        if (w && w->id == id) return c;
    }
    return nullptr;
}

UINT GetDlgItemTextA(HWND dlg, int id, LPSTR buffer, int max) {
    return (UINT)SendMessageA(GetDlgItem(dlg, id), WM_GETTEXT, (WPARAM)max, (LPARAM)buffer);
}

BOOL SetDlgItemTextA(HWND dlg, int id, LPCSTR text) {
    return (BOOL)SendMessageA(GetDlgItem(dlg, id), WM_SETTEXT, 0, (LPARAM)text);
}

BOOL SetWindowTextA(HWND w, LPCSTR text) {
    return (BOOL)SendMessageA(w, WM_SETTEXT, 0, (LPARAM)text);
}

BOOL ShowWindow(HWND hwnd, int cmd) {
    Window *w = LiveWindow(hwnd);
    if (!w) return FALSE;
    BOOL was = w->visible;
    w->visible = cmd != SW_HIDE;
    return was;
}

BOOL DestroyWindow(HWND hwnd) {
    if (!LiveWindow(hwnd)) return FALSE;
    DestroyTree(hwnd);
    return TRUE;
}

// Returns whether the window was disabled before.
BOOL EnableWindow(HWND hwnd, BOOL enable) {
    Window *w = LiveWindow(hwnd);
    if (!w) return FALSE;
    BOOL wasDisabled = !w->enabled;
    w->enabled = enable != FALSE;
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND hwnd) {
    Window *w = LiveWindow(hwnd);
    return w && w->enabled;
}

BOOL IsWindowVisible(HWND hwnd) {
    if (!LiveWindow(hwnd)) return FALSE;
    for (Window *w = AnyWindow(hwnd); w; w = AnyWindow(w->parent))
        if (!w->visible) return FALSE;
    return TRUE;
}

static void Descendants(HWND parent, std::vector<HWND> &out) {
    Window *p = LiveWindow(parent);
    if (!p) return;
    for (HWND c : p->children) {
        if (!LiveWindow(c)) continue;
        out.push_back(c);
        Descendants(c, out);
    }
}

BOOL EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM param) {
    std::vector<HWND> all;
    Descendants(parent, all);
    for (HWND c : all)
        if (LiveWindow(c) && !proc(c, param)) break;
    return TRUE;
}

int GetClassNameA(HWND hwnd, LPSTR buffer, int max) {
    Window *w = LiveWindow(hwnd);
    if (!w || max <= 0) return 0;
    return (int)CopyText(w->cls, (WPARAM)max, (LPARAM)buffer);
}

DWORD SetClassLongA(HWND hwnd, int index, LONG value) {
    Window *w = LiveWindow(hwnd);
    if (!w) return 0;
    DWORD old = (DWORD)w->classIcon;
    if (index == GCL_HICON) w->classIcon = value;
    return old;
}

HICON LoadIconA(HINSTANCE inst, LPCSTR name) { return (HICON)(uintptr_t)0x7001; }

HWND SetFocus(HWND hwnd) {
    HWND old = S().focus;
    if (hwnd && !LiveWindow(hwnd)) return nullptr;
    S().focus = hwnd;
    return old;
}

BOOL GetWindowRect(HWND hwnd, LPRECT rect) {
    Window *w = LiveWindow(hwnd);
    if (!w) return FALSE;
    POINT base = w->parent ? ClientOrigin(w->parent) : POINT{0, 0};
    rect->left = base.x + w->rect.left;
    rect->top = base.y + w->rect.top;
    rect->right = base.x + w->rect.right;
    rect->bottom = base.y + w->rect.bottom;
    return TRUE;
}

int GetSystemMetrics(int index) {
    if (index == SM_CXSCREEN) return S().screenWidth;
    if (index == SM_CYSCREEN) return S().screenHeight;
    return 0;
}

// Moves the window; every caller keeps its size (SWP_NOSIZE) and its place in
// the z-order, which the stand-in does not keep.
BOOL SetWindowPos(HWND hwnd, HWND after, int x, int y, int cx, int cy, UINT flags) {
    Window *w = LiveWindow(hwnd);
    if (!w) return FALSE;
    w->rect.right += x - w->rect.left;
    w->rect.bottom += y - w->rect.top;
    w->rect.left = x;
    w->rect.top = y;
    return TRUE;
}

BOOL ScreenToClient(HWND hwnd, LPPOINT pt) {
    if (!LiveWindow(hwnd)) return FALSE;
    POINT o = ClientOrigin(hwnd);
    pt->x -= o.x;
    pt->y -= o.y;
    return TRUE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE inst,
                     LPVOID param) {
    if (parent && !LiveWindow(parent)) return nullptr;
    RECT r{x, y, x + width, y + height};
    int id = parent ? (int)(intptr_t)menu : 0;
    return NewWindow(parent, className ? className : "", windowName ? windowName : "", id, style,
                     r);
}

// The program replaces window procedures and nothing else (GWL_WNDPROC).
LONG SetWindowLongA(HWND hwnd, int index, LONG value) {
    Window *w = LiveWindow(hwnd);
    if (!w || index != GWL_WNDPROC) return 0;
    LONG old = (LONG)(intptr_t)w->wndProc;
    w->wndProc = ProcFromLong(value);
    return old;
}

// ---- control surface ---------------------------------------------------------------------

namespace standin {

std::string WindowText(HWND w) {
    Window *x = AnyWindow(w);
    return x ? x->text : "";
}

bool WindowVisible(HWND w) {
    if (!AnyWindow(w)) return false;
    for (Window *x = AnyWindow(w); x; x = AnyWindow(x->parent))
        if (!x->visible) return false;
    return true;
}

bool WindowEnabled(HWND w) {
    Window *x = AnyWindow(w);
    return x && x->enabled;
}

bool WindowExists(HWND w) { return LiveWindow(w) != nullptr; }

int CheckState(HWND w) {
    Window *x = AnyWindow(w);
    return x ? x->check : 0;
}

std::vector<std::string> ListItems(HWND list) {
    Window *x = AnyWindow(list);
    return x ? x->items : std::vector<std::string>();
}

std::vector<bool> ListSelection(HWND list) {
    Window *x = AnyWindow(list);
    return x ? x->selected : std::vector<bool>();
}

void SetListSelection(HWND list, int index, bool selected) {
    Window *x = AnyWindow(list);
    if (x && index >= 0 && index < (int)x->items.size()) x->selected[index] = selected;
}

HWND FocusedWindow() { return S().focus; }

void SetScreenSize(int width, int height) {
    S().screenWidth = width;
    S().screenHeight = height;
}

DWORD WindowStyle(HWND w) {
    Window *x = AnyWindow(w);
    return x ? x->style : 0;
}

void EditSelection(HWND edit, DWORD *start, DWORD *end) {
    Window *x = AnyWindow(edit);
    *start = x ? x->selStart : 0;
    *end = x ? x->selEnd : 0;
}

LONG ClassIcon(HWND w) {
    Window *x = AnyWindow(w);
    return x ? x->classIcon : 0;
}

size_t PendingMessages() { return S().queue.size(); }

bool Click(HWND dialog, int id) {
    HWND c = GetDlgItem(dialog, id);
    Window *w = LiveWindow(c);
    if (!w || !w->enabled || !IsWindowVisible(c)) return false;
    if (w->cls == "Button") {
        DWORD type = w->style & BS_TYPEMASK;
        if (type == BS_AUTOCHECKBOX) w->check = !w->check;
        if (type == BS_AUTORADIOBUTTON) {  // the others of its group go off
            Window *d = LiveWindow(dialog);
            auto &kids = d->children;
            size_t at = std::find(kids.begin(), kids.end(), c) - kids.begin();
            size_t first = at, last = at;
            while (first > 0 && !(AnyWindow(kids[first])->style & WS_GROUP)) first--;
            while (last + 1 < kids.size() && !(AnyWindow(kids[last + 1])->style & WS_GROUP)) last++;
            for (size_t i = first; i <= last; i++) {
                Window *k = AnyWindow(kids[i]);
                if (k->cls == "Button" && (k->style & BS_TYPEMASK) == BS_AUTORADIOBUTTON) k->check = 0;
            }
            w->check = 1;
        }
    }
    SendMessageA(dialog, WM_COMMAND, LOWORD(id), (LPARAM)c);  // notification code 0
    return true;
}

}  // namespace standin
