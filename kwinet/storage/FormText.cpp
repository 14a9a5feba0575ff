#include "kwinet/storage/FormText.h"

#include <bit>
#include <charconv>
#include <cmath>

namespace kwinet {

String FormErrorText(TFormPos pos, const String& message) {
  return Str("line ") + IntToStr(pos.Line) + Str(", column ") + IntToStr(pos.Column) + Str(": ") + message;
}

// --- equality ------------------------------------------------------------------

namespace {

// Floats compare by value, but -0 and 0 differ (the text keeps the sign) and
// two NaNs are alike.
bool SameFloat(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return a == b && std::signbit(a) == std::signbit(b);
}

}  // namespace

bool TFormValue::operator==(const TFormValue& other) const {
  if (Kind != other.Kind) return false;
  switch (Kind) {
    case fvInteger:
      return Integer == other.Integer;
    case fvFloat:
      return SameFloat(Float, other.Float);
    case fvString:
    case fvIdent:
      return Text == other.Text;
    case fvSet:
      return Names == other.Names;
    case fvList:
      return Items == other.Items;
    case fvCollection:
      return Collection == other.Collection;
    case fvBinary:
      return Bytes == other.Bytes;
  }
  return false;
}

bool TFormProperty::operator==(const TFormProperty& other) const {
  return Name == other.Name && Value == other.Value;
}

bool TFormItem::operator==(const TFormItem& other) const {
  return Properties == other.Properties;
}

bool TFormObject::operator==(const TFormObject& other) const {
  return Name == other.Name && ClassName == other.ClassName && Properties == other.Properties &&
         Children == other.Children;
}

// --- reading -------------------------------------------------------------------

namespace {

constexpr char32_t kMaxCode = 0x10FFFF;

bool IsDigit(unsigned char c) {
  return c >= '0' && c <= '9';
}
// Letters of other scripts may appear in names: every byte of a UTF-8
// sequence counts as a letter.
bool IsIdentStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}
bool IsIdentChar(unsigned char c) {
  return IsIdentStart(c) || IsDigit(c);
}
int HexValue(unsigned char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void AppendCode(String& s, char32_t code) {
  if (code >= 0x10000) {
    code -= 0x10000;
    s.push_back(static_cast<Char>(0xD800 + (code >> 10)));
    s.push_back(static_cast<Char>(0xDC00 + (code & 0x3FF)));
  } else {
    s.push_back(static_cast<Char>(code));
  }
}

bool SameAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
    if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
    if (x != y) return false;
  }
  return true;
}

enum class TTok : std::uint8_t { End, Ident, Integer, Float, String, Binary, Symbol };

struct TToken {
  TTok Kind = TTok::End;
  TFormPos Pos;
  std::string_view Raw;  // the identifier as written
  char Symbol = 0;
  std::int64_t Integer = 0;
  double Float = 0;
  String Text;        // identifier or string
  std::string Bytes;  // binary data
};

// One pass over the text: the lexer keeps the line and column of the next
// byte as it goes, so a position costs nothing, and the parser keeps one
// token of look-ahead. Nesting is counted and refused past kMaxFormDepth
// before the parser goes one call deeper.
class TFormReader {
 public:
  explicit TFormReader(std::string_view text) : FText(text) {}

  TFormObject ReadRoot() {
    if (FText.starts_with("\xEF\xBB\xBF")) FPos = 3;
    Next();
    if (!IsObjectKeyword()) Fail(FTok.Pos, u"expected 'object' at the start of the form");
    TFormObject root;
    ReadObject(root);
    if (FTok.Kind != TTok::End) Fail(FTok.Pos, u"text after the 'end' of the root object");
    return root;
  }

 private:
  std::string_view FText;
  std::size_t FPos = 0;
  int FLine = 1;
  int FColumn = 1;
  int FDepth = 0;
  TToken FTok;

  [[noreturn]] static void Fail(TFormPos pos, const String& message) { throw EFormError(FormErrorText(pos, message)); }

  // --- lexer ---

