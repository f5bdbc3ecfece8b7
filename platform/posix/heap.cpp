// Stand-in process heap: HeapAlloc/HeapFree over malloc, with a count of live
// blocks and a fault switch that makes one chosen allocation fail.
//
// Blocks remember the Reset generation they were made in, so blocks a previous
// test leaked neither count for the next test nor trip it when they are freed.
// Freeing a block the heap never handed out aborts: on Windows that corrupts the
// heap, and a loud stop is the useful answer in a test.
#include "platform/posix/internal.h"

#include <stdio.h>
#include <stdlib.h>

#include <unordered_map>

namespace standin_detail {

namespace {

struct HeapState {
    std::unordered_map<void *, unsigned> blocks;  // block -> generation
    unsigned generation = 1;
    long live = 0;      // blocks of this generation not yet freed
    int failAfter = -1;  // allocations to let pass before one fails; -1: none
};

HeapState &S() {
    static HeapState s;
    return s;
}

const uintptr_t PROCESS_HEAP = 0x9000;

}  // namespace

void ResetHeap() {
    HeapState &s = S();
    s.generation++;
    s.live = 0;
    s.failAfter = -1;
}

}  // namespace standin_detail

using namespace standin_detail;

HANDLE GetProcessHeap(void) { return (HANDLE)PROCESS_HEAP; }

LPVOID HeapAlloc(HANDLE heap, DWORD flags, size_t bytes) {
    HeapState &s = S();
    if (s.failAfter >= 0 && s.failAfter-- == 0) return nullptr;
    void *p = malloc(bytes ? bytes : 1);  // the program asks for no flags
    if (!p) return nullptr;
    s.blocks[p] = s.generation;
    s.live++;
    return p;
}

BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID mem) {
    HeapState &s = S();
    if (!mem) return TRUE;
    auto it = s.blocks.find(mem);
    if (it == s.blocks.end()) {
        fprintf(stderr, "stand-in: HeapFree of a block the heap does not own (%p)\n", mem);
        abort();
    }
    if (it->second == s.generation) s.live--;
    s.blocks.erase(it);
    free(mem);
    return TRUE;
}

namespace standin {

void FailAllocationAfter(int n) { S().failAfter = n; }
long LiveAllocations() { return S().live; }

}  // namespace standin
