#include "kwinet/xml/KwXMLItems.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "kwinet/xml/KwInetXML.h"
#include "kwinet/xml/XmlBlocks.h"

namespace kwinet {

using xml::AllocateBytes;
using xml::FreeBytes;
using xml::HeapBlock;

namespace {

// The node whose list is being added to by AddItem: its components gain a
// node that the list is to hold.
thread_local const TKwXMLItem* tAddingTo = nullptr;

}  // namespace

TKwXMLItems::~TKwXMLItems() {
  Clear();
  Release();
}

void TKwXMLItems::Release() {
  if (Own* own = Storage()) FreeBytes(own, sizeof(Own) + own->Capacity * sizeof(TKwXMLItem*));
  FBits = 0;
}

int TKwXMLItems::Count() const {
  if (const TKwXMLItem* node = Mirrored()) return node->ComponentCount();
  const Own* own = Storage();
  return own ? static_cast<int>(own->Count) : 0;
}

TKwXMLItem* TKwXMLItems::At(int Index) const {
  if (const TKwXMLItem* node = Mirrored()) return static_cast<TKwXMLItem*>(node->ComponentAt(Index));
  return Storage()->Items()[Index];
}

void TKwXMLItems::Detach(bool WithoutLast) {
  TKwXMLItem* node = Mirrored();
  if (!node) return;
  const int count = node->ComponentCount() - (WithoutLast ? 1 : 0);
  FBits = 0;
  for (int i = 0; i < count; ++i) PushBack(static_cast<TKwXMLItem*>(node->ComponentAt(i)));
}

void TKwXMLItems::PushBack(TKwXMLItem* Item) {
  Own* own = Storage();
  if (!own || own->Count == own->Capacity) {
    const std::uint32_t oldCapacity = own ? own->Capacity : 0;
    if (oldCapacity > std::numeric_limits<std::int32_t>::max() / 2) throw std::bad_alloc();  // Count() is an int
    const std::uint32_t capacity = oldCapacity ? oldCapacity * 2 : 4;
    const std::size_t bytes = sizeof(Own) + capacity * sizeof(TKwXMLItem*);
    const std::size_t oldBytes = sizeof(Own) + oldCapacity * sizeof(TKwXMLItem*);
    Own* grown;
    if (own && HeapBlock(oldBytes)) {
      // A long list grows by remapping, not by copying.
      grown = static_cast<Own*>(std::realloc(own, bytes));
      if (!grown) throw std::bad_alloc();
    } else {
      grown = static_cast<Own*>(AllocateBytes(bytes));
      grown->Count = 0;
      if (own) {
        grown->Count = own->Count;
        std::memcpy(grown->Items(), own->Items(), own->Count * sizeof(TKwXMLItem*));
        FreeBytes(own, oldBytes);
      }
    }
    grown->Capacity = capacity;
    own = grown;
    FBits = reinterpret_cast<std::uintptr_t>(own);
  }
  own->Items()[own->Count++] = Item;
}

TKwXMLItem* TKwXMLItems::AddItem(TKwXMLItem* ParentItem) {
  if (Mirrored() && Mirrored() != ParentItem) Detach(false);  // a node of another parent
  if (Mirrored()) {
    // The node arrives in the parent's components, which this list reads.
    struct Adding {
      explicit Adding(const TKwXMLItem* Node) { tAddingTo = Node; }
      ~Adding() { tAddingTo = nullptr; }
    } adding(ParentItem);
    return new TKwXMLItem(ParentItem, TKwXMLItem::ChildTag{});
  }
  std::unique_ptr<TKwXMLItem> node(ParentItem ? new TKwXMLItem(ParentItem, TKwXMLItem::ChildTag{})
                                              : new TKwXMLItem(nullptr));
  PushBack(node.get());
  return node.release();
}

void TKwXMLItems::Clear() {
  // Walk down to the last leaf, free it, and go on from its parent's list:
  // no recursion, and each node leaves its list from the back.
  std::vector<TKwXMLItems*> path{this};
  while (!path.empty()) {
    TKwXMLItems* list = path.back();
    const int count = list->Count();
    if (count == 0) {
      path.pop_back();
      continue;
    }
    TKwXMLItem* last = list->At(count - 1);
    if (last->FItems.Count() > 0) {
      path.push_back(&last->FItems);
      continue;
    }
    // A node leaves its parent's list (or the components that list reads)
    // on destruction; one added to a foreign list must be taken out here.
    if (!last->FParentItem || &last->FParentItem->FItems != list) --list->Storage()->Count;
    delete last;
  }
}

TKwXMLItem* TKwXMLItems::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(u"List index out of bounds (%d)", {Index});
  return At(Index);
}

int TKwXMLItems::IndexOf(const TKwXMLItem* Item) const {
  const int count = Count();
  for (int i = 0; i < count; ++i)
    if (At(i) == Item) return i;
  return -1;
}

void TKwXMLItems::RemoveFromBack(const TKwXMLItem* Item) {
  Own* own = Storage();
  if (!own) return;  // a node leaves the components that the list reads by itself
  TKwXMLItem** items = own->Items();
  for (std::uint32_t i = own->Count; i-- > 0;)
    if (items[i] == Item) {
      std::memmove(items + i, items + i + 1, (own->Count - i - 1) * sizeof(TKwXMLItem*));
      --own->Count;
      return;
    }
}

// The node's side of the list that reads its components: defined here, with
// the marker that AddItem sets.
void TKwXMLItem::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (!FItems.Mirrored()) return;
  if (Operation == opInsert) {
    // Arrived some other way than through this node's own list.
    if (tAddingTo != this) FItems.Detach(true);
  } else if (AComponent->Owner() == this && !AComponent->Destroying()) {
    // Given to another owner, it stays in the list.
    FItems.Detach(false);
  }
}

}  // namespace kwinet
