// Room for a buffer of many megabytes, asked of the kernel in huge pages where
// it has them: filling 4 KiB pages one fault at a time costs more than
// packing a stored member.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <vector>

void ReserveLarge(std::vector<uint8_t>* buffer, size_t size);
