// Process-heap allocation for the whole program (see memory.h).
#include "platform/memory.h"

void *MemAlloc(DWORD size) { return HeapAlloc(GetProcessHeap(), 0, size); }

void MemFree(void *block) {
    if (block) HeapFree(GetProcessHeap(), 0, block);
}
