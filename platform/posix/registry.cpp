// Stand-in registry (advapi32): keys and values held in memory, filled by tests
// through standin::RegistrySet. Key paths and value names compare without case;
// setting a value makes its key and every key above it exist.
#include "platform/posix/internal.h"

#include <string.h>

#include <map>
#include <set>

namespace standin_detail {

namespace {

const LSTATUS ERROR_INVALID_HANDLE_ = 6;
const LSTATUS ERROR_INVALID_PARAMETER_ = 87;

struct Value {
    std::string data;
    DWORD type;
};

struct RegistryState {
    std::set<std::string> keys;                            // "<root>\\path", lower case
    std::map<std::string, std::map<std::string, Value>> values;  // key -> name -> value
    std::map<uintptr_t, std::string> open;                // open handles -> key
    uintptr_t next = 0x30000;
};

RegistryState &S() {
    static RegistryState s;
    return s;
}

// The canonical name of the key `subKey` below `key`, or "" when `key` is no
// root and no open handle, or the path is malformed.
std::string KeyName(HKEY key, const char *subKey) {
    std::string base;
    uintptr_t k = (uintptr_t)key;
    if (k >= 0x80000000u && k <= 0x80000003u) {
        base = std::to_string(k - 0x80000000u);
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
    if (name.empty()) return ERROR_INVALID_HANDLE_;
    bool isRoot = name.find('\\') == std::string::npos;
    if (!isRoot && !S().keys.count(name)) return ERROR_FILE_NOT_FOUND;
    uintptr_t h = S().next;
    S().next += 4;
    S().open[h] = name;
    *result = (HKEY)h;
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                         LPBYTE data, LPDWORD size) {
    std::string name = KeyName(key, nullptr);
    if (name.empty()) return ERROR_INVALID_HANDLE_;
    auto k = S().values.find(name);
    if (k == S().values.end()) return ERROR_FILE_NOT_FOUND;
    auto v = k->second.find(Lower(valueName ? valueName : ""));
    if (v == k->second.end()) return ERROR_FILE_NOT_FOUND;
    if (data && !size) return ERROR_INVALID_PARAMETER_;
    if (type) *type = v->second.type;
    DWORD n = (DWORD)v->second.data.size();
    if (!data) {
        if (size) *size = n;
        return ERROR_SUCCESS;
    }
    if (*size < n) {
        *size = n;
        return ERROR_MORE_DATA;
    }
    memcpy(data, v->second.data.data(), n);
    *size = n;
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
    uintptr_t k = (uintptr_t)key;
    if (k >= 0x80000000u && k <= 0x80000003u) return ERROR_SUCCESS;
    return S().open.erase(k) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE_;
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
    S().values[name][Lower(valueName)] = Value{bytes, type};
}

}  // namespace standin
