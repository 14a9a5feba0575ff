/// @file
/// The XML engine: a loose node tree and the forgiving single-pass parser that
/// builds it. The tree keeps text as found; callers (the trackers, the
/// translator) rely on its exact shape, quirks included.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "kwinet/core/Classes.h"
#include "kwinet/core/DateTime.h"
#include "kwinet/core/Streams.h"
#include "kwinet/core/Variant.h"
#include "kwinet/xml/KwXMLEntities.h"
#include "kwinet/xml/KwXMLItems.h"
#include "kwinet/xml/KwXMLText.h"

namespace kwinet {

/// What a node stands for: an element, an attribute, a comment or a CDATA
/// section.
enum TKwXMLItemKind : std::uint8_t { ikProperty, ikAttribute, ikComment, ikCDATA };
/// @var ikProperty
/// An element.
/// @var ikAttribute
/// An attribute (after ProcessAttributes).
/// @var ikComment
/// A comment.
/// @var ikCDATA
/// A CDATA section.

/// A node of the XML tree: kind, tag name, value, raw attributes and child
/// nodes, which it owns.
class TKwXMLItem : public TComponent {
 public:
  /// The parent node is AOwner when that is a node; the level starts at 0.
  explicit TKwXMLItem(TComponent* AOwner);
  /// Frees the children, then leaves the parent's list.
  ~TKwXMLItem() override;

  ///@{
  /// Nodes come from slabs that go back to the system with their last node:
  /// a large document has millions of nodes, and one heap block each made
  /// building and freeing the tree mostly a matter of malloc and free.
  static void* operator new(std::size_t Size);
  static void operator delete(void* P, std::size_t Size) noexcept;
  ///@}

  ///@{
  /// What the node stands for (ikProperty at first).
  TKwXMLItemKind Kind() const { return FKind; }
  void SetKind(TKwXMLItemKind value) { FKind = value; }
  ///@}
  ///@{
  /// The tag's name as found.
  String TagName() const { return FTagName.Str(); }
  void SetTagName(const String& value) { FTagName.Assign(value); }
  ///@}
  ///@{
  /// Unassigned until text is stored.
  TVariant Value() const;
  void SetValue(const TVariant& value);
  ///@}
  ///@{
  /// The child nodes.
  TKwXMLItems* Items() { return &FItems; }
  const TKwXMLItems* Items() const { return &FItems; }
  ///@}
  /// The parent node, nullptr for a root.
  TKwXMLItem* ParentItem() const { return FParentItem; }
  /// The depth below the root (0 for a root).
  int Level() const { return FLevel; }
  /// The raw attribute text of the tag, until ProcessAttributes splits it.
  String Attributes() const { return FAttributes.Str(); }

  /// First node in pre-order (this node first) whose TagName is XMLTag, case
  /// significant. Without ExpandAllLevels only this node, its children and
  /// its grandchildren are searched.
  TKwXMLItem* GetChild(const String& XMLTag, bool ExpandAllLevels);
  /// Value as text; a value that starts with a double quote loses it and its
  /// trailing blanks and quotes.
  String GetTagXMLValue() const;
  /// GetTagXMLValue with the entities known to the services decoded.
  String GetTagValue() const;
  /// Splits the raw attribute text into ikAttribute child nodes and empties it.
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

/// Equality of two names, ordinal or ignoring the case of ASCII letters.
bool SameStrings(bool CaseSensitive, const String& S1, const String& S2);

/// Reads YYYY-MM-DDTHH:NN:SS from fixed positions; anything after the seconds
/// is ignored. Text that is not such a date and time gives 0.
TDateTime XMLStringToDateTime(const String& S);

/// Called when the parser finds an opening tag under ParentNode; clearing
/// Accept leaves it out of the tree.
using TKwIXMLOnTagEvent = std::function<void(TObject* Sender, TKwXMLItem* ParentNode, const String& ATagName,
                                             const String& ATagValue, const String& ATagAttributes, bool& Accept)>;
/// Called when the parser closes Node; setting Cancel stops the parse.
using TKwIXMLOnAfterTagEvent = std::function<void(TObject* Sender, TKwXMLItem*& Node, bool& Cancel)>;

/// The XML engine: parses text or a stream into a node tree below RootItem,
/// never failing on bad text.
class TKwXMLEngine : public TComponent {
 public:
  /// Creates the engine with an empty root node.
  explicit TKwXMLEngine(TComponent* AOwner);
  ~TKwXMLEngine() override;

  /// The root node.
  TKwXMLItem* RootItem() const { return FRootItem; }
  /// Replaces the reference only; the engine frees whatever node is its root
  /// when it goes away.
  void SetRootItem(TKwXMLItem* value);
  ///@{
  /// Called for each opening tag; may leave it out of the tree.
  const TKwIXMLOnTagEvent& OnTag() const { return FOnTag; }
  void SetOnTag(TKwIXMLOnTagEvent value) { FOnTag = std::move(value); }
  ///@}
  ///@{
  /// Called for each closed node; may stop the parse.
  const TKwIXMLOnAfterTagEvent& OnAfterTag() const { return FOnAfterTag; }
  void SetOnAfterTag(TKwIXMLOnAfterTagEvent value) { FOnAfterTag = std::move(value); }
  ///@}

  /// True when LoadFromStream already decoded the bytes through a byte-order
  /// mark, so a "utf-8" declaration must not decode them again.
  bool UTF8Processed = false;

  ///@{
  /// Parses the first ALength characters of AXMLText into the tree below
  /// RootItem, adding to what is there. Never fails on bad text.
  void ParseXMLFromString(const String& AXMLText, std::int64_t ALength);
  void ParseXMLFromString(const String& AXMLText) {
    ParseXMLFromString(AXMLText, static_cast<std::int64_t>(AXMLText.size()));
  }
  ///@}
  /// Clears the root's children and parses the stream's bytes from its
  /// position (to its end when AStreamSize is 0), decoded by byte-order mark.
  void LoadFromStream(std::int64_t AStreamSize, TStream* AStream);
  /// Raises EFOpenError when the file cannot be opened.
  void LoadFromFile(const String& AFileName);

  /// First node in pre-order of ARoot's subtree (RootItem's when nullptr)
  /// whose TagName equals XMLTag, ignoring case.
  TKwXMLItem* GetItemByTag(TKwXMLItem* ARoot, const String& XMLTag);

  ///@{
  /// Splits "a/b/c": the first name ("a", leaving "b/c") or the last ("c",
  /// leaving "a/b"); a path without "/" is returned whole and emptied.
  static String GetFirstTagName(String& AXMLPath);
  static String GetLastTagName(String& AXMLPath);
  ///@}

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