  TFormPos Here() const { return {FLine, FColumn}; }
  bool AtEnd() const { return FPos >= FText.size(); }
  unsigned char Peek(std::size_t ahead = 0) const {
    return FPos + ahead < FText.size() ? static_cast<unsigned char>(FText[FPos + ahead]) : 0;
  }

  // Steps over one byte. A line ends at LF, CR LF or a lone CR; a column
  // is one character, however many bytes its UTF-8 sequence has.
  void Advance() {
    const unsigned char c = static_cast<unsigned char>(FText[FPos++]);
    if (c == '\n' || (c == '\r' && Peek() != '\n')) {
      ++FLine;
      FColumn = 1;
    } else if (AtEnd() || (Peek() & 0xC0) != 0x80) {
      ++FColumn;
    }
  }

  void SkipBlanks() {
    while (!AtEnd() && Peek() <= ' ') Advance();
  }

  void Next() {
    SkipBlanks();
    FTok.Pos = Here();
    FTok.Raw = {};
    if (AtEnd()) {
      FTok.Kind = TTok::End;
      return;
    }
    const unsigned char c = Peek();
    if (IsIdentStart(c)) {
      LexIdent();
    } else if (IsDigit(c) || c == '$' || c == '-') {
      LexNumber();
    } else if (c == '\'' || c == '#') {
      LexString();
    } else if (c == '{') {
      LexBinary();
    } else if (c == '=' || c == ':' || c == '[' || c == ']' || c == '(' || c == ')' || c == '<' || c == '>' ||
               c == ',' || c == '+') {
      FTok.Kind = TTok::Symbol;
      FTok.Symbol = static_cast<char>(c);
      Advance();
    } else {
      String what = c > ' ' && c < 0x7F ? String(u"'") + Char(c) + u"'" : u"#" + IntToStr(c);
      Fail(FTok.Pos, u"unexpected character " + what);
    }
  }

  // A name, possibly dotted: Proxy.Port, Form1.Image1.
  void LexIdent() {
    const std::size_t from = FPos;
    for (;;) {
      while (IsIdentChar(Peek()) && !AtEnd()) Advance();
      if (Peek() == '.' && IsIdentStart(Peek(1)) && FPos + 1 < FText.size()) {
        Advance();
        continue;
      }
      break;
    }
    FTok.Kind = TTok::Ident;
    FTok.Raw = FText.substr(from, FPos - from);
    FTok.Text = Utf8ToString(FTok.Raw);
  }

  // 12, -3, $FF (64 bits, as written in two's complement), 1.5, -2.5E-3,
  // 1E10. A number runs into no letter, digit or dot.
  void LexNumber() {
    const TFormPos start = Here();
    const std::size_t from = FPos;
    const bool negative = Peek() == '-';
    if (negative) Advance();
    auto badNumber = [&] { Fail(start, u"bad number"); };
    if (Peek() == '$') {
      Advance();
      std::uint64_t value = 0;
      int digits = 0;
      bool tooBig = false;
      for (int d; (d = HexValue(Peek())) >= 0 && !AtEnd(); Advance(), ++digits) {
        if (value >> 60) tooBig = true;
        value = value << 4 | static_cast<unsigned>(d);
      }
      if (digits == 0 || IsIdentChar(Peek()) || Peek() == '.') badNumber();
      constexpr std::uint64_t kMinMagnitude = std::uint64_t(1) << 63;
      if (tooBig || (negative && value > kMinMagnitude)) Fail(start, u"number out of range");
      FTok.Kind = TTok::Integer;
      FTok.Integer = negative ? static_cast<std::int64_t>(0 - value) : std::bit_cast<std::int64_t>(value);
      return;
    }
    auto digits = [&] {
      if (!IsDigit(Peek())) badNumber();
      while (IsDigit(Peek()) && !AtEnd()) Advance();
    };
    digits();
    bool isFloat = false;
    if (Peek() == '.') {
      isFloat = true;
      Advance();
      digits();
    }
    if (Peek() == 'E' || Peek() == 'e') {
      isFloat = true;
      Advance();
      if (Peek() == '+' || Peek() == '-') Advance();
      digits();
    }
    if (IsIdentChar(Peek()) || Peek() == '.') badNumber();
    const char* first = FText.data() + from;
    const char* last = FText.data() + FPos;
    if (isFloat) {
      double value = 0;
      auto [ptr, ec] = std::from_chars(first, last, value);
      if (ec == std::errc::result_out_of_range) Fail(start, u"number out of range");
      if (ec != std::errc() || ptr != last || !std::isfinite(value)) badNumber();
      FTok.Kind = TTok::Float;
      FTok.Float = value;
    } else {
      std::int64_t value = 0;
      auto [ptr, ec] = std::from_chars(first, last, value);
      if (ec == std::errc::result_out_of_range) Fail(start, u"number out of range");
      if (ec != std::errc() || ptr != last) badNumber();
      FTok.Kind = TTok::Integer;
      FTok.Integer = value;
    }
  }

