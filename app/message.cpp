// The message box helper (see message.h). Called by every module that shows a
// message: the run sequence, the configuration reader, the extraction pass and
// the dialogs. Keeps no state.
#include "app/message.h"

int ShowMessage(const char *text, const char *caption, UINT style, HWND owner) {
    return MessageBoxA(owner, text, caption, style);
}
