// Stand-in shell32: ShellExecuteA (recorded, never run) and the folder browser.
#include "platform/posix/internal.h"

namespace standin_detail {

namespace {

struct ShellState {
    std::vector<standin::ShellExecuteRecord> executes;
    std::string browseChoice;
    bool browsePressNew = false;
};

ShellState &S() {
    static ShellState s;
    return s;
}

}  // namespace

void ResetShell() {
    S().executes.clear();
    S().browseChoice.clear();
    S().browsePressNew = false;
}

}  // namespace standin_detail

using namespace standin_detail;

HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR params, LPCSTR dir,
                        int show) {
    char cwd[MAX_PATH + 1];
    GetCurrentDirectoryA(sizeof cwd, cwd);
    S().executes.push_back(standin::ShellExecuteRecord{owner, verb ? verb : "", file ? file : "",
                                                       params ? params : "", dir ? dir : "",
                                                       show, cwd});
    return (HINSTANCE)(uintptr_t)42;  // above 32: success
}

// STAGE-1 STUBS (folder browser follows)
LPITEMIDLIST SHBrowseForFolderA(LPBROWSEINFOA info) { return nullptr; }
BOOL SHGetPathFromIDListA(LPCITEMIDLIST pidl, LPSTR path) { return FALSE; }
HRESULT SHGetMalloc(LPMALLOC *malloc) { return (HRESULT)0x80004005L; }

namespace standin {

const std::vector<ShellExecuteRecord> &ShellExecutes() { return S().executes; }

void SetBrowseChoice(const std::string &path, bool pressNew) {
    S().browseChoice = path;
    S().browsePressNew = pressNew;
}

}  // namespace standin
