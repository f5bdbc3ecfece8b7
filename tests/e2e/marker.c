/* marker: a tiny Win32 program that e2e tests pack into an archive as the command to
 * run after extraction. It records how it was started and ends at once:
 *
 *   cwd=<its current directory>
 *   cmdline=<its whole command line>
 *
 * written to marker-out.txt in its current directory (so the file's place already
 * tells the working directory), and, when the environment variable MARKER_OUT names a
 * file, to that file as well (a fixed place the test finds even when the working
 * directory is wrong). A GUI program, so that starting it opens no console. */
#include <windows.h>

static void WriteRecord(const char *path, const char *text, DWORD length) {
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD written;
    if (h == INVALID_HANDLE_VALUE) return;
    WriteFile(h, text, length, &written, NULL);
    CloseHandle(h);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR args, int show) {
    static char text[4096];
    char dir[MAX_PATH + 1];
    char extra[MAX_PATH + 1];
    const char *line = GetCommandLineA();
    (void)instance; (void)previous; (void)args; (void)show;

    dir[0] = 0;
    GetCurrentDirectoryA(sizeof dir, dir);
    lstrcpynA(text, "cwd=", sizeof text);
    lstrcatA(text, dir);
    lstrcatA(text, "\r\ncmdline=");
    if (lstrlenA(text) + lstrlenA(line) + 3 < (int)sizeof text) lstrcatA(text, line);
    lstrcatA(text, "\r\n");

    WriteRecord("marker-out.txt", text, (DWORD)lstrlenA(text));
    if (GetEnvironmentVariableA("MARKER_OUT", extra, sizeof extra) - 1 < sizeof extra - 1)
        WriteRecord(extra, text, (DWORD)lstrlenA(text));
    return 0;
}
