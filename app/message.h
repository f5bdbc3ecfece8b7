// The program's one way to show a message box. Every message, the start-up
// message and the About box included, goes through ShowMessage; the caller
// names the buttons and the icon, nothing is inferred from the text.
#pragma once
#include "platform/win32.h"

// Shows `text` under `caption`, owned by `owner` (0: no owner window), with the
// buttons and icon of `style` (MB_*). Returns the button pressed.
int ShowMessage(const char *text, const char *caption, UINT style, HWND owner = 0);
