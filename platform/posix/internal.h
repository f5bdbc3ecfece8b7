// Shared internals of the POSIX stand-in (platform/posix/*.cpp only).
//
// The stand-in is a set of small modules by concern; each keeps its state in a
// function-local static so that nothing depends on the order of static
// initialisation, and each offers a Reset hook that standin::Reset() calls.
#pragma once
#include "platform/posix/standin.h"

#include <string>
#include <vector>

namespace standin_detail {

// ---- paths (paths.cpp) ---------------------------------------------------------
// A program path resolved against the drive map and the virtual current directory.
struct ResolvedPath {
    std::string host;                     // host path ("/" separators, no trailing "/")
    std::vector<std::string> components;  // below the drive root, "." and ".." folded
    char drive = 0;                       // drive letter as written (or of the cwd)
    bool trailingSeparator = false;       // the text ended in "\" or "/"
    bool isRoot() const { return components.empty(); }
};
// Turns `path` into a host path. Fails (false) for an empty text, an unmapped
// drive, a UNC name, or a component holding a character Windows refuses in names
// ("?" and "*" are accepted in the last component only when `wildcardsInLast`).
bool Resolve(const char *path, ResolvedPath &out, bool wildcardsInLast = false,
             bool checkNames = true);
// Windows form of a resolved path: "C:\dir\sub" (root: "C:\").
std::string WindowsForm(char drive, const std::vector<std::string> &components);
void ResetPaths();

// ---- files (files.cpp) -----------------------------------------------------------
void ResetFiles();

// ---- heap (heap.cpp) -------------------------------------------------------------
void ResetHeap();

// ---- registry (registry.cpp) -----------------------------------------------------
void ResetRegistry();

// ---- kernel32 odds and ends (kernel32.cpp) ---------------------------------------
void ResetKernel();

// ---- windows (user32*.cpp) ---------------------------------------------------------
void ResetWindows();
void ResetMessageBoxes();

// ---- shell (shell32.cpp) -----------------------------------------------------------
void ResetShell();

// Copies `text` into a caller's buffer of `size` bytes the way the Get...A calls of
// kernel32 do: returns the length when it fits (with its NUL), else the size needed
// including the NUL, leaving the buffer untouched.
DWORD CopyOut(const std::string &text, LPSTR buffer, DWORD size);

// ASCII case folding as the ANSI calls of the stand-in use it.
std::string Lower(const std::string &s);
bool EqualNoCase(const std::string &a, const std::string &b);

}  // namespace standin_detail
