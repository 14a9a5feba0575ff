#include "kwinet/core/Slab.h"

#if defined(__SANITIZE_ADDRESS__)
#define KWI_SLAB_POISON 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KWI_SLAB_POISON 1
#endif
#endif
#ifdef KWI_SLAB_POISON
#include <sanitizer/asan_interface.h>
#endif

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

namespace kwinet {

namespace {

// A slab is aligned to its size, so a block finds its slab from its own
// address, with no header of its own.
constexpr std::size_t kSlabBytes = 64 * 1024;
constexpr std::size_t kAlign = 8;
// Blocks handed out are counted by the filling thread alone and settled
// when it moves on; until then the slab holds this many references, more
// than it can ever hand out, so frees on other threads never bring it to 0.
constexpr std::size_t kFilling = std::size_t(1) << 40;

struct alignas(16) Slab {
  std::atomic<std::size_t> Live{kFilling};
};

Slab* SlabOf(void* p) {
  return reinterpret_cast<Slab*>(reinterpret_cast<std::uintptr_t>(p) & ~(kSlabBytes - 1));
}

void Release(Slab* slab, std::size_t count) noexcept {
  if (slab->Live.fetch_sub(count, std::memory_order_acq_rel) == count) {
    slab->~Slab();
    std::free(slab);
  }
}

struct SlabCursor {
  Slab* Current = nullptr;
  char* Next = nullptr;
  char* End = nullptr;
  std::size_t Handed = 0;

  // The filling thread lets go of its slab: the slab now holds a reference
  // for each block still alive.
  void Settle() noexcept {
    if (Current) Release(std::exchange(Current, nullptr), kFilling - std::exchange(Handed, 0));
    Next = End = nullptr;
  }
  // A block asked for after this (by a static destructor) gets a slab of
  // its own.
  ~SlabCursor() { Settle(); }
};
thread_local SlabCursor tSlabCursor;

}  // namespace

void* SlabAllocate(std::size_t Size) {
  SlabCursor& cursor = tSlabCursor;
  const std::size_t slot = (Size + kAlign - 1) & ~(kAlign - 1);
  if (static_cast<std::size_t>(cursor.End - cursor.Next) < slot) {
    void* mem = std::aligned_alloc(kSlabBytes, kSlabBytes);
    if (!mem) throw std::bad_alloc();
    cursor.Settle();
    cursor.Current = new (mem) Slab;
    cursor.Next = static_cast<char*>(mem) + sizeof(Slab);
    cursor.End = static_cast<char*>(mem) + kSlabBytes;
  }
  char* p = cursor.Next;
  cursor.Next += slot;
  // Blocks are handed out in address order: the lines the next ones will
  // be written to are fetched while this one is filled. A prefetch past the
  // slab's end does no harm.
  __builtin_prefetch(cursor.Next + 256, 1);
  ++cursor.Handed;
  return p;
}

void SlabFree(void* P, std::size_t Size) noexcept {
  if (!P) return;
#ifdef KWI_SLAB_POISON
  // A block is never handed out again: the sanitizer can catch any use of a
  // freed one until its slab goes.
  ASAN_POISON_MEMORY_REGION(P, Size);
#else
  (void)Size;
#endif
  Release(SlabOf(P), 1);
}

}  // namespace kwinet
