#include "kwinet/web/InetHandleTable.h"

#include <algorithm>
#include <limits>

namespace kwinet {

namespace {

HINTERNET MakeId(std::uint32_t slot, std::uint32_t generation) {
  return HINTERNET::FromValue((static_cast<std::uint64_t>(generation) << 32) | (static_cast<std::uint64_t>(slot) + 1));
}

}  // namespace

TInetHandleTable& TInetHandleTable::Global() {
  // Never destroyed: handles an application leaves open at exit stay as
  // they are instead of being torn down after libcurl.
  static auto* table = new TInetHandleTable();
  return *table;
}

HINTERNET TInetHandleTable::Add(std::unique_ptr<TInetNode> Node) {
  std::lock_guard lock(FMutex);
  std::uint32_t slot;
  if (!FFree.empty()) {
    slot = FFree.back();
    FFree.pop_back();
  } else {
    slot = static_cast<std::uint32_t>(FSlots.size());
    FSlots.emplace_back();
    // Closing never allocates: there is room for every slot to be free.
    FFree.reserve(FSlots.size());
  }
  TInetNode* node = Node.get();
  node->Id = MakeId(slot, FSlots[slot].Generation);
  if (node->Parent) node->Parent->Children.push_back(node);
  FSlots[slot].Node = std::move(Node);
  return node->Id;
}

TInetNode* TInetHandleTable::FindLocked(HINTERNET Handle) const {
  if (!Handle) return nullptr;
  const std::uint32_t slot = SlotOf(Handle);
  const auto generation = static_cast<std::uint32_t>(Handle.Value() >> 32);
  if (slot >= FSlots.size() || FSlots[slot].Generation != generation) return nullptr;
  return FSlots[slot].Node.get();
}

TInetNode* TInetHandleTable::Find(HINTERNET Handle) const {
  std::lock_guard lock(FMutex);
  return FindLocked(Handle);
}

void TInetHandleTable::CloseLocked(TInetNode* Node) {
  // Children first, while the parent they use is still whole.
  while (!Node->Children.empty()) CloseLocked(Node->Children.back());
  if (Node->Parent) {
    auto& siblings = Node->Parent->Children;
    siblings.erase(std::find(siblings.begin(), siblings.end(), Node));
  }
  const std::uint32_t slot = SlotOf(Node->Id);
  TSlot& s = FSlots[slot];
  std::unique_ptr<TInetNode> owned = std::move(s.Node);
  // A slot whose generations are spent is never handed out again.
  if (s.Generation < std::numeric_limits<std::uint32_t>::max()) {
    ++s.Generation;
    FFree.push_back(slot);
  }
  owned.reset();
}

bool TInetHandleTable::Close(HINTERNET Handle) noexcept {
  std::lock_guard lock(FMutex);
  TInetNode* node = FindLocked(Handle);
  if (!node) return false;
  CloseLocked(node);
  return true;
}

}  // namespace kwinet
