// Stand-in shell32: ShellExecuteA (recorded, never run), the folder browser and
// the shell's task allocator.
//
// The folder browser is a modal dialog of the stand-in's window system, laid out
// like the shell's plain browser (no BIF_NEWDIALOGSTYLE): caption "Browse for
// Folder", the caller's lpszTitle in a static text at the top, and OK and Cancel
// at the bottom right. The folder tree is not drawn: the user's clicks in it are
// played by standin::BrowseSelect. It runs in this order:
//   1. WM_INITDIALOG: the title text is set, the root (the desktop) is the
//      selection, and the callback gets BFFM_INITIALIZED;
//   2. unless the callback chose another item meanwhile, the callback gets
//      BFFM_SELCHANGED with the root, so the first selection change follows the
//      initialisation (standin::AnnounceSelectionFirst plays a shell that
//      announces the root before BFFM_INITIALIZED instead);
//   3. posted messages, then the scripted user (standin::SetBrowseScript, or the
//      choice of standin::SetBrowseChoice), then posted messages again;
//   4. nothing ended it: it is cancelled, as for every stand-in dialog.
// Every selection change sets OK's enabled state first (with BIF_RETURNONLYFSDIRS
// OK is usable only on file-system folders) and then tells the callback. IDOK
// returns the current selection as a new item identifier list from the task
// allocator, whose display name goes into pszDisplayName; IDCANCEL returns null.
// Messages reach the browser through its current window procedure, so a
// procedure the program installs sees them first. The program sends the browser
// no BFFM_ messages of its own, so it answers none.
//
// Item identifier lists: the desktop is the empty list, as in the shell; every
// other item is one item id holding a tag and the item's name, a file-system
// folder by its full path ("D:\dest", a drive root "D:\"), a virtual item by its
// parsing name ("::{...}"), which has no file-system path.
//
// The task allocator counts its live blocks and its outstanding references, and
// stops the test loudly when it is asked to free a block it never handed out (a
// list the browser lent to the callback, say): on Windows that corrupts the heap.
#include "platform/posix/internal.h"
#include "resources/resource.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <deque>
#include <unordered_map>

