// Stand-in kernel32 odds and ends: DOS and file times, the version query, the
// module handle and starting programs (recorded, never run).
//
// The stand-in's local time is UTC unless standin::SetUtcOffsetMinutes says
// otherwise (local = UTC + offset).
#include "platform/posix/internal.h"

#include <string.h>
#include <time.h>

#include <map>

namespace standin_detail {

namespace {

struct KernelState {
    DWORD platformId = VER_PLATFORM_WIN32_NT;
    bool versionFails = false;
    int utcOffsetMinutes = 0;
    std::vector<standin::WinExecRecord> winExecs;
    std::string systemFolder = "C:\\WINDOWS\\system32";
    std::string windowsFolder = "C:\\WINDOWS";
    std::map<std::string, std::string> environment;  // lower-case names
};

KernelState &S() {
    static KernelState s;
    return s;
}

// Days from 1601-01-01 to the given civil date (proleptic Gregorian calendar).
int64_t DaysFrom1601(int y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = (unsigned)(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + (int64_t)doe - 719468 + 134774;  // 1970 epoch -> 1601 epoch
}

bool LeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

void ResetKernel() {
    KernelState &s = S();
    s.platformId = VER_PLATFORM_WIN32_NT;
    s.versionFails = false;
    s.utcOffsetMinutes = 0;
    s.winExecs.clear();
    s.systemFolder = "C:\\WINDOWS\\system32";
    s.windowsFolder = "C:\\WINDOWS";
    s.environment.clear();
}

}  // namespace standin_detail

using namespace standin_detail;

// ---- times ----------------------------------------------------------------------------

// DOS date: bits 15-9 year since 1980, 8-5 month, 4-0 day; DOS time: bits 15-11
// hour, 10-5 minute, 4-0 seconds/2. Fields out of range fail, as on Windows.
BOOL DosDateTimeToFileTime(WORD date, WORD time, LPFILETIME ft) {
    static const unsigned char monthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int year = 1980 + (date >> 9);
    unsigned month = (date >> 5) & 15, day = date & 31;
    unsigned hour = time >> 11, minute = (time >> 5) & 63, second = (time & 31) * 2;
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
        return FALSE;
    unsigned days = monthDays[month - 1] + (month == 2 && LeapYear(year));
    if (day > days) return FALSE;
    uint64_t seconds = (uint64_t)DaysFrom1601(year, month, day) * 86400 + hour * 3600 +
                       minute * 60 + second;
    uint64_t ticks = seconds * TICKS_PER_SECOND;
    ft->dwLowDateTime = (DWORD)ticks;
    ft->dwHighDateTime = (DWORD)(ticks >> 32);
    return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME *local, LPFILETIME utc) {
    uint64_t ticks = ((uint64_t)local->dwHighDateTime << 32) | local->dwLowDateTime;
    ticks -= (uint64_t)((int64_t)S().utcOffsetMinutes * 60 * (int64_t)TICKS_PER_SECOND);
    utc->dwLowDateTime = (DWORD)ticks;
    utc->dwHighDateTime = (DWORD)(ticks >> 32);
    return TRUE;
}

// ---- process and system -------------------------------------------------------------------

HMODULE GetModuleHandleA(LPCSTR name) { return (HMODULE)(uintptr_t)0x400000; }

// Milliseconds of the host's monotonic clock, wrapping like the real count.
DWORD GetTickCount(void) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (DWORD)((uint64_t)now.tv_sec * 1000 + (uint64_t)now.tv_nsec / 1000000);
}

// The platform id is all the program reads of the answer.
BOOL GetVersionExA(LPOSVERSIONINFOA info) {
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) || S().versionFails)
        return FALSE;
    info->dwPlatformId = S().platformId;
    return TRUE;
}

UINT WinExec(LPCSTR cmdLine, UINT show) {
    char cwd[MAX_PATH + 1];
    GetCurrentDirectoryA(sizeof cwd, cwd);
    S().winExecs.push_back(standin::WinExecRecord{cmdLine ? cmdLine : "", show, cwd});
    return 33;  // above 31: success
}

// The length without the NUL, or the room needed when the buffer is too small.
static UINT ReportFolder(const std::string &folder, LPSTR buffer, UINT size) {
    if (folder.size() >= size) return (UINT)folder.size() + 1;
    memcpy(buffer, folder.c_str(), folder.size() + 1);
    return (UINT)folder.size();
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) { return ReportFolder(S().systemFolder, buffer, size); }

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) { return ReportFolder(S().windowsFolder, buffer, size); }

// %NAME% of a known variable (names without case) becomes its value; anything
// else stays as it is. The count includes the NUL; a buffer too small for it
// receives nothing useful, as on Windows.
DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR out, DWORD size) {
    std::string result, text = source;
    for (size_t i = 0; i < text.size(); i++) {
        size_t end = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
        auto var = end == std::string::npos ? S().environment.end()
                                            : S().environment.find(Lower(text.substr(i + 1, end - i - 1)));
        if (var == S().environment.end()) {
            result += text[i];
        } else {
            result += var->second;
            i = end;
        }
    }
    if (result.size() < size) memcpy(out, result.c_str(), result.size() + 1);
    return (DWORD)result.size() + 1;
}

namespace standin {

void SetPlatformId(DWORD id, bool fail) {
    S().platformId = id;
    S().versionFails = fail;
}

void SetSystemFolders(const std::string &system, const std::string &windows) {
    S().systemFolder = system;
    S().windowsFolder = windows;
}

void SetEnvironmentVariable(const std::string &name, const std::string &value) {
    S().environment[Lower(name)] = value;
}

void SetUtcOffsetMinutes(int minutes) { S().utcOffsetMinutes = minutes; }

const std::vector<WinExecRecord> &WinExecs() { return S().winExecs; }

}  // namespace standin
