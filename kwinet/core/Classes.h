/// @file
/// The object model that components rest on: objects with a class name,
/// persistent values that can be assigned, components owned by components and
/// told when others go away, and collections of items.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <memory>
#include <vector>

#include "kwinet/core/Exceptions.h"
#include "kwinet/core/String.h"

namespace kwinet {

/// The root of every class of the library: not copyable, with a class name.
class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;

  /// The class name without namespace, e.g. "TKwInetProxy".
  String ClassName() const;
};

/// An event that only says which object sent it.
using TNotifyEvent = std::function<void(TObject* Sender)>;

/// An object whose values can be copied from another with Assign.
class TPersistent : public TObject {
 public:
  /// Copies Source's values into this object. The base asks Source to
  /// AssignTo this object, which refuses with EConvertError
  /// "Cannot assign a <source class> to a <target class>".
  virtual void Assign(TPersistent* Source);

 protected:
  /// Copies this object's values into Dest; the base refuses with AssignError.
  virtual void AssignTo(TPersistent* Dest);
  /// Raises EConvertError "Cannot assign a ... to a ..." with both class names.
  [[noreturn]] void AssignError(TPersistent* Source);
};

/// What happened to a component that Notification is told about: inserted into
/// an owner, or removed.
enum TOperation : std::uint8_t { opInsert, opRemove };
/// @var opInsert
/// The component was inserted into an owner.
/// @var opRemove
/// The component was removed from its owner, or is being freed.

/// A named object owned by another component, owning others in turn and freeing
/// them with itself.
class TComponent : public TPersistent {
 public:
  /// Creates the component and, when AOwner is given, adds it to AOwner's
  /// components.
  explicit TComponent(TComponent* AOwner);
  /// Frees the owned components, last created first, tells every component
  /// that asked for a free notification, and leaves the owner.
  ~TComponent() override;

  /// The component that owns and frees this one, or nullptr.
  TComponent* Owner() const { return FOwner; }
  ///@{
  /// The component's name (empty at first), as FindComponent looks it up.
  const String& Name() const;
  void SetName(const String& value);
  ///@}
  ///@{
  /// A number the application may keep with the component (0 at first).
  std::intptr_t Tag() const { return FLinks && FLinks->More ? FLinks->More->Tag : 0; }
  void SetTag(std::intptr_t value);
  ///@}

  /// The number of owned components.
  int ComponentCount() const { return FLinks ? static_cast<int>(FLinks->Components.size()) : 0; }
  /// The owned component at index, in the order of insertion; EListError out of
  /// range.
  TComponent* Components(int index) const;
  /// The owned component with this name (case-insensitive), nullptr when none
  /// or the name is empty.
  TComponent* FindComponent(const String& name) const;

  /// Asks that AComponent's Notification(this, opRemove) be called when this
  /// component is freed (and the other way round).
  void FreeNotification(TComponent* AComponent);
  /// Withdraws a FreeNotification between this component and AComponent, both
  /// ways.
  void RemoveFreeNotification(TComponent* AComponent);

  /// Takes AComponent from its owner, if any, into this component's components
  /// and notifies opInsert.
  void InsertComponent(TComponent* AComponent);
  /// Notifies opRemove and lets AComponent go when this component owns it; it
  /// then has no owner.
  void RemoveComponent(TComponent* AComponent);

  /// True while the destructor runs.
  bool Destroying() const { return FDestroying; }

 protected:
  /// Called on the owner when an owned component is inserted or removed, and
  /// on every component that asked for a free notification of AComponent.
  virtual void Notification(TComponent* AComponent, TOperation Operation);
  /// Frees the owned components, last created first.
  void DestroyComponents();
  /// Owned components without the range check of Components.
  TComponent* ComponentAt(int index) const { return FLinks->Components[index]; }

 private:
  void RemoveNotification(TComponent* AComponent);

