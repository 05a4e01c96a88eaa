// Heap blocks at a chosen alignment, for work buffers read with wide vector loads.
#pragma once

#include <cstddef>

// A block of at least size bytes whose address is a multiple of alignment (a power of two).
// Null, with a log line, when out of memory or for an alignment that is not a power of two.
void* AlignedAlloc(size_t size, size_t alignment);
// Frees a block of AlignedAlloc; null is ignored.
void AlignedFree(void* block);