  // Quoted parts ('' for a quote) and character codes (#233, #$E9) written
  // side by side make one string; quoted text is UTF-8.
  void LexString() {
    FTok.Kind = TTok::String;
    FTok.Text.clear();
    for (;;) {
      const TFormPos start = Here();
      if (Peek() == '\'' && !AtEnd()) {
        Advance();
        for (;;) {
          const std::size_t from = FPos;
          while (!AtEnd() && Peek() != '\'' && Peek() != '\n' && Peek() != '\r') Advance();
          if (AtEnd() || Peek() != '\'') Fail(start, u"string not closed before the end of the line");
          FTok.Text += Utf8ToString(FText.substr(from, FPos - from));
          Advance();
          if (Peek() != '\'' || AtEnd()) break;
          FTok.Text.push_back(u'\'');
          Advance();
        }
      } else if (Peek() == '#' && !AtEnd()) {
        Advance();
        const bool hex = Peek() == '$';
        if (hex) Advance();
        char32_t code = 0;
        int digits = 0;
        for (;; Advance(), ++digits) {
          const int d = hex ? HexValue(Peek()) : IsDigit(Peek()) ? Peek() - '0' : -1;
          if (d < 0 || AtEnd()) break;
          if (code <= kMaxCode) code = code * (hex ? 16 : 10) + static_cast<char32_t>(d);
        }
        if (digits == 0) Fail(start, u"expected a character code after '#'");
        if (IsIdentChar(Peek())) Fail(start, u"bad character code");
        if (code > kMaxCode) Fail(start, u"character code above $10FFFF");
        AppendCode(FTok.Text, code);
      } else {
        return;
      }
    }
  }

  // {0A0B 0C}: pairs of hexadecimal digits, blanks and line breaks allowed
  // anywhere between them.
  void LexBinary() {
    const TFormPos start = Here();
    Advance();
    FTok.Kind = TTok::Binary;
    FTok.Bytes.clear();
    int high = -1;
    for (;;) {
      if (AtEnd()) Fail(Here(), u"end of text inside binary data");
      const unsigned char c = Peek();
      if (c == '}') break;
      if (c > ' ') {
        const int d = HexValue(c);
        if (d < 0) Fail(Here(), u"expected a hexadecimal digit or '}' in binary data");
        if (high < 0) {
          high = d;
        } else {
          FTok.Bytes.push_back(static_cast<char>(high << 4 | d));
          high = -1;
        }
      }
      Advance();
    }
    if (high >= 0) Fail(start, u"odd number of hexadecimal digits in binary data");
    Advance();
  }

  // --- parser ---

  bool IsSymbol(char c) const { return FTok.Kind == TTok::Symbol && FTok.Symbol == c; }
  bool IsKeyword(std::string_view word) const { return FTok.Kind == TTok::Ident && SameAscii(FTok.Raw, word); }
  bool IsObjectKeyword() const { return IsKeyword("object") || IsKeyword("inherited") || IsKeyword("inline"); }
  bool IsPlainIdent() const { return FTok.Kind == TTok::Ident && FTok.Raw.find('.') == std::string_view::npos; }

