/// @file
/// The list of an XML node's children.
#pragma once

#include <cstdint>

namespace kwinet {

class TKwXMLItem;

/// A list of nodes that owns them: clearing or destroying it frees every node
/// in it with its whole subtree.
///
/// A node's own list usually holds exactly the nodes the node owns, in the
/// same order: then it keeps nothing of its own and reads the node's owned
/// components. It takes a copy of them the first time the two would differ
/// (a node added to a list of another parent, a component given to the node
/// in another way, one taken from it without being freed).
class TKwXMLItems {
 public:
  TKwXMLItems() = default;
  TKwXMLItems(const TKwXMLItems&) = delete;
  TKwXMLItems& operator=(const TKwXMLItems&) = delete;
  ~TKwXMLItems();

  /// Creates a node owned by ParentItem (which may be nullptr), one level
  /// below it, and appends it to this list.
  TKwXMLItem* AddItem(TKwXMLItem* ParentItem);
  /// Frees the nodes from the last to the first. Works without recursion, so
  /// a tree of any depth can be freed.
  void Clear();

  /// The number of nodes.
  int Count() const;
  TKwXMLItem* Items(int Index) const;  ///< EListError when out of range
  /// Items.
  TKwXMLItem* operator[](int Index) const { return Items(Index); }
  /// The position of Item, -1 when it is not in the list.
  int IndexOf(const TKwXMLItem* Item) const;

  /// Iterates over the nodes, in order.
  class TIterator {
   public:
    /// At Index of List.
    TIterator(const TKwXMLItems* List, int Index) : FList(List), FIndex(Index) {}
    /// The node.
    TKwXMLItem* operator*() const { return FList->At(FIndex); }
    /// To the next node.
    TIterator& operator++() {
      ++FIndex;
      return *this;
    }
    /// The same position of the same list.
    bool operator==(const TIterator&) const = default;

   private:
    const TKwXMLItems* FList;
    int FIndex;
  };
  ///@{
  /// Iteration over the nodes.
  TIterator begin() const { return {this, 0}; }
  TIterator end() const { return {this, Count()}; }
  ///@}

 private:
  friend class TKwXMLItem;
  friend class TKwXMLEngine;
  struct Own {
    std::uint32_t Count, Capacity;
    TKwXMLItem** Items() { return reinterpret_cast<TKwXMLItem**>(this + 1); }
  };
  explicit TKwXMLItems(TKwXMLItem* Node) : FBits(reinterpret_cast<std::uintptr_t>(Node) | 1) {}
  TKwXMLItem* Mirrored() const {
    return FBits & 1 ? reinterpret_cast<TKwXMLItem*>(FBits & ~std::uintptr_t(1)) : nullptr;
  }
  Own* Storage() const { return FBits & 1 ? nullptr : reinterpret_cast<Own*>(FBits); }
  TKwXMLItem* At(int Index) const;  // unchecked
  // From reading the node's components to a copy of its own, without the
  // last one when that has just arrived and is not to be in the list.
  void Detach(bool WithoutLast);
  void PushBack(TKwXMLItem* Item);
  // Removes Item, looking from the back: nodes are usually freed last first.
  void RemoveFromBack(const TKwXMLItem* Item);
  void Release();

  // The list's own storage (a count, a capacity and the nodes), or, with
  // the low bit set, the node whose components it reads.
  std::uintptr_t FBits = 0;
};

}  // namespace kwinet
