// The XML engine: a loose node tree and the forgiving single-pass parser that
// builds it. The tree keeps text as found; callers (the trackers, the
// translator) rely on its exact shape, quirks included.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "kwinet/core/Classes.h"
#include "kwinet/core/DateTime.h"
#include "kwinet/core/Slab.h"
#include "kwinet/core/Streams.h"
#include "kwinet/core/Variant.h"

namespace kwinet {

enum TKwXMLItemKind : std::uint8_t { ikProperty, ikAttribute, ikComment, ikCDATA };

class TKwXMLItem;

// A list of nodes that owns them: clearing or destroying it frees every node
// in it with its whole subtree.
//
// A node's own list usually holds exactly the nodes the node owns, in the
// same order: then it keeps nothing of its own and reads the node's owned
// components. It takes a copy of them the first time the two would differ
// (a node added to a list of another parent, a component given to the node
// in another way, one taken from it without being freed).
class TKwXMLItems {
 public:
  TKwXMLItems() = default;
  TKwXMLItems(const TKwXMLItems&) = delete;
  TKwXMLItems& operator=(const TKwXMLItems&) = delete;
  ~TKwXMLItems();

  // Creates a node owned by ParentItem (which may be nullptr), one level
  // below it, and appends it to this list.
  TKwXMLItem* AddItem(TKwXMLItem* ParentItem);
  // Frees the nodes from the last to the first. Works without recursion, so
  // a tree of any depth can be freed.
  void Clear();

  int Count() const;
  TKwXMLItem* Items(int Index) const;  // EListError when out of range
  TKwXMLItem* operator[](int Index) const { return Items(Index); }
  int IndexOf(const TKwXMLItem* Item) const;

  class TIterator {
   public:
    TIterator(const TKwXMLItems* List, int Index) : FList(List), FIndex(Index) {}
    TKwXMLItem* operator*() const { return FList->At(FIndex); }
    TIterator& operator++() {
      ++FIndex;
      return *this;
    }
    bool operator==(const TIterator&) const = default;

   private:
    const TKwXMLItems* FList;
    int FIndex;
  };
  TIterator begin() const { return {this, 0}; }
  TIterator end() const { return {this, Count()}; }

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

// A node's text in one word: nothing, up to seven characters of the range 0
// to 255 in place, or a block with a count, one byte a character when every
// character fits, two otherwise.
class TKwXMLText {
 public:
  TKwXMLText() = default;
  TKwXMLText(const TKwXMLText&) = delete;
  TKwXMLText& operator=(const TKwXMLText&) = delete;
  ~TKwXMLText() { Clear(); }

  bool Empty() const { return FBits == 0; }
  std::size_t Size() const;
  Char At(std::size_t i) const;
  String Str() const;
  void Clear();
  void Assign(std::u16string_view S);
  void Assign(std::string_view Latin1);  // bytes that stand for the characters 0 to 255
  void Append(std::u16string_view S);
  void Append(std::string_view Latin1);
  bool Equals(std::u16string_view S) const;
  bool EqualsIgnoringCase(std::u16string_view S) const;  // ASCII letters only

 private:
  // The block's header: two 32-bit counts, or (kLarge) three words for a
  // text of more than two thousand million characters.
  struct Header {
    std::size_t Size, Capacity;
    bool Wide;
  };
  static constexpr std::uintptr_t kInline = 1, kLarge = 2, kTags = 3;
  bool Inline() const { return FBits & kInline; }
  bool HasBlock() const { return FBits != 0 && !Inline(); }
  void* Block() const { return reinterpret_cast<void*>(FBits & ~kTags); }
  Header Read() const;
  void SetSize(std::size_t Size);
  char* Data() const;
  template <typename C>
  void Put(const C* P, std::size_t N, bool Appending);
  void NewBlock(std::size_t Capacity, bool Wide);

  std::uintptr_t FBits = 0;
};

class TKwXMLItem : public TComponent {
 public:
  // The parent node is AOwner when that is a node; the level starts at 0.
  explicit TKwXMLItem(TComponent* AOwner);
  // Frees the children, then leaves the parent's list.
  ~TKwXMLItem() override;

  // Nodes come from slabs that go back to the system with their last node:
  // a large document has millions of nodes, and one heap block each made
  // building and freeing the tree mostly a matter of malloc and free.
  static void* operator new(std::size_t Size);
  static void operator delete(void* P, std::size_t Size) noexcept;

  TKwXMLItemKind Kind() const { return FKind; }
  void SetKind(TKwXMLItemKind value) { FKind = value; }
  String TagName() const { return FTagName.Str(); }
  void SetTagName(const String& value) { FTagName.Assign(value); }
  // Unassigned until text is stored.
  TVariant Value() const;
  void SetValue(const TVariant& value);
  TKwXMLItems* Items() { return &FItems; }
  const TKwXMLItems* Items() const { return &FItems; }
  TKwXMLItem* ParentItem() const { return FParentItem; }
  int Level() const { return FLevel; }
  String Attributes() const { return FAttributes.Str(); }

