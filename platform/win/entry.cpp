// The stub's entry point: no C runtime start-up runs before it, nothing after it.
#include "platform/win32.h"
#include "app/SFX.h"

// LOAD_LIBRARY_SEARCH_SYSTEM32, for systems whose headers predate it.
#define SEARCH_SYSTEM32_ONLY 0x00000800

// A self-extractor is started from a download folder, which holds whatever else
// was downloaded. The DLLs that the shell, the folder browser and the dialogs
// load at run time must come from the system, never from that folder or the
// current directory. Both calls are looked up: SetDefaultDllDirectories is
// missing before Windows 8 without its update, SetDllDirectoryA (which only
// drops the current directory) before XP SP1; 9x and NT4 have neither.
static void RestrictDllSearch() {
    HMODULE kernel = GetModuleHandleA("kernel32");
    FARPROC call = GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (call && ((BOOL(WINAPI *)(DWORD))call)(SEARCH_SYSTEM32_ONLY)) return;
    call = GetProcAddress(kernel, "SetDllDirectoryA");
    if (call) ((BOOL(WINAPI *)(LPCSTR))call)("");
}

extern "C" void SfxEntry() {
    RestrictDllSearch();
    SfxRun();
    ExitProcess(0);
}
