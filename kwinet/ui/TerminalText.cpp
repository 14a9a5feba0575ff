#include "kwinet/ui/TerminalText.h"

#include <cstdio>

namespace kwinet {

std::string TerminalLine(const String& Value) {
  std::string out;
  out.reserve(Value.size());
  String text;
  for (Char c : Value) {
    if (c >= 0x20 && c != 0x7F && (c < 0x80 || c > 0x9F) && c != u'\\') {
      text.push_back(c);
      continue;
    }
    out += StringToUtf8(text);
    text.clear();
    switch (c) {
      case u'\\':
        out += "\\\\";
        break;
      case u'\n':
        out += "\\n";
        break;
      case u'\r':
        out += "\\r";
        break;
      case u'\t':
        out += "\\t";
        break;
      default: {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(c));
        out += hex;
      }
    }
  }
  return out + StringToUtf8(text);
}

}  // namespace kwinet
