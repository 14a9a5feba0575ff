/// @file
/// The text of an XML node (its tag name, value and raw attributes) in one
/// word: a large document has millions of nodes, and three strings each would
/// weigh more than the tree itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kwinet/core/String.h"

namespace kwinet {

/// A node's text in one word: nothing, up to seven characters of the range 0
/// to 255 in place, or a block with a count, one byte a character when every
/// character fits, two otherwise.
class TKwXMLText {
 public:
  TKwXMLText() = default;
  TKwXMLText(const TKwXMLText&) = delete;
  TKwXMLText& operator=(const TKwXMLText&) = delete;
  ~TKwXMLText() { Clear(); }

  /// Whether the text is empty.
  bool Empty() const { return FBits == 0; }
  /// The number of characters.
  std::size_t Size() const;
  /// The character at i (from 0).
  Char At(std::size_t i) const;
  /// The text.
  String Str() const;
  /// Empties the text.
  void Clear();
  ///@{
  /// Replaces the text.
  void Assign(std::u16string_view S);
  void Assign(std::string_view Latin1);  ///< bytes that stand for the characters 0 to 255
  ///@}
  ///@{
  /// Appends to the text.
  void Append(std::u16string_view S);
  void Append(std::string_view Latin1);
  ///@}
  /// Whether the text is S.
  bool Equals(std::u16string_view S) const;
  bool EqualsIgnoringCase(std::u16string_view S) const;  ///< ASCII letters only

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

}  // namespace kwinet
