// What the compiler may call in place of the C runtime, for the stub build only:
// GCC emits memcpy/memset/memmove for struct copies and block moves even with no
// library linked. "rep movsb/stosb" is both the smallest and, on current
// processors, a fast way to move bytes.
#include <stddef.h>

extern "C" {

void *memcpy(void *dst, const void *src, size_t n) {
    void *d = dst;
    __asm__ volatile("rep movsb" : "+D"(d), "+S"(src), "+c"(n) : : "memory");
    return dst;
}

void *memmove(void *dst, const void *src, size_t n) {
    unsigned char *d = (unsigned char *)dst;
    const unsigned char *s = (const unsigned char *)src;
    if (d <= s || d >= s + n) return memcpy(dst, src, n);
    // Overlapping with the target above the source: copy downward.
    d += n - 1;
    s += n - 1;
    __asm__ volatile("std\n\trep movsb\n\tcld" : "+D"(d), "+S"(s), "+c"(n) : : "memory");
    return dst;
}

void *memset(void *dst, int c, size_t n) {
    void *d = dst;
    __asm__ volatile("rep stosb" : "+D"(d), "+c"(n) : "a"(c) : "memory");
    return dst;
}

}  // extern "C"
