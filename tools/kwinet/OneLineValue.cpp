// Text from a server shown on a terminal, one value a line.
#include <cstdio>

#include "Tool.h"

namespace kwinet::tool {

std::string OneLineValue(const String& value) {
  std::string out;
  out.reserve(value.size());
  String text;
  for (Char c : value) {
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

}  // namespace kwinet::tool
