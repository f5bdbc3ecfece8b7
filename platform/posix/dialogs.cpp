// Stand-in modal dialogs: DialogBoxParamA over the templates of the resource
// script, EndDialog, and the scripted user that plays each dialog.
//
// A modal dialog runs in these steps: create it and its controls from the
// template; WM_INITDIALOG to its dialog procedure; show it; deliver the posted
// messages (all windows', oldest first) until it ends or none is left; call the
// dialog script with the template name, unless it has ended already; deliver
// posted messages again; end it with IDCANCEL when nothing ended it. Then the
// dialog and its controls are destroyed (their handles stop working;
// standin::WindowText and the other queries still read their last state) and
// DialogBoxParamA returns the EndDialog result. Dialog procedures may open
// further dialogs and message boxes while they handle a message: each runs to its
// end inside the call.
//
// Dialog units become pixels as with an 8-point MS Sans Serif font: x * 3 / 2,
// y * 13 / 8. Every dialog of the program centres itself while it initialises,
// so a new dialog starts at the screen's origin, whatever its template and
// owner say. The owner is not disabled while the dialog runs. Templates are
// named by text: the program names no dialog by number.
#include "platform/posix/internal.h"

#include <stdio.h>

namespace standin_detail {

namespace {

struct DialogState {
    standin::DialogScript script;
    std::vector<std::string> shown;
};

DialogState &S() {
    static DialogState s;
    return s;
}

const uintptr_t DIALOG_FONT = 0x6001;

int PixelsX(int units) { return units * 3 / 2; }
int PixelsY(int units) { return units * 13 / 8; }

HWND CreateFromTemplate(const DialogTemplate &t, DLGPROC proc) {
    int width = PixelsX(t.w), height = PixelsY(t.h);
    RECT r{0, 0, width, height};
    HWND dlg = NewWindow(nullptr, DIALOG_CLASS, t.caption, 0, t.style & ~WS_VISIBLE, r);
    Window *d = AnyWindow(dlg);
    // The window rectangle includes the frame around the client area.
    POINT o = ClientOrigin(dlg);
    d->rect.right = width + 2 * o.x;
    d->rect.bottom = height + o.y + o.x;
    d->dlgProc = proc;
    d->font = DIALOG_FONT;
    for (const ControlTemplate &c : t.controls) {
        RECT cr{PixelsX(c.x), PixelsY(c.y), PixelsX(c.x + c.w), PixelsY(c.y + c.h)};
        HWND h = NewWindow(dlg, c.cls, c.text, c.id, c.style, cr);
        AnyWindow(h)->font = DIALOG_FONT;
    }
    return dlg;
}

}  // namespace

INT_PTR RunModal(HWND dialog, LPARAM initParam, const std::function<void()> &user) {
    Window *d = AnyWindow(dialog);
    d->modal = true;
    // wParam would name the control to get the focus; the program sets its own.
    if (d->dlgProc) d->dlgProc(dialog, WM_INITDIALOG, 0, initParam);
    if (!d->ended && d->alive) d->visible = true;  // a modal dialog is shown, WS_VISIBLE or not
    // Posted messages come before the user's input, as in a real message loop.
    MSG m;
    while (!d->ended && PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    if (!d->ended && user) user();
    while (!d->ended && PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    if (!d->ended) {
        d->ended = true;
        d->result = IDCANCEL;
    }
    DestroyTree(dialog);
    return d->result;
}

}  // namespace standin_detail

using namespace standin_detail;

INT_PTR DialogBoxParamA(HINSTANCE inst, LPCSTR templateName, HWND owner, DLGPROC proc,
                        LPARAM param) {
    std::string name = templateName;
    const DialogTemplate *t = FindTemplate(name);
    if (!t) {
        fprintf(stderr, "stand-in: no dialog template \"%s\"\n", name.c_str());
        return -1;
    }
    S().shown.push_back(name);
    HWND dlg = CreateFromTemplate(*t, proc);
    // A copy: the script may replace itself while it runs.
    standin::DialogScript script = S().script;
    return RunModal(dlg, param, [&] {
        if (script) script(name, dlg);
    });
}

BOOL EndDialog(HWND dlg, INT_PTR result) {
    Window *d = LiveWindow(dlg);
    if (!d || !d->modal) return FALSE;
    d->ended = true;
    d->result = result;
    return TRUE;
}

namespace standin_detail {
void ResetDialogs() {
    S().script = nullptr;
    S().shown.clear();
}
}  // namespace standin_detail

namespace standin {

void SetDialogScript(DialogScript script) { S().script = script; }
const std::vector<std::string> &DialogsShown() { return S().shown; }

}  // namespace standin
