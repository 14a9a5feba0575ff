// Bump allocation of small blocks from shared 64 KB slabs, cut from groups
// of a megabyte. A large XML tree has millions of nodes, lists and texts;
// one heap block each made building and freeing the tree mostly a matter of
// malloc and free.
//
// Blocks are handed out in order; a block freed by the thread still filling
// its slab goes on a free list for its size and is handed out again first,
// so objects made and freed by turns reuse the same blocks. Other blocks are
// not reused: a slab goes back to its group as soon as its last block is
// freed (and no thread is still filling it), and a group goes back to malloc
// with its last slab, so a freed tree leaves nothing behind but the group
// the thread is filling. Blocks may be freed on any thread. Larger sizes
// than SlabLargest are for the heap. Internal to the library: not installed.
#pragma once

#include <cstddef>

namespace kwinet {

inline constexpr std::size_t SlabLargest = 1024;

// Size at most SlabLargest; aligned for pointers and 64-bit integers. Size
// must be passed again to SlabFree.
void* SlabAllocate(std::size_t Size);
void SlabFree(void* P, std::size_t Size) noexcept;

}  // namespace kwinet
