// OpaqueValue: hands a value through unchanged while hiding it from the
// optimiser, so that a value assembled at run time is not folded back into a
// constant of the image. Used for the local-header signature, whose four bytes
// must not occur anywhere in the stub.
#pragma once
#include "platform/win32.h"

inline DWORD OpaqueValue(DWORD value) {
    __asm__("" : "+r"(value));
    return value;
}