namespace standin_detail {

namespace {

const uintptr_t BROWSER_FONT = 0x6002;  // the shell's dialog font, not the program's
const char ITEM_TAG[4] = {'T', 'v', 'X', 'i'};

// A tree item as the browser knows it.
struct Item {
    enum Kind { Desktop, Folder, Virtual } kind = Desktop;
    std::string name;  // Folder: full Windows path; Virtual: parsing name
};

// One browser while it runs.
struct Session {
    HWND window = nullptr;
    LPBROWSEINFOA info = nullptr;
    size_t record = 0;                // index into ShellState::browses
    Item selection;                   // the tree's selection
    bool selectionAnnounced = false;  // the callback has had a BFFM_SELCHANGED
    std::deque<std::string> lent;     // lists lent to the callback, alive until the end
    LPITEMIDLIST result = nullptr;    // what IDOK accepted
};

struct ShellState {
    std::vector<standin::ShellExecuteRecord> executes;
    std::string browseChoice;
    bool browsePressNew = false;
    standin::BrowseScript browseScript;
    std::vector<standin::BrowseRecord> browses;
    std::vector<Session *> sessions;  // open browsers, innermost last
    std::string desktop = "C:\\Users\\user\\Desktop";
    bool failAllocator = false;
    bool selectionFirst = false;  // the root's BFFM_SELCHANGED comes before BFFM_INITIALIZED
    std::unordered_map<void *, unsigned> blocks;  // the task allocator's blocks -> generation
    unsigned generation = 1;
    long live = 0;        // blocks of this generation not yet freed
    long references = 0;  // SHGetMalloc references not yet released
};

ShellState &S() {
    static ShellState s;
    return s;
}

// ---- the task allocator ----------------------------------------------------------------

// Blocks come from here for the browser's results; the program frees them and
// releases its reference through the interface.
void *TaskAlloc(size_t size) {
    void *p = malloc(size ? size : 1);
    if (!p) return nullptr;
    S().blocks[p] = S().generation;
    S().live++;
    return p;
}

struct TaskAllocator : IMalloc {
    void Free(void *p) override {
        if (!p) return;
        auto it = S().blocks.find(p);
        if (it == S().blocks.end()) {
            fprintf(stderr, "stand-in: IMalloc::Free of a block the allocator does not own (%p)\n", p);
            abort();
        }
        if (it->second == S().generation) S().live--;
        S().blocks.erase(it);
        free(p);
    }
    DWORD Release() override { return (DWORD)--S().references; }
};

TaskAllocator &Allocator() {
    static TaskAllocator a;
    return a;
}

// ---- item identifier lists -------------------------------------------------------------

// The bytes of an item's list: cb, tag, kind, name and NUL, then the 0 that ends
// the list. The desktop is the terminator alone.
std::string Encode(const Item &item) {
    std::string out;
    if (item.kind != Item::Desktop) {
        size_t cb = 2 + sizeof ITEM_TAG + 1 + item.name.size() + 1;
        out.push_back((char)(cb & 0xFF));
        out.push_back((char)(cb >> 8));
        out.append(ITEM_TAG, sizeof ITEM_TAG);
        out.push_back(item.kind == Item::Folder ? 'F' : 'V');
        out += item.name;
        out.push_back(0);
    }
    out.append(2, '\0');
    return out;
}

bool Decode(LPCITEMIDLIST pidl, Item &item) {
    if (!pidl) return false;
    const unsigned char *p = (const unsigned char *)pidl;
    size_t cb = p[0] | (size_t)p[1] << 8;
    if (cb == 0) {
        item = Item{};
        return true;
    }
    if (cb < 2 + sizeof ITEM_TAG + 2 || memcmp(p + 2, ITEM_TAG, sizeof ITEM_TAG) != 0) return false;
    char kind = (char)p[2 + sizeof ITEM_TAG];
    const char *name = (const char *)p + 2 + sizeof ITEM_TAG + 1;
    if ((kind != 'F' && kind != 'V') || name[cb - 2 - sizeof ITEM_TAG - 2] != 0) return false;
    item.kind = kind == 'F' ? Item::Folder : Item::Virtual;
    item.name = name;
    return true;
}

// The file-system path of an item; false for a virtual item.
bool ItemPath(const Item &item, std::string &path) {
    if (item.kind == Item::Virtual) return false;
    path = item.kind == Item::Desktop ? S().desktop : item.name;
    return true;
}

// The label the tree shows for an item.
std::string DisplayName(const Item &item) {
    if (item.kind == Item::Desktop) return "Desktop";
    if (item.kind == Item::Virtual) return item.name;
    if (item.name.size() == 3) return std::string("Local Disk (") + item.name[0] + ":)";
    return item.name.substr(item.name.rfind('\\') + 1);
}

// What a click in the tree can reach: "" the desktop, "::..." a virtual item,
// otherwise an existing folder.
bool ItemFor(const std::string &text, Item &item) {
    if (text.empty()) {
        item = Item{};
        return true;
    }
    if (text.compare(0, 2, "::") == 0) {
        item.kind = Item::Virtual;
        item.name = text;
        return true;
    }
    ResolvedPath r;
    struct stat st;
    if (!Resolve(text.c_str(), r) || stat(r.host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    item.kind = Item::Folder;
    char drive = r.drive >= 'a' && r.drive <= 'z' ? (char)(r.drive - 32) : r.drive;
    item.name = WindowsForm(drive, r.components);
    return true;
}

// ---- the browser ---------------------------------------------------------------------

Session *SessionOf(HWND w) {
    for (Session *s : S().sessions)
        if (s->window == w) return s;
    return nullptr;
}

void Notify(Session *s, UINT message, LPARAM lParam) {
    if (s->info->lpfn) s->info->lpfn(s->window, message, lParam, s->info->lParam);
}

void Select(Session *s, const Item &item) {
    s->selection = item;
    s->selectionAnnounced = true;
    std::string path;
    bool usable = !(s->info->ulFlags & BIF_RETURNONLYFSDIRS) || ItemPath(item, path);
    EnableWindow(GetDlgItem(s->window, IDOK), usable);
    if (s->record < S().browses.size())  // a Reset meanwhile took the record away
        S().browses[s->record].selections.push_back(item.kind == Item::Desktop ? "" : item.name);
    s->lent.push_back(Encode(item));
    Notify(s, BFFM_SELCHANGED, (LPARAM)s->lent.back().data());
}

void Accept(Session *s) {
    std::string path;
    // Only file-system folders can be accepted: a virtual item keeps it open.
    if ((s->info->ulFlags & BIF_RETURNONLYFSDIRS) && !ItemPath(s->selection, path)) return;
    std::string bytes = Encode(s->selection);
    void *pidl = TaskAlloc(bytes.size());
    if (!pidl) return;
    memcpy(pidl, bytes.data(), bytes.size());
    s->result = (LPITEMIDLIST)pidl;
    if (s->info->pszDisplayName) {
        std::string name = DisplayName(s->selection).substr(0, MAX_PATH - 1);
        memcpy(s->info->pszDisplayName, name.c_str(), name.size() + 1);
    }
    EndDialog(s->window, IDOK);
}

// The browser's own dialog procedure.
INT_PTR CALLBACK BrowserProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    Session *s = SessionOf(w);
    if (!s) return FALSE;
    switch (message) {
        case WM_INITDIALOG:
            SetDlgItemTextA(w, standin::BROWSE_TITLE_ID, s->info->lpszTitle ? s->info->lpszTitle : "");
            if (S().selectionFirst) Select(s, s->selection);
            Notify(s, BFFM_INITIALIZED, 0);
            if (!s->selectionAnnounced && LiveWindow(w)) Select(s, s->selection);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) Accept(s);
            else if (LOWORD(wParam) == IDCANCEL) EndDialog(w, IDCANCEL);
            return TRUE;
    }
    return FALSE;
}

HWND CreateBrowser(LPBROWSEINFOA info) {
    // Client area 300 x 340 pixels, centred on the screen.
    const int width = 300, height = 340;
    RECT r{0, 0, width, height};
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    HWND w = NewWindow(nullptr, DIALOG_CLASS, "Browse for Folder", 0, style, r);
    Window *d = AnyWindow(w);
    POINT frame = ClientOrigin(w);
    d->rect.right = width + 2 * frame.x;
    d->rect.bottom = height + frame.y + frame.x;
    SetWindowPos(w, nullptr, (GetSystemMetrics(SM_CXSCREEN) - d->rect.right) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - d->rect.bottom) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
    d->dlgProc = BrowserProc;
    d->font = BROWSER_FONT;
    struct {
        const char *text;
        int id;
        DWORD style;
        RECT rect;
    } controls[] = {
        {"", standin::BROWSE_TITLE_ID, 0, {12, 10, 288, 42}},
        {"OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, {130, 306, 205, 329}},
        {"Cancel", IDCANCEL, WS_TABSTOP, {213, 306, 288, 329}},
    };
    for (auto &c : controls) {
        const char *cls = c.id == standin::BROWSE_TITLE_ID ? "Static" : "Button";
        HWND h = NewWindow(w, cls, c.text, c.id, WS_CHILD | WS_VISIBLE | c.style, c.rect);
        AnyWindow(h)->font = BROWSER_FONT;
    }
    return w;
}

// The user of the browser when no script plays it: picks the chosen folder and
// presses OK or "New...", or cancels when there is no choice.
void ChoiceUser(HWND browser) {
    const ShellState &s = S();
    if (s.browseChoice.empty()) {
        standin::Click(browser, IDCANCEL);
        return;
    }
    if (standin::BrowseSelect(browser, s.browseChoice))
        standin::Click(browser, s.browsePressNew ? IDC_NEW_FOLDER : IDOK);
}

}  // namespace

void ResetShell() {
    ShellState &s = S();
    s.executes.clear();
    s.browseChoice.clear();
    s.browsePressNew = false;
    s.browseScript = nullptr;
    s.browses.clear();
    s.desktop = "C:\\Users\\user\\Desktop";
    s.failAllocator = false;
    s.selectionFirst = false;
    s.generation++;
    s.live = 0;
    s.references = 0;
}

}  // namespace standin_detail

using namespace standin_detail;

HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR params, LPCSTR dir,
                        int show) {
    char cwd[MAX_PATH + 1];
    GetCurrentDirectoryA(sizeof cwd, cwd);
    S().executes.push_back(standin::ShellExecuteRecord{owner, verb ? verb : "", file ? file : "",
                                                       params ? params : "", dir ? dir : "",
                                                       show, cwd});
    return (HINSTANCE)(uintptr_t)42;  // above 32: success
}

