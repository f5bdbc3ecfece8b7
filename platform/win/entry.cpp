// The stub's entry point: no C runtime start-up runs before it, nothing after it.
#include "platform/win32.h"
#include "app/SFX.h"

extern "C" void SfxEntry() {
    SfxRun();
    ExitProcess(0);
}
