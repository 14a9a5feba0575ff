// Internal to the XML engine; no public header includes it.
//
// Memory for node texts and child lists: small blocks from the slabs, larger
// ones from malloc (so that a long list can grow with realloc).
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

#include "kwinet/core/Slab.h"

namespace kwinet::xml {

inline void* AllocateBytes(std::size_t Size) {
  if (Size <= SlabLargest) return SlabAllocate(Size);
  void* p = std::malloc(Size);
  if (!p) throw std::bad_alloc();
  return p;
}

// Size must be the one the block was allocated with.
inline void FreeBytes(void* P, std::size_t Size) noexcept {
  if (Size <= SlabLargest)
    SlabFree(P, Size);
  else
    std::free(P);
}

// Whether a block of Size bytes came from malloc, and so may be realloc'ed.
inline bool HeapBlock(std::size_t Size) {
  return Size > SlabLargest;
}

}  // namespace kwinet::xml
