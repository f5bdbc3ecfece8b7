// What the two benchmarks share: the wall clock, the failure exit and the check
// of the command line, with the benchmark's name in every message.
#pragma once
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace bench {

// The benchmark's name in its messages; Start sets it.
inline std::string name = "bench";

inline double WallTime() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

[[noreturn]] inline void Fail(const std::string &what) {
    std::fprintf(stderr, "%s: %s\n", name.c_str(), what.c_str());
    std::exit(1);
}

// main's first step: the name, and the usage line (exit status 2) unless at
// least `needed` arguments follow the program's own.
inline void Start(const char *benchName, int argc, int needed, const char *arguments) {
    name = benchName;
    if (argc - 1 >= needed) return;
    std::fprintf(stderr, "usage: %s %s\n", benchName, arguments);
    std::exit(2);
}

}  // namespace bench