  void Enter(const char16_t* what) {
    if (++FDepth > kMaxFormDepth) Fail(FTok.Pos, String(what) + u" nested deeper than " + IntToStr(kMaxFormDepth));
  }

  // FTok is "object" (or "inherited", "inline").
  void ReadObject(TFormObject& object) {
    object.Pos = FTok.Pos;
    Enter(u"objects");
    Next();
    if (!IsPlainIdent()) Fail(FTok.Pos, u"expected the object's name or class name after 'object'");
    String first = std::move(FTok.Text);
    Next();
    if (IsSymbol(':')) {
      Next();
      if (FTok.Kind != TTok::Ident) Fail(FTok.Pos, u"expected the class name after ':'");
      object.Name = std::move(first);
      object.ClassName = std::move(FTok.Text);
      Next();
    } else {
      object.ClassName = std::move(first);
    }
    for (;;) {
      if (FTok.Kind == TTok::End) {
        Fail(FTok.Pos, u"end of text inside object " + (object.Name.empty() ? object.ClassName : object.Name));
      }
      if (IsKeyword("end")) break;
      if (IsObjectKeyword()) {
        ReadObject(object.Children.emplace_back());
      } else if (FTok.Kind == TTok::Ident) {
        ReadProperty(object.Properties.emplace_back());
      } else {
        Fail(FTok.Pos, u"expected a property, an object or 'end'");
      }
    }
    Next();
    --FDepth;
  }

  // FTok is the property's name.
  void ReadProperty(TFormProperty& property) {
    property.Pos = FTok.Pos;
    property.Name = std::move(FTok.Text);
    Next();
    if (!IsSymbol('=')) Fail(FTok.Pos, u"expected '=' after the property name");
    Next();
    ReadValue(property.Value);
  }

  void ReadValue(TFormValue& value) {
    value.Pos = FTok.Pos;
    switch (FTok.Kind) {
      case TTok::Integer:
        value.Kind = TFormValue::fvInteger;
        value.Integer = FTok.Integer;
        Next();
        return;
      case TTok::Float:
        value.Kind = TFormValue::fvFloat;
        value.Float = FTok.Float;
        Next();
        return;
      case TTok::String:
        // 'one' + 'two': the parts of a long string over several lines.
        value.Kind = TFormValue::fvString;
        value.Text = std::move(FTok.Text);
        Next();
        while (IsSymbol('+')) {
          Next();
          if (FTok.Kind != TTok::String) Fail(FTok.Pos, u"expected a string after '+'");
          value.Text += FTok.Text;
          Next();
        }
        return;
      case TTok::Ident:
        value.Kind = TFormValue::fvIdent;
        value.Text = std::move(FTok.Text);
        Next();
        return;
      case TTok::Binary:
        value.Kind = TFormValue::fvBinary;
        value.Bytes = std::move(FTok.Bytes);
        Next();
        return;
      case TTok::Symbol:
        if (FTok.Symbol == '[') return ReadSet(value);
        if (FTok.Symbol == '(') return ReadList(value);
        if (FTok.Symbol == '<') return ReadCollection(value);
        break;
      case TTok::End:
        break;
    }
    Fail(FTok.Pos, u"expected a value");
  }

  void ReadSet(TFormValue& value) {
    value.Kind = TFormValue::fvSet;
    Next();
    if (IsSymbol(']')) return Next();
    for (;;) {
      if (FTok.Kind == TTok::End) Fail(FTok.Pos, u"end of text inside a set");
      if (!IsPlainIdent()) Fail(FTok.Pos, u"expected a name in a set");
      value.Names.push_back(std::move(FTok.Text));
      Next();
      if (IsSymbol(']')) return Next();
      if (FTok.Kind == TTok::End) Fail(FTok.Pos, u"end of text inside a set");
      if (!IsSymbol(',')) Fail(FTok.Pos, u"expected ',' or ']' in a set");
      Next();
    }
  }