  // What most components never use, made on first use: a component stays
  // small, and trees of millions of components (XML nodes) notice.
  // Owned components, with room for a few in place: most owners hold a
  // few, and a tree of a million small owners saves as many allocations.
  class TComponentList {
   public:
    TComponentList() = default;
    TComponentList(const TComponentList&) = delete;
    TComponentList& operator=(const TComponentList&) = delete;
    ~TComponentList() { std::free(FHeap); }
    std::size_t size() const { return FCount; }
    bool empty() const { return FCount == 0; }
    TComponent** begin() { return FHeap ? FHeap : FInline; }
    TComponent** end() { return begin() + FCount; }
    TComponent* const* begin() const { return FHeap ? FHeap : FInline; }
    TComponent* const* end() const { return begin() + FCount; }
    TComponent* operator[](std::size_t i) const { return begin()[i]; }
    TComponent* back() const { return begin()[FCount - 1]; }
    void push_back(TComponent* c) {
      if (FCount < FCapacity)
        begin()[FCount++] = c;
      else
        Grow(c);
    }
    void erase(TComponent** at);
    void Grow(TComponent* c);

   private:
    TComponent** FHeap = nullptr;
    std::uint32_t FCount = 0;
    std::uint32_t FCapacity = std::size(FInline);
    TComponent* FInline[4] = {};
  };
  struct TMore {
    String Name;
    std::intptr_t Tag = 0;
    std::vector<TComponent*> FreeNotifies;
  };
  struct TLinks {
    static void* operator new(std::size_t Size);
    static void operator delete(void* P, std::size_t Size) noexcept;
    TComponentList Components;
    std::unique_ptr<TMore> More;  // name, tag and notifications: rarer still
  };
  TLinks& Links() { return FLinks ? *FLinks : MakeLinks(); }
  TLinks& MakeLinks();
  TMore& More();

  TComponent* FOwner = nullptr;
  std::unique_ptr<TLinks> FLinks;
  bool FDestroying = false;
};

class TCollection;

/// An item of a TCollection, which owns it.
class TCollectionItem : public TPersistent {
 public:
  /// Adds itself to Collection (when given).
  explicit TCollectionItem(TCollection* Collection);
  ~TCollectionItem() override;

  ///@{
  /// The collection that holds the item; SetCollection moves it to the end of
  /// another (nullptr: to none).
  TCollection* Collection() const { return FCollection; }
  void SetCollection(TCollection* value);
  ///@}
  ///@{
  /// The item's position in its collection (-1 outside one); SetIndex moves it,
  /// EListError out of range.
  int Index() const;
  void SetIndex(int value);
  ///@}
  /// The item's name for display; the base gives the class name.
  virtual String DisplayName() const;

 protected:
  /// Tells the collection that this item (AllItems: every item) changed, unless
  /// an update is pending.
  void Changed(bool AllItems);

 private:
  friend class TCollection;
  TCollection* FCollection = nullptr;
};

/// An ordered list of items of one class, which it owns, created through a
/// factory.
class TCollection : public TPersistent {
 public:
  /// Creates an item of the collection's class inside the collection given.
  using TItemFactory = std::function<TCollectionItem*(TCollection*)>;

  /// An empty collection whose items factory makes.
  explicit TCollection(TItemFactory factory);
  ~TCollection() override;

  /// The object the collection belongs to; the base has none.
  virtual TPersistent* Owner() const { return nullptr; }

  /// Creates an item at the end and returns it.
  TCollectionItem* Add();
  /// Creates an item at index (0 to Count) and returns it; EListError out of
  /// range.
  TCollectionItem* Insert(int index);
  /// Frees the item at index; EListError out of range.
  void Delete(int index);
  /// Frees every item, with a single change notice.
  void Clear();
  /// The number of items.
  int Count() const { return static_cast<int>(FItems.size()); }
  /// The item at index; EListError out of range.
  TCollectionItem* Items(int index) const;
  void Assign(TPersistent* Source) override;

  /// Holds change notices back until the matching EndUpdate; calls nest.
  void BeginUpdate();
  /// Ends a BeginUpdate; the last one gives a single change notice for the
  /// whole collection.
  void EndUpdate();
  /// How many BeginUpdate calls are still open.
  int UpdateCount() const { return FUpdateCount; }

 protected:
  /// Called when an item (or, with nullptr, the whole collection) changed and
  /// no update is pending.
  virtual void Update(TCollectionItem* Item);
  /// Calls Update for the whole collection unless an update is pending.
  void Changed();

