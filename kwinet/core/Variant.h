/// @file
/// A value that holds nothing (unassigned, or null) or a string.
#pragma once

#include <optional>

#include "kwinet/core/String.h"

namespace kwinet {

class TVariant {
 public:
  TVariant() = default;
  TVariant(const String& s) : FValue(s) {}
  TVariant(const Char* s) : FValue(String(s)) {}

  static TVariant Null() {
    TVariant v;
    v.FNull = true;
    return v;
  }

  bool IsEmpty() const { return !FValue && !FNull; }
  bool IsNull() const { return FNull; }
  bool HasString() const { return FValue.has_value(); }
  /// The string, or the empty string when there is none.
  String ToString() const { return FValue.value_or(String()); }
  void Clear() {
    FValue.reset();
    FNull = false;
  }
  bool operator==(const TVariant&) const = default;

 private:
  std::optional<String> FValue;
  bool FNull = false;
};

inline bool VarIsEmpty(const TVariant& v) { return v.IsEmpty(); }
inline bool VarIsNull(const TVariant& v) { return v.IsNull(); }
inline String VarToStr(const TVariant& v) { return v.ToString(); }

}  // namespace kwinet
