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

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;

  /// The class name without namespace, e.g. "TKwInetProxy".
  String ClassName() const;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

class TPersistent : public TObject {
 public:
  /// Copies Source's values into this object. The base asks Source to
  /// AssignTo this object, which refuses with EConvertError
  /// "Cannot assign a <source class> to a <target class>".
  virtual void Assign(TPersistent* Source);

 protected:
  virtual void AssignTo(TPersistent* Dest);
  [[noreturn]] void AssignError(TPersistent* Source);
};

enum TOperation : std::uint8_t { opInsert, opRemove };

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* AOwner);
  /// Frees the owned components, last created first, tells every component
  /// that asked for a free notification, and leaves the owner.
  ~TComponent() override;

  TComponent* Owner() const { return FOwner; }
  const String& Name() const;
  void SetName(const String& value);
  std::intptr_t Tag() const { return FLinks && FLinks->More ? FLinks->More->Tag : 0; }
  void SetTag(std::intptr_t value);

  int ComponentCount() const { return FLinks ? static_cast<int>(FLinks->Components.size()) : 0; }
  TComponent* Components(int index) const;
  TComponent* FindComponent(const String& name) const;

  /// Asks that AComponent's Notification(this, opRemove) be called when this
  /// component is freed (and the other way round).
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);

  bool Destroying() const { return FDestroying; }

 protected:
  /// Called on the owner when an owned component is inserted or removed, and
  /// on every component that asked for a free notification of AComponent.
  virtual void Notification(TComponent* AComponent, TOperation Operation);
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

class TCollectionItem : public TPersistent {
 public:
  /// Adds itself to Collection (when given).
  explicit TCollectionItem(TCollection* Collection);
  ~TCollectionItem() override;

  TCollection* Collection() const { return FCollection; }
  void SetCollection(TCollection* value);
  int Index() const;
  void SetIndex(int value);
  virtual String DisplayName() const;

 protected:
  void Changed(bool AllItems);

 private:
  friend class TCollection;
  TCollection* FCollection = nullptr;
};

class TCollection : public TPersistent {
 public:
  using TItemFactory = std::function<TCollectionItem*(TCollection*)>;

  explicit TCollection(TItemFactory factory);
  ~TCollection() override;

  virtual TPersistent* Owner() const { return nullptr; }

  TCollectionItem* Add();
  TCollectionItem* Insert(int index);
  void Delete(int index);
  void Clear();
  int Count() const { return static_cast<int>(FItems.size()); }
  TCollectionItem* Items(int index) const;
  void Assign(TPersistent* Source) override;

  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

 protected:
  /// Called when an item (or, with nullptr, the whole collection) changed and
  /// no update is pending.
  virtual void Update(TCollectionItem* Item);
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
  Item* Add() { return static_cast<Item*>(TCollection::Add()); }
  Item* Insert(int index) { return static_cast<Item*>(TCollection::Insert(index)); }
  Item* Items(int index) const { return static_cast<Item*>(TCollection::Items(index)); }
};

/// A list that owns its objects and frees them when they leave it.
template <typename T>
class TObjectList {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  T* Items(int index) const {
    CheckIndex(index);
    return FItems[index].get();
  }
  T* Add(std::unique_ptr<T> item) {
    FItems.push_back(std::move(item));
    return FItems.back().get();
  }
  T* Insert(int index, std::unique_ptr<T> item) {
    if (index < 0 || index > Count()) ListIndexError(index);
    return FItems.insert(FItems.begin() + index, std::move(item))->get();
  }
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
  int IndexOf(const T* item) const {
    for (int i = 0; i < Count(); ++i)
      if (FItems[i].get() == item) return i;
    return -1;
  }
  void Clear() { FItems.clear(); }
  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

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
  constexpr TSet(std::initializer_list<E> values) {
    for (E v : values) Include(v);
  }
  constexpr void Include(E v) { FBits |= Bit(v); }
  constexpr void Exclude(E v) { FBits &= ~Bit(v); }
  constexpr bool Contains(E v) const { return (FBits & Bit(v)) != 0; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr TSet operator+(TSet o) const { return FromBits(FBits | o.FBits); }
  constexpr TSet operator-(TSet o) const { return FromBits(FBits & ~o.FBits); }
  constexpr TSet operator*(TSet o) const { return FromBits(FBits & o.FBits); }
  constexpr bool operator==(const TSet&) const = default;
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
