/* verinfo: prints what Windows' own version API reads from a file:
 *   verinfo FILE KEY...   "KEY=VALUE" per string of the file's first translation,
 *                         then "FileVersion=a.b.c.d" from the fixed part;
 *                         exit 1 when the file has no version information. */
#include <stdio.h>
#include <windows.h>

int main(int argc, char **argv) {
    DWORD ignored, size;
    if (argc < 2 || !(size = GetFileVersionInfoSizeA(argv[1], &ignored))) return 1;
    char *data = (char *)HeapAlloc(GetProcessHeap(), 0, size);
    if (!data || !GetFileVersionInfoA(argv[1], 0, size, data)) return 1;
    WORD *translation;
    UINT length;
    if (!VerQueryValueA(data, "\\VarFileInfo\\Translation", (void **)&translation, &length) || length < 4)
        return 1;
    for (int i = 2; i < argc; i++) {
        char path[128];
        char *value;
        snprintf(path, sizeof path, "\\StringFileInfo\\%04X%04X\\%s", translation[0], translation[1], argv[i]);
        if (VerQueryValueA(data, path, (void **)&value, &length)) printf("%s=%s\n", argv[i], value);
        else printf("%s missing\n", argv[i]);
    }
    VS_FIXEDFILEINFO *fixed;
    if (VerQueryValueA(data, "\\", (void **)&fixed, &length) && length >= sizeof *fixed)
        printf("FileVersion=%u.%u.%u.%u\n", (unsigned)HIWORD(fixed->dwFileVersionMS),
               (unsigned)LOWORD(fixed->dwFileVersionMS), (unsigned)HIWORD(fixed->dwFileVersionLS),
               (unsigned)LOWORD(fixed->dwFileVersionLS));
    return 0;
}