LPITEMIDLIST SHBrowseForFolderA(LPBROWSEINFOA info) {
    if (!info) return nullptr;
    Session session;
    session.info = info;
    session.window = CreateBrowser(info);
    session.record = S().browses.size();
    S().browses.push_back(standin::BrowseRecord{info->hwndOwner,
                                                info->lpszTitle ? info->lpszTitle : "",
                                                info->ulFlags, {}});
    S().sessions.push_back(&session);
    // A copy: the script may replace itself while it runs.
    standin::BrowseScript script = S().browseScript;
    INT_PTR result = RunModal(session.window, (LPARAM)info, [&] {
        if (script) script(session.window);
        else ChoiceUser(session.window);
    });
    auto &open = S().sessions;
    open.erase(std::remove(open.begin(), open.end(), &session), open.end());
    return result == IDOK ? session.result : nullptr;
}

BOOL SHGetPathFromIDListA(LPCITEMIDLIST pidl, LPSTR path) {
    Item item;
    std::string text;
    if (!Decode(pidl, item) || !ItemPath(item, text)) {
        if (path) path[0] = 0;
        return FALSE;
    }
    if (!path) return FALSE;
    text = text.substr(0, MAX_PATH - 1);
    memcpy(path, text.c_str(), text.size() + 1);
    return TRUE;
}

HRESULT SHGetMalloc(LPMALLOC *malloc) {
    if (!malloc) return E_FAIL;
    if (S().failAllocator) {
        *malloc = nullptr;
        return E_FAIL;
    }
    S().references++;
    *malloc = &Allocator();
    return S_OK;
}

namespace standin {

const std::vector<ShellExecuteRecord> &ShellExecutes() { return S().executes; }

void SetBrowseChoice(const std::string &path, bool pressNew) {
    S().browseChoice = path;
    S().browsePressNew = pressNew;
}

void SetBrowseScript(BrowseScript script) { S().browseScript = script; }

bool BrowseSelect(HWND browser, const std::string &item) {
    Session *s = SessionOf(browser);
    Item it;
    if (!s || !LiveWindow(browser) || !ItemFor(item, it)) return false;
    Select(s, it);
    return true;
}

const std::vector<BrowseRecord> &Browses() { return S().browses; }

void SetDesktopFolder(const std::string &path) { S().desktop = path; }

void FailShellAllocator(bool fail) { S().failAllocator = fail; }

void AnnounceSelectionFirst(bool first) { S().selectionFirst = first; }

long ShellAllocations() { return S().live; }

long ShellAllocatorReferences() { return S().references; }

}  // namespace standin
