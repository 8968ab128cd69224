#include "packer/system/large_buffer.h"

#include "packer/system/platform.h"

void ReserveLarge(std::vector<uint8_t>* buffer, size_t size)
{
    buffer->reserve(size);
    // Only the whole huge pages inside the allocation.
    const uintptr_t huge = 2u << 20;
    uintptr_t begin = ((uintptr_t)buffer->data() + huge - 1) & ~(huge - 1);
    uintptr_t end = ((uintptr_t)buffer->data() + buffer->capacity()) & ~(huge - 1);
    if (end > begin)
        AdviseHugePages((void*)begin, end - begin);
}
