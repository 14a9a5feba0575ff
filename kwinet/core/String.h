/// @file
/// Text type of the library and the conversions around it.
///
/// String is UTF-16. Data that travels as bytes (socket payloads, file
/// contents in transit) is carried in a String with one character per byte,
/// codes 0 to 255; BytesToString and StringToBytes convert losslessly.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace kwinet {

/// The library's text: UTF-16.
using String = std::u16string;
/// One UTF-16 code unit.
using Char = char16_t;

// --- UTF-8 and bytes -------------------------------------------------------

/// Decodes UTF-8; an invalid sequence becomes U+FFFD, nothing is dropped.
String Utf8ToString(std::string_view utf8);
/// Encodes UTF-16 as UTF-8; surrogate pairs become four-byte sequences and a
/// lone surrogate becomes U+FFFD.
std::string StringToUtf8(const String& s);
///@{
/// One character per byte, codes 0 to 255.
String BytesToString(std::string_view bytes);
String BytesToString(const void* data, std::size_t size);
///@}
/// The low eight bits of every character, one byte each.
std::string StringToBytes(const String& s);
/// ASCII text (a literal in code) as a String.
String Str(std::string_view ascii);

// --- numbers ---------------------------------------------------------------

///@{
/// Integer text: optional blanks are not allowed; an optional sign, then
/// decimal digits or "$" and hexadecimal digits. Anything else fails, and so
/// does a value outside the type's range.
bool TryStrToInt(const String& s, int& value);
bool TryStrToInt64(const String& s, std::int64_t& value);
///@}
int StrToInt(const String& s);             ///< EConvertError on failure
std::int64_t StrToInt64(const String& s);  ///< EConvertError on failure
/// StrToInt, with def in place of the error.
int StrToIntDef(const String& s, int def);
/// The decimal text of value.
String IntToStr(std::int64_t value);
/// The hexadecimal text of value in upper case, padded with zeros to digits.
String IntToHex(std::uint64_t value, int digits);
/// Floating point text with "." as the decimal separator and an optional
/// exponent; optional sign. Anything else fails.
bool TryStrToFloat(const String& s, double& value);
double StrToFloat(const String& s);  ///< EConvertError on failure
/// The text of value with up to 15 significant digits, as printf %.15G gives
/// it.
String FloatToStr(double value);

// --- case, comparison, trimming ---------------------------------------------

String UpperCase(const String& s);                  ///< ASCII letters only
String LowerCase(const String& s);                  ///< ASCII letters only
int CompareText(const String& a, const String& b);  ///< ASCII case-insensitive
/// Whether a and b are equal, ASCII case-insensitive.
bool SameText(const String& a, const String& b);
/// Whether s starts with prefix, ASCII case-insensitive.
bool StartsText(const String& prefix, const String& s);
/// Whether s ends with suffix, ASCII case-insensitive.
bool EndsText(const String& suffix, const String& s);
///@{
/// Trimming removes characters with codes 0 to 32 (blanks and controls).
String Trim(const String& s);
String TrimLeft(const String& s);
String TrimRight(const String& s);
///@}
/// One-based position of Sub in S from Offset (one-based), 0 when absent.
std::size_t Pos(const String& sub, const String& s, std::size_t offset = 1);
/// s with every from replaced by to.
String StringReplaceAll(const String& s, const String& from, const String& to);

// --- formatting ---------------------------------------------------------------

/// One argument of Format: an integer of any type, a floating-point value or
/// a string.
struct FormatArg {
  /// An integer argument.
  template <typename T>
    requires std::is_integral_v<T>
  FormatArg(T v) : value(static_cast<std::int64_t>(v)) {}
  /// A floating-point argument.
  FormatArg(double v) : value(v) {}
  ///@{
  /// A string argument.
  FormatArg(const String& v) : value(v) {}
  FormatArg(const Char* v) : value(String(v)) {}
  ///@}
  /// The argument.
  std::variant<std::int64_t, double, String> value;
};

/// The framework's format: %[index:][-][width][.precision]type with the types
/// d, u, x, X, s, f, e, g, n, m (as f) and p, and %% for a percent sign. A
/// format that does not match its arguments raises EConvertError instead of
/// reading past them, so that a replaced message text cannot crash the caller.
String Format(const String& fmt, std::initializer_list<FormatArg> args);

}  // namespace kwinet
