#include "packer/large_buffer.h"

#include <sys/mman.h>

void ReserveLarge(std::vector<uint8_t>* buffer, size_t size)
{
    buffer->reserve(size);
#ifdef MADV_HUGEPAGE
    // Only the whole huge pages inside the allocation; failure just leaves small pages.
    const uintptr_t huge = 2u << 20;
    uintptr_t begin = ((uintptr_t)buffer->data() + huge - 1) & ~(huge - 1);
    uintptr_t end = ((uintptr_t)buffer->data() + buffer->capacity()) & ~(huge - 1);
    if (end > begin)
        madvise((void*)begin, end - begin, MADV_HUGEPAGE);
#endif
}
