// Stand-in registry (advapi32): keys and values held in memory, filled by tests
// through standin::RegistrySet. Key paths and value names compare without case;
// setting a value makes its key and every key above it exist.
#include "platform/posix/internal.h"

#include <string.h>

#include <map>
#include <set>

namespace standin_detail {

namespace {

struct RegistryState {
    std::set<std::string> keys;  // "<root>\\path", lower case
    std::map<std::string, std::map<std::string, std::pair<std::string, DWORD>>> values;  // key -> name -> data, type
    std::map<uintptr_t, std::string> open;                // open handles -> key
    uintptr_t next = 0x30000;
};

RegistryState &S() {
    static RegistryState s;
    return s;
}

bool IsRoot(uintptr_t key) {
    return key >= (uintptr_t)HKEY_CLASSES_ROOT && key <= (uintptr_t)HKEY_USERS;
}

// The canonical name of the key `subKey` below `key`, or "" when `key` is no
// root and no open handle, or the path is malformed.
std::string KeyName(HKEY key, const char *subKey) {
    std::string base;
    uintptr_t k = (uintptr_t)key;
    if (IsRoot(k)) {
        base = std::to_string(k - (uintptr_t)HKEY_CLASSES_ROOT);
    } else {
        auto it = S().open.find(k);
        if (it == S().open.end()) return "";
        base = it->second;
    }
    if (!subKey) return base;
    std::string path = Lower(subKey);
    if (!path.empty() && path.back() == '\\') path.pop_back();
    if (path.empty()) return base;
    if (path[0] == '\\' || path.find("\\\\") != std::string::npos) return "";
    return base + "\\" + path;
}

}  // namespace

void ResetRegistry() {
    RegistryState &s = S();
    s.keys.clear();
    s.values.clear();
    s.open.clear();
}

}  // namespace standin_detail

using namespace standin_detail;

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM sam, PHKEY result) {
    std::string name = KeyName(key, subKey);
    if (name.empty()) return ERROR_INVALID_HANDLE;
    bool isRoot = name.find('\\') == std::string::npos;
    if (!isRoot && !S().keys.count(name)) return ERROR_FILE_NOT_FOUND;
    uintptr_t h = S().next;
    S().next += 4;
    S().open[h] = name;
    *result = (HKEY)h;
    return ERROR_SUCCESS;
}

// The program asks for the size and the type (no buffer), then for the data. A
// buffer too small gets nothing.
LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                         LPBYTE data, LPDWORD size) {
    std::string name = KeyName(key, nullptr);
    if (name.empty()) return ERROR_INVALID_HANDLE;
    auto k = S().values.find(name);
    if (k == S().values.end()) return ERROR_FILE_NOT_FOUND;
    auto v = k->second.find(Lower(valueName ? valueName : ""));
    if (v == k->second.end()) return ERROR_FILE_NOT_FOUND;
    DWORD n = (DWORD)v->second.first.size(), room = *size;
    *size = n;
    if (type) *type = v->second.second;
    if (!data) return ERROR_SUCCESS;
    if (room < n) return ERROR_MORE_DATA;
    memcpy(data, v->second.first.data(), n);
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
    uintptr_t k = (uintptr_t)key;
    if (IsRoot(k)) return ERROR_SUCCESS;
    return S().open.erase(k) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

namespace standin {

void RegistrySet(HKEY root, const std::string &keyPath, const std::string &valueName,
                 const std::string &data, bool addTerminator, DWORD type) {
    std::string name = KeyName(root, keyPath.c_str());
    if (name.empty()) return;
    for (size_t p = name.find('\\'); p != std::string::npos; p = name.find('\\', p + 1))
        S().keys.insert(name.substr(0, p));
    S().keys.insert(name);
    std::string bytes = data;
    if (addTerminator) bytes.push_back('\0');
    S().values[name][Lower(valueName)] = {bytes, type};
}

}  // namespace standin
