// Default destination: turns the header's defaultDir, already in defaultDirText,
// into a directory. Called once by ReadConfiguration (app/config.cpp) when the
// text is not empty; rewrites defaultDirText and nothing else.
//
// Forms: "><" is the temporary directory; a text beginning "HK" is a registry
// reference root\key path\value name|subdirectory whose value holds a directory;
// anything else is a path and stays as it is. A reference that leads to no usable
// value gives the temporary directory; nothing is reported.
#include "app/config.h"
#include "app/SFXgbls.h"
#include "app/SFXstrings.h"
#include "archive/SFXmisc.h"
#include "platform/memory.h"

// The recognised roots, a long and a short name for each hive.
struct RegistryRoot {
    const char *name;
    HKEY hive;
};
static const RegistryRoot registryRoots[] = {
    {STR_HKCU_LONG, HKEY_CURRENT_USER},  {STR_HKCU_SHORT, HKEY_CURRENT_USER},
    {STR_HKLM_LONG, HKEY_LOCAL_MACHINE}, {STR_HKLM_SHORT, HKEY_LOCAL_MACHINE},
    {STR_HKU_LONG, HKEY_USERS},          {STR_HKU_SHORT, HKEY_USERS},
};

// Shortest registry byte count accepted: a directory of 4 characters and its NUL.
#define MIN_VALUE_SIZE 5

// Reads the value of a reference in `reference` (a copy; it is cut apart) into
// defaultDirText and returns the byte count the registry gave, 0 when none.
static DWORD ReadRegistryDir(char *reference) {
    const char *subdir = 0;
    int bar = FindLastChar(reference, '|');
    if (bar >= 0) {
        reference[bar] = 0;
        subdir = reference + bar + 1;
    }
    // Root, key path and value name need two "\"; fewer gives no lookup.
    int last = FindLastChar(reference, '\\');
    int first = FindFirstChar(reference, '\\');
    if (first == last) return 0;  // also when there is none at all
    reference[last] = 0;
    reference[first] = 0;
    const char *keyPath = reference + first + 1;
    const char *valueName = reference + last + 1;

    HKEY hive = 0;
    for (const RegistryRoot &root : registryRoots)
        if (TextEqual(reference, root.name, false)) hive = root.hive;
    HKEY key;
    if (!hive || RegOpenKeyExA(hive, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;

    // Only text values name a directory: REG_SZ as it stands, REG_EXPAND_SZ
    // with its %variables% expanded (as in "%ProgramFiles%\App"). A value of
    // any other type is no value.
    DWORD size = 0;
    DWORD type = 0;
    if (RegQueryValueExA(key, valueName, 0, &type, 0, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        // The reported size is not trusted to hold a terminator, nor the second
        // read to fill the block: the text ends where the data read ends.
        char *data = size + 1 ? (char *)MemAlloc(size + 1) : 0;
        DWORD got = size;
        if (!data || RegQueryValueExA(key, valueName, 0, 0, (LPBYTE)data, &got) != ERROR_SUCCESS ||
            got > size)
            got = 0;
        size = got;
        if (data) {
            data[got] = 0;
            if (type == REG_SZ) {
                StringFromBuffer(defaultDirText, data, MAX_PATH);
            } else if (ExpandEnvironmentStringsA(data, defaultDirText, TEXT_BUFFER_SIZE) >
                       TEXT_BUFFER_SIZE) {
                size = 0;  // longer than a path: unusable
            }
            int semicolon = FindFirstChar(defaultDirText, ';');  // a list gives its first entry
            if (semicolon >= 0) defaultDirText[semicolon] = 0;
            MemFree(data);
        }
        int length = TextLength(defaultDirText);
        if (subdir && TextLength(subdir) + length + 2 < MAX_PATH) {
            AppendBackslash(defaultDirText);
            length = TextLength(defaultDirText);
            StringFromBuffer(defaultDirText + length, subdir, MAX_PATH - length);
        }
    } else {
        size = 0;
    }
    RegCloseKey(key);
    return size;
}

void ResolveDefaultDir() {
    bool useTemp = false;
    if (defaultDirText[0] == 'H' && defaultDirText[1] == 'K') {
        char reference[TEXT_BUFFER_SIZE];
        StringFromBuffer(reference, defaultDirText, MAX_PATH);
        useTemp = ReadRegistryDir(reference) < MIN_VALUE_SIZE;
    }
    if (useTemp || TextEqual(defaultDirText, DIR_TOKEN, false))
        GetTempPathA(MAX_PATH, defaultDirText);
}