 private:
  friend class TCollectionItem;
  void InsertItem(TCollectionItem* item);
  void RemoveItem(TCollectionItem* item);

  TItemFactory FFactory;
  std::vector<TCollectionItem*> FItems;
  int FUpdateCount = 0;
};

/// A collection whose items are of class Item; Item must be constructible
/// from a TCollection*.
template <typename Item>
class TTypedCollection : public TCollection {
 public:
  TTypedCollection() : TCollection([](TCollection* c) -> TCollectionItem* { return new Item(c); }) {}
  /// Add, typed.
  Item* Add() { return static_cast<Item*>(TCollection::Add()); }
  /// Insert, typed.
  Item* Insert(int index) { return static_cast<Item*>(TCollection::Insert(index)); }
  /// Items, typed.
  Item* Items(int index) const { return static_cast<Item*>(TCollection::Items(index)); }
};

/// A list that owns its objects and frees them when they leave it.
template <typename T>
class TObjectList {
 public:
  /// The number of objects.
  int Count() const { return static_cast<int>(FItems.size()); }
  /// The object at index; EListError out of range.
  T* Items(int index) const {
    CheckIndex(index);
    return FItems[index].get();
  }
  /// Takes item at the end and returns it.
  T* Add(std::unique_ptr<T> item) {
    FItems.push_back(std::move(item));
    return FItems.back().get();
  }
  /// Takes item at index (0 to Count) and returns it; EListError out of range.
  T* Insert(int index, std::unique_ptr<T> item) {
    if (index < 0 || index > Count()) ListIndexError(index);
    return FItems.insert(FItems.begin() + index, std::move(item))->get();
  }
  /// Frees the object at index; EListError out of range.
  void Delete(int index) {
    CheckIndex(index);
    FItems.erase(FItems.begin() + index);
  }
  /// Takes the object out of the list without freeing it.
  std::unique_ptr<T> Extract(int index) {
    CheckIndex(index);
    auto p = std::move(FItems[index]);
    FItems.erase(FItems.begin() + index);
    return p;
  }
  /// The position of item, -1 when it is not in the list.
  int IndexOf(const T* item) const {
    for (int i = 0; i < Count(); ++i)
      if (FItems[i].get() == item) return i;
    return -1;
  }
  /// Frees every object.
  void Clear() { FItems.clear(); }
  ///@{
  /// Iteration over the owned objects (as unique_ptr).
  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }
  ///@}

 private:
  void CheckIndex(int index) const {
    if (index < 0 || index >= Count()) ListIndexError(index);
  }
  [[noreturn]] static void ListIndexError(int index) { throw EListError(u"List index out of bounds (%d)", {index}); }
  std::vector<std::unique_ptr<T>> FItems;
};

/// A set of values of an unscoped enumeration with at most 64 values.
template <typename E>
class TSet {
 public:
  constexpr TSet() = default;
  /// A set holding the values given.
  constexpr TSet(std::initializer_list<E> values) {
    for (E v : values) Include(v);
  }
  /// Adds v.
  constexpr void Include(E v) { FBits |= Bit(v); }
  /// Removes v.
  constexpr void Exclude(E v) { FBits &= ~Bit(v); }
  /// Whether v is in the set.
  constexpr bool Contains(E v) const { return (FBits & Bit(v)) != 0; }
  /// Whether the set holds no value.
  constexpr bool Empty() const { return FBits == 0; }
  /// The union.
  constexpr TSet operator+(TSet o) const { return FromBits(FBits | o.FBits); }
  /// The difference: this set without o's values.
  constexpr TSet operator-(TSet o) const { return FromBits(FBits & ~o.FBits); }
  /// The intersection.
  constexpr TSet operator*(TSet o) const { return FromBits(FBits & o.FBits); }
  /// Same values.
  constexpr bool operator==(const TSet&) const = default;
  /// The set as bits, bit n for the value n.
  constexpr std::uint64_t Bits() const { return FBits; }

 private:
  static constexpr std::uint64_t Bit(E v) { return std::uint64_t(1) << static_cast<unsigned>(v); }
  static constexpr TSet FromBits(std::uint64_t b) {
    TSet s;
    s.FBits = b;
    return s;
  }
  std::uint64_t FBits = 0;
};

}  // namespace kwinet