  void ReadList(TFormValue& value) {
    value.Kind = TFormValue::fvList;
    Enter(u"lists");
    Next();
    while (!IsSymbol(')')) {
      if (FTok.Kind == TTok::End) Fail(FTok.Pos, u"end of text inside a list");
      ReadValue(value.Items.emplace_back());
    }
    Next();
    --FDepth;
  }

  void ReadCollection(TFormValue& value) {
    value.Kind = TFormValue::fvCollection;
    Next();
    while (!IsSymbol('>')) {
      if (FTok.Kind == TTok::End) Fail(FTok.Pos, u"end of text inside a collection");
      if (!IsKeyword("item")) Fail(FTok.Pos, u"expected 'item' or '>' in a collection");
      TFormItem& item = value.Collection.emplace_back();
      item.Pos = FTok.Pos;
      Enter(u"collection items");
      Next();
      for (;;) {
        if (FTok.Kind == TTok::End) Fail(FTok.Pos, u"end of text inside a collection item");
        if (IsKeyword("end")) break;
        if (FTok.Kind != TTok::Ident || IsObjectKeyword()) {
          Fail(FTok.Pos, u"expected a property or 'end' in a collection item");
        }
        ReadProperty(item.Properties.emplace_back());
      }
      Next();
      --FDepth;
    }
    Next();
  }
};

}  // namespace

TFormObject ReadFormText(std::string_view text) {
  return TFormReader(text).ReadRoot();
}

// --- writing -------------------------------------------------------------------

namespace {

// A name the reader reads back as one token: letters (any script), digits
// and "_", not starting with a digit; dotted names have dots between
// non-empty parts. Surrogates must pair, so that the UTF-8 is exact.
bool IsName(const String& s, bool dotted) {
  if (s.empty()) return false;
  bool partStart = true;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const Char c = s[i];
    if (c == u'.' && dotted && !partStart && i + 1 < s.size()) {
      partStart = true;
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      return false;
    } else if (c < 0x80 && !IsIdentChar(static_cast<unsigned char>(c))) {
      return false;
    } else if (partStart && c >= u'0' && c <= u'9') {
      return false;
    }
    partStart = false;
  }
  return true;
}

// Names that start or end an object where a property would.
bool IsReservedName(const String& s) {
  return SameText(s, u"end") || SameText(s, u"object") || SameText(s, u"inherited") || SameText(s, u"inline");
}

class TFormWriter {
 public:
  std::string Write(const TFormObject& root) {
    WriteObject(root, 0);
    return std::move(FOut);
  }

 private:
  std::string FOut;
  int FDepth = 0;
  const TFormObject* FObject = nullptr;  // for messages

  [[noreturn]] void Fail(const String& message) const {
    String where = FObject ? (FObject->Name.empty() ? FObject->ClassName : FObject->Name) : String();
    throw EFormError(u"cannot write object " + where + u": " + message);
  }

  void Indent(int level) { FOut.append(static_cast<std::size_t>(level) * 2, ' '); }
  void Line(int level) {
    FOut.push_back('\n');
    Indent(level);
  }
  void Enter(const char16_t* what) {
    if (++FDepth > kMaxFormDepth) Fail(String(what) + u" nested deeper than " + IntToStr(kMaxFormDepth));
  }
  void WriteName(const String& name, bool dotted, const char16_t* what) {
    if (!IsName(name, dotted)) Fail(u"'" + name + u"' is not a valid " + what);
    FOut += StringToUtf8(name);
  }

  void WriteObject(const TFormObject& object, int level) {
    const TFormObject* outer = FObject;
    FObject = &object;
    Enter(u"objects");
    Indent(level);
    FOut += "object ";
    if (!object.Name.empty()) {
      WriteName(object.Name, false, u"object name");
      FOut += ": ";
    }
    WriteName(object.ClassName, true, u"class name");
    FOut.push_back('\n');
    for (const TFormProperty& property : object.Properties) {
      Indent(level + 1);
      WriteProperty(property, level + 1);
      FOut.push_back('\n');
    }
    for (const TFormObject& child : object.Children) WriteObject(child, level + 1);
    Indent(level);
    FOut += "end\n";
    --FDepth;
    FObject = outer;
  }