  // First node in pre-order (this node first) whose TagName is XMLTag, case
  // significant. Without ExpandAllLevels only this node, its children and
  // its grandchildren are searched.
  TKwXMLItem* GetChild(const String& XMLTag, bool ExpandAllLevels);
  // Value as text; a value that starts with a double quote loses it and its
  // trailing blanks and quotes.
  String GetTagXMLValue() const;
  // GetTagXMLValue with the entities known to the services decoded.
  String GetTagValue() const;
  // Splits the raw attribute text into ikAttribute child nodes and empties it.
  void ProcessAttributes();

 private:
  friend class TKwXMLItems;
  friend class TKwXMLEngine;
  struct ChildTag {};
  TKwXMLItem(TKwXMLItem* Parent, ChildTag);
  // Keeps the node's list in step with what the node owns.
  void Notification(TComponent* AComponent, TOperation Operation) override;

  // Value as its text and two flags: a node is small, and a large document
  // has millions of them.
  TKwXMLItemKind FKind = ikProperty;
  bool FValueAssigned = false;
  bool FValueNull = false;
  std::int32_t FLevel = 0;
  TKwXMLText FTagName;
  TKwXMLText FValue;
  TKwXMLText FAttributes;
  TKwXMLItems FItems;
  TKwXMLItem* FParentItem = nullptr;
};

// Equality of two names, ordinal or ignoring the case of ASCII letters.
bool SameStrings(bool CaseSensitive, const String& S1, const String& S2);

// Reads YYYY-MM-DDTHH:NN:SS from fixed positions; anything after the seconds
// is ignored. Text that is not such a date and time gives 0.
TDateTime XMLStringToDateTime(const String& S);

// Entity decoding as GetTagValue does it, on any text.
String DecodeXMLEntities(const String& S);

using TKwIXMLOnTagEvent = std::function<void(TObject* Sender, TKwXMLItem* ParentNode, const String& ATagName,
                                             const String& ATagValue, const String& ATagAttributes, bool& Accept)>;
using TKwIXMLOnAfterTagEvent = std::function<void(TObject* Sender, TKwXMLItem*& Node, bool& Cancel)>;

class TKwXMLEngine : public TComponent {
 public:
  explicit TKwXMLEngine(TComponent* AOwner);
  ~TKwXMLEngine() override;

  TKwXMLItem* RootItem() const { return FRootItem; }
  // Replaces the reference only; the engine frees whatever node is its root
  // when it goes away.
  void SetRootItem(TKwXMLItem* value);
  const TKwIXMLOnTagEvent& OnTag() const { return FOnTag; }
  void SetOnTag(TKwIXMLOnTagEvent value) { FOnTag = std::move(value); }
  const TKwIXMLOnAfterTagEvent& OnAfterTag() const { return FOnAfterTag; }
  void SetOnAfterTag(TKwIXMLOnAfterTagEvent value) { FOnAfterTag = std::move(value); }

  // True when LoadFromStream already decoded the bytes through a byte-order
  // mark, so a "utf-8" declaration must not decode them again.
  bool UTF8Processed = false;

  // Parses the first ALength characters of AXMLText into the tree below
  // RootItem, adding to what is there. Never fails on bad text.
  void ParseXMLFromString(const String& AXMLText, std::int64_t ALength);
  void ParseXMLFromString(const String& AXMLText) {
    ParseXMLFromString(AXMLText, static_cast<std::int64_t>(AXMLText.size()));
  }
  // Clears the root's children and parses the stream's bytes from its
  // position (to its end when AStreamSize is 0), decoded by byte-order mark.
  void LoadFromStream(std::int64_t AStreamSize, TStream* AStream);
  // Raises EFOpenError when the file cannot be opened.
  void LoadFromFile(const String& AFileName);

  // First node in pre-order of ARoot's subtree (RootItem's when nullptr)
  // whose TagName equals XMLTag, ignoring case.
  TKwXMLItem* GetItemByTag(TKwXMLItem* ARoot, const String& XMLTag);

  // Splits "a/b/c": the first name ("a", leaving "b/c") or the last ("c",
  // leaving "a/b"); a path without "/" is returned whole and emptied.
  static String GetFirstTagName(String& AXMLPath);
  static String GetLastTagName(String& AXMLPath);

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  // The parser, over UTF-16 text or over bytes that stand for the
  // characters 0 to 255 (a plain byte stream needs no wide copy).
  template <typename C>
  void Parse(const C* s, std::size_t n);

  TKwXMLItem* FRootItem = nullptr;
  TKwIXMLOnTagEvent FOnTag;
  TKwIXMLOnAfterTagEvent FOnAfterTag;
};

}  // namespace kwinet
