// The few C library functions the stub's code calls, or the compiler calls for
// it, when there is no C runtime. Built without loop-to-call rewriting, so
// that none of them calls itself.
#include <stddef.h>

extern "C" {

void* memcpy(void* destination, const void* source, size_t count)
{
    unsigned char* to = (unsigned char*)destination;
    const unsigned char* from = (const unsigned char*)source;
    while (count-- != 0)
        *to++ = *from++;
    return destination;
}

void* memset(void* destination, int value, size_t count)
{
    unsigned char* to = (unsigned char*)destination;
    while (count-- != 0)
        *to++ = (unsigned char)value;
    return destination;
}

int memcmp(const void* left, const void* right, size_t count)
{
    const unsigned char* a = (const unsigned char*)left;
    const unsigned char* b = (const unsigned char*)right;
    for (; count != 0; --count, ++a, ++b) {
        if (*a != *b)
            return *a - *b;
    }
    return 0;
}

void* memchr(const void* memory, int value, size_t count)
{
    const unsigned char* p = (const unsigned char*)memory;
    for (; count != 0; --count, ++p) {
        if (*p == (unsigned char)value)
            return (void*)p;
    }
    return NULL;
}

size_t strlen(const char* text)
{
    const char* end = text;
    while (*end != '\0')
        ++end;
    return end - text;
}

}