  void WriteProperty(const TFormProperty& property, int level) {
    if (IsReservedName(property.Name)) Fail(u"'" + property.Name + u"' cannot be a property name");
    WriteName(property.Name, true, u"property name");
    FOut += " = ";
    WriteValue(property.Value, level);
  }

  // The value starts on a line of the given level; the lines it adds are
  // one level deeper.
  void WriteValue(const TFormValue& value, int level) {
    switch (value.Kind) {
      case TFormValue::fvInteger: {
        char buffer[24];
        FOut.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value.Integer).ptr);
        return;
      }
      case TFormValue::fvFloat:
        return WriteFloat(value.Float);
      case TFormValue::fvString:
        return WriteString(value.Text);
      case TFormValue::fvIdent:
        return WriteName(value.Text, true, u"identifier");
      case TFormValue::fvSet:
        FOut.push_back('[');
        for (std::size_t i = 0; i < value.Names.size(); ++i) {
          if (i > 0) FOut += ", ";
          WriteName(value.Names[i], false, u"set element");
        }
        FOut.push_back(']');
        return;
      case TFormValue::fvList:
        Enter(u"lists");
        FOut.push_back('(');
        for (const TFormValue& item : value.Items) {
          Line(level + 1);
          WriteValue(item, level + 1);
        }
        FOut.push_back(')');
        --FDepth;
        return;
      case TFormValue::fvCollection:
        FOut.push_back('<');
        for (const TFormItem& item : value.Collection) {
          Enter(u"collection items");
          Line(level + 1);
          FOut += "item";
          for (const TFormProperty& property : item.Properties) {
            Line(level + 2);
            WriteProperty(property, level + 2);
          }
          Line(level + 1);
          FOut += "end";
          --FDepth;
        }
        FOut.push_back('>');
        return;
      case TFormValue::fvBinary:
        return WriteBinary(value.Bytes, level);
    }
    Fail(u"a value of unknown kind");
  }

  // The shortest text that reads back to the same double, with a "." or an
  // "E" so that it never reads as an integer.
  void WriteFloat(double value) {
    if (!std::isfinite(value)) Fail(u"an infinite or not-a-number floating-point value cannot be stored");
    char buffer[48];
    char* end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    bool marked = false;
    for (char* p = buffer; p != end; ++p) {
      if (*p == 'e') *p = 'E';
      if (*p == '.' || *p == 'E') marked = true;
    }
    FOut.append(buffer, end);
    if (!marked) FOut += ".0";
  }

  // Printable ASCII in quotes, every other character as #n (a surrogate pair
  // as the one code it stands for).
  void WriteString(const String& text) {
    if (text.empty()) {
      FOut += "''";
      return;
    }
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const Char c = text[i];
      if (c >= 0x20 && c <= 0x7E) {
        if (!quoted) FOut.push_back('\'');
        quoted = true;
        if (c == u'\'') FOut.push_back('\'');
        FOut.push_back(static_cast<char>(c));
        continue;
      }
      if (quoted) FOut.push_back('\'');
      quoted = false;
      char32_t code = c;
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        code = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
        ++i;
      }
      char buffer[16];
      FOut.push_back('#');
      FOut.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, static_cast<std::uint32_t>(code)).ptr);
    }
    if (quoted) FOut.push_back('\'');
  }

  // Lines of 64 hexadecimal digits under the property.
  void WriteBinary(const std::string& bytes, int level) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    constexpr std::size_t kBytesPerLine = 32;
    FOut.push_back('{');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      if (i % kBytesPerLine == 0) Line(level + 1);
      const auto b = static_cast<unsigned char>(bytes[i]);
      FOut.push_back(kHex[b >> 4]);
      FOut.push_back(kHex[b & 15]);
    }
    FOut.push_back('}');
  }
};

}  // namespace

std::string WriteFormText(const TFormObject& root) {
  return TFormWriter().Write(root);
}

}  // namespace kwinet
