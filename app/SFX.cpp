// SFX: program entry, module start-up/shutdown and the run sequence.
// PLACEHOLDER: filled in by the start-up work.
#include "app/SFX.h"

HINSTANCE programInstance = 0;

bool ModuleStartup() { return true; }
void ModuleShutdown() {}
bool ShowStartupMessage() { return true; }
void SfxRun() {}
