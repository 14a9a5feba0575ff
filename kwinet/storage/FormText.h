/// @file
/// The text form of a stored form, as form designers of this kind write it:
///
///   object Form1: TForm
///     Caption = 'Jobs'
///     object KwWhoIs1: TKwWhoIs
///       Domain = 'example.com'
///       Proxy.Port = 8080
///       ServerList.Strings = (
///         'com=whois.example'
///         'net=whois.example')
///       Recipients = <
///         item
///           Name = 'Jo'#233
///         end>
///       Options = [soOne, soTwo]
///       Picture.Data = {0A0B0C}
///     end
///   end
///
/// ReadFormText turns the text into a tree of objects and property values,
/// and WriteFormText turns a tree back into text; neither knows any class.
/// Reading is linear in the text and never recurses deeper than
/// kMaxFormDepth, so any input gives a tree or an EFormError.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kwinet/core/Exceptions.h"
#include "kwinet/core/String.h"

namespace kwinet {

/// An error in a stored form; the message begins "line L, column C: ".
class EFormError : public Exception {
 public:
  using Exception::Exception;
};

/// Objects, collection items and parenthesised lists nested deeper than this
/// are refused.
constexpr int kMaxFormDepth = 256;

/// Where something starts in the text: line and column count from 1, a column
/// in characters of the line (a UTF-8 sequence is one).
struct TFormPos {
  /// The line, from 1.
  int Line = 0;
  /// The column, from 1.
  int Column = 0;
};

/// "line L, column C: message"
String FormErrorText(TFormPos pos, const String& message);

struct TFormItem;

/// A property's value as the text writes it.
struct TFormValue {
  /// The forms a value can take.
  enum TKind : std::uint8_t {
    fvInteger,     ///< 12, -3, $FF
    fvFloat,       ///< 1.5, 2.5E10 (a date-time is a float)
    fvString,      ///< 'text'#13#10'more' (parts joined)
    fvIdent,       ///< True, False, nil, an enumeration value, a component's name
    fvSet,         ///< [a, b]
    fvList,        ///< ( value value ... ), the lines of a string list
    fvCollection,  ///< < item ... end item ... end >
    fvBinary,      ///< {0A0B} hexadecimal bytes
  };
  /// The form this value takes; the fields that fit it are set.
  TKind Kind = fvInteger;
  /// Where the value starts.
  TFormPos Pos;
  /// fvInteger.
  std::int64_t Integer = 0;
  /// fvFloat.
  double Float = 0;
  String Text;                        ///< fvString, fvIdent
  std::vector<String> Names;          ///< fvSet
  std::vector<TFormValue> Items;      ///< fvList
  std::vector<TFormItem> Collection;  ///< fvCollection
  std::string Bytes;                  ///< fvBinary

  bool operator==(const TFormValue& other) const;  ///< ignores Pos
};

/// Name = Value; the name may be dotted (Proxy.Port, ServerList.Strings).
struct TFormProperty {
  /// The property's name.
  String Name;
  /// Its value.
  TFormValue Value;
  /// Where the property starts.
  TFormPos Pos;
  bool operator==(const TFormProperty& other) const;  ///< ignores Pos
};

/// One "item ... end" of a collection.
struct TFormItem {
  /// The item's properties.
  std::vector<TFormProperty> Properties;
  /// Where the item starts.
  TFormPos Pos;
  bool operator==(const TFormItem& other) const;  ///< ignores Pos
};

/// "object Name: ClassName ... end", with its properties and nested objects
/// in the order of the text.
struct TFormObject {
  /// The object's (component's) name.
  String Name;
  /// Its class's name.
  String ClassName;
  /// Its properties.
  std::vector<TFormProperty> Properties;
  /// The objects nested in it.
  std::vector<TFormObject> Children;
  /// Where the object starts.
  TFormPos Pos;
  bool operator==(const TFormObject& other) const;  ///< ignores Pos
};

/// Reads one root object from UTF-8 text (a byte-order mark is skipped);
/// anything but blanks after its "end" is an error. Raises EFormError.
TFormObject ReadFormText(std::string_view text);

/// Writes the object as UTF-8 text, two blanks of indent per level, one
/// property a line, lines ended by LF. Strings are quoted with printable
/// ASCII in quotes and every other character as `#n`; floats are written so
/// that they read back to the same double and never look like integers.
/// Writing what ReadFormText gave, and reading it again, gives an equal tree.
std::string WriteFormText(const TFormObject& root);

}  // namespace kwinet
