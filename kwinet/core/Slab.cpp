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

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace kwinet {

namespace {

// A slab is aligned to its size, so a block finds its slab from its own
// address, with no header of its own. Slabs are cut from groups that malloc
// hands out whole: asking malloc for each aligned slab on its own left a
// fragment on either side of each, and with malloc's thresholds fixed by
// the application every slab became a mapping of its own.
constexpr std::size_t kSlabBytes = 64 * 1024;
constexpr std::size_t kGroupBytes = 1024 * 1024;
constexpr std::size_t kAlign = 8;
// Slabs and groups count what the filling thread hands out without atomics
// and settle the count when it moves on; until then they hold this many
// references, more than they can ever hand out, so frees on other threads
// never bring them to 0.
constexpr std::size_t kFilling = std::size_t(1) << 40;

struct Group {
  std::atomic<std::size_t> Live{kFilling};  // slabs
  void* Memory = nullptr;
};

struct alignas(16) Slab {
  std::atomic<std::size_t> Live{kFilling};  // blocks
  Group* Owner = nullptr;
};

void ReleaseGroup(Group* group, std::size_t count) noexcept {
  if (group->Live.fetch_sub(count, std::memory_order_acq_rel) == count) {
    std::free(group->Memory);
    delete group;
  }
}

void ReleaseSlab(Slab* slab, std::size_t count) noexcept {
  if (slab->Live.fetch_sub(count, std::memory_order_acq_rel) == count) {
    Group* group = slab->Owner;
    slab->~Slab();
    ReleaseGroup(group, 1);
  }
}

struct SlabCursor {
  Group* CurrentGroup = nullptr;
  char* NextSlab = nullptr;  // the group's slabs not handed out yet
  char* GroupEnd = nullptr;
  std::size_t SlabsHanded = 0;

  Slab* Current = nullptr;
  char* Next = nullptr;
  char* End = nullptr;
  std::size_t Handed = 0;  // blocks of Current live from this thread's view

  // Blocks of Current that this thread freed, one list per size (in units
  // of kAlign), handed out again before Current's unused space: a program
  // that makes and frees objects by turns keeps reusing the same few blocks,
  // so the few it keeps end up side by side instead of one per slab. Frees
  // on other threads, and of blocks in slabs already left, only count.
  void* Free[SlabLargest / kAlign + 1] = {};
  bool AnyFree = false;

  void SettleSlab() noexcept {
    if (Current) ReleaseSlab(std::exchange(Current, nullptr), kFilling - std::exchange(Handed, 0));
    Next = End = nullptr;
    if (std::exchange(AnyFree, false)) std::memset(Free, 0, sizeof Free);
  }
  void SettleGroup() noexcept {
    if (CurrentGroup) ReleaseGroup(std::exchange(CurrentGroup, nullptr), kFilling - std::exchange(SlabsHanded, 0));
    NextSlab = GroupEnd = nullptr;
  }
  void NewSlab() {
    if (NextSlab == GroupEnd) {
      auto group = std::make_unique<Group>();
      group->Memory = std::malloc(kGroupBytes);
      if (!group->Memory) throw std::bad_alloc();
      const auto start = reinterpret_cast<std::uintptr_t>(group->Memory);
      const auto first = (start + kSlabBytes - 1) & ~(kSlabBytes - 1);
      SettleGroup();
      CurrentGroup = group.release();
      NextSlab = reinterpret_cast<char*>(first);
      GroupEnd = NextSlab + (start + kGroupBytes - first) / kSlabBytes * kSlabBytes;
    }
    SettleSlab();
    Current = new (NextSlab) Slab;
    Current->Owner = CurrentGroup;
    ++SlabsHanded;
    Next = NextSlab + sizeof(Slab);
    End = NextSlab + kSlabBytes;
    NextSlab = End;
  }
  // A block asked for after this (by a static destructor) gets slabs of
  // their own.
  ~SlabCursor() {
    SettleSlab();
    SettleGroup();
  }
};
thread_local SlabCursor tSlabCursor;

std::size_t SlotOf(std::size_t Size) noexcept {
  return (std::max<std::size_t>(Size, 1) + kAlign - 1) & ~(kAlign - 1);
}

}  // namespace

void* SlabAllocate(std::size_t Size) {
  SlabCursor& cursor = tSlabCursor;
  const std::size_t slot = SlotOf(Size);
  if (void* p = cursor.Free[slot / kAlign]) {
#ifdef KWI_SLAB_POISON
    ASAN_UNPOISON_MEMORY_REGION(p, slot);
#endif
    cursor.Free[slot / kAlign] = *static_cast<void**>(p);
    ++cursor.Handed;
    return p;
  }
  if (static_cast<std::size_t>(cursor.End - cursor.Next) < slot) cursor.NewSlab();
  char* p = cursor.Next;
  cursor.Next += slot;
  ++cursor.Handed;
  // Blocks are handed out in address order: the lines the next ones will
  // be written to are fetched while this one is filled. A prefetch past the
  // slab's end does no harm.
  __builtin_prefetch(cursor.Next + 256, 1);
  return p;
}

void SlabFree(void* P, std::size_t Size) noexcept {
  if (!P) return;
  auto* slab = reinterpret_cast<Slab*>(reinterpret_cast<std::uintptr_t>(P) & ~(kSlabBytes - 1));
  SlabCursor& cursor = tSlabCursor;
  if (slab == cursor.Current) {
    const std::size_t slot = SlotOf(Size);
    *static_cast<void**>(P) = cursor.Free[slot / kAlign];
    cursor.Free[slot / kAlign] = P;
    cursor.AnyFree = true;
    --cursor.Handed;
#ifdef KWI_SLAB_POISON
    // Until it is handed out again the sanitizer catches any use of it.
    ASAN_POISON_MEMORY_REGION(P, slot);
#endif
    return;
  }
#ifdef KWI_SLAB_POISON
  // Never handed out again: the sanitizer catches any use of it until its
  // slab goes.
  ASAN_POISON_MEMORY_REGION(P, Size);
#endif
  ReleaseSlab(slab, 1);
}

}  // namespace kwinet
