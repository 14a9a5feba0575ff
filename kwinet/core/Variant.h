/// @file
/// A value that holds nothing (unassigned, or null) or a string.
#pragma once

#include <optional>

#include "kwinet/core/String.h"

namespace kwinet {

/// A value that holds nothing (unassigned, or null) or a string.
class TVariant {
 public:
  TVariant() = default;
  ///@{
  /// A variant holding the string s.
  TVariant(const String& s) : FValue(s) {}
  TVariant(const Char* s) : FValue(String(s)) {}
  ///@}

  /// The null value.
  static TVariant Null() {
    TVariant v;
    v.FNull = true;
    return v;
  }

  /// Whether nothing was assigned (neither a string nor null).
  bool IsEmpty() const { return !FValue && !FNull; }
  /// Whether the value is null.
  bool IsNull() const { return FNull; }
  /// Whether the value is a string.
  bool HasString() const { return FValue.has_value(); }
  /// The string, or the empty string when there is none.
  String ToString() const { return FValue.value_or(String()); }
  /// Makes the variant unassigned.
  void Clear() {
    FValue.reset();
    FNull = false;
  }
  /// Same state and same string.
  bool operator==(const TVariant&) const = default;

 private:
  std::optional<String> FValue;
  bool FNull = false;
};

/// v.IsEmpty().
inline bool VarIsEmpty(const TVariant& v) { return v.IsEmpty(); }
/// v.IsNull().
inline bool VarIsNull(const TVariant& v) { return v.IsNull(); }
/// v.ToString().
inline String VarToStr(const TVariant& v) { return v.ToString(); }

}  // namespace kwinet
