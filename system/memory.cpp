// Aligned heap blocks over posix_memalign.
#include "system/memory.h"

#include <cstdint>
#include <cstdlib>

#include "utility/log.h"

void* AlignedAlloc(size_t size, size_t alignment) {
  if (alignment == 0 || (alignment & (alignment - 1)) != 0) {
    LOGE("AlignedAlloc: alignment %zu is not a power of two", alignment);
    return nullptr;
  }
  // posix_memalign wants at least pointer alignment; smaller ones are met by it anyway.
  if (alignment < sizeof(void*)) alignment = sizeof(void*);
  // A size that wrapped around in the caller's arithmetic is no request to honour.
  if (size > static_cast<size_t>(PTRDIFF_MAX)) {
    LOGE("AlignedAlloc: %zu bytes is more than can exist", size);
    return nullptr;
  }
  // A zero-byte request still gets a distinct block, so a null result always means failure.
  void* block = nullptr;
  if (posix_memalign(&block, alignment, size ? size : 1) != 0) {
    LOGE("AlignedAlloc: out of memory for %zu bytes at alignment %zu", size, alignment);
    return nullptr;
  }
  return block;
}

void AlignedFree(void* block) { free(block); }
