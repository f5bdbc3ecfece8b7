// SFX: the program entry, module start-up and shutdown, and the run sequence.
#pragma once
#include "platform/win32.h"

// The program's module instance, for dialogs and icons.
extern HINSTANCE programInstance;

// Allocates the four text buffers and the CRC block and presets the caption.
bool ModuleStartup();
// Releases the buffers, closes the own file (reporting a failed close) and
// releases the CRC block. Safe on every path out of the program.
void ModuleShutdown();
// Shows the configured start-up message; false when the user refused it.
bool ShowStartupMessage();
// The whole run, from module start-up to module shutdown. The caller ends the
// process with exit code 0.
void SfxRun();
