// The program's one allocator: blocks from the process heap.
// Every buffer, table and text block of the program comes from here, so that the
// stand-in heap of platform/posix can make any allocation fail on demand in tests.
#pragma once
#include "platform/win32.h"

// Returns a block of `size` bytes, or null when the heap has none.
void *MemAlloc(DWORD size);
// Releases a block from MemAlloc; a null pointer is ignored.
void MemFree(void *block);
