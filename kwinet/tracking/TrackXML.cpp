#include "kwinet/tracking/TrackXML.h"

#include <string>

#include "kwinet/tracking/KwITrack.h"

namespace kwinet {

namespace {

// Well-formed UTF-8 with no overlong form, surrogate or value past U+10FFFF.
bool IsUtf8(const std::string& s) {
  std::size_t i = 0;
  const std::size_t n = s.size();
  while (i < n) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    int more;
    unsigned min;
    unsigned v;
    if ((c & 0xE0) == 0xC0) {
      more = 1, min = 0x80, v = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      more = 2, min = 0x800, v = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      more = 3, min = 0x10000, v = c & 0x07;
    } else {
      return false;
    }
    if (n - i <= static_cast<std::size_t>(more)) return false;
    for (int k = 1; k <= more; ++k) {
      const auto d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      v = (v << 6) | (d & 0x3F);
    }
    if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return false;
    i += static_cast<std::size_t>(more) + 1;
  }
  return true;
}

}  // namespace

String KwXMLEscape(const String& S) {
  String out;
  out.reserve(S.size());
  for (Char c : S) {
    switch (c) {
      case u'&':
        out += u"&amp;";
        break;
      case u'<':
        out += u"&lt;";
        break;
      case u'>':
        out += u"&gt;";
        break;
      case u'"':
        out += u"&quot;";
        break;
      case u'\'':
        out += u"&apos;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

void LoadTrackResponse(TKwXMLEngine& Engine, const String& Response) {
  const std::string bytes = StringToBytes(Response);
  if (IsUtf8(bytes)) {
    // A declared "utf-8" must not decode the text a second time.
    Engine.UTF8Processed = true;
    Engine.ParseXMLFromString(Utf8ToString(bytes));
  } else {
    Engine.UTF8Processed = false;
    Engine.ParseXMLFromString(Response);
  }
}

String TagValueUnder(TKwXMLEngine& Engine, TKwXMLItem* Root, const String& Tag) {
  TKwXMLItem* item = Engine.GetItemByTag(Root, Tag);
  return item ? item->GetTagValue() : String();
}

void FillTrackAddress(TKwXMLEngine& Engine, TKwXMLItem* Node, TKwInetActivityAddress& Address, const String& StateTag,
                      const String& CountryTag) {
  if (!Node) return;
  Address.SetAddressLine1(TagValueUnder(Engine, Node, u"AddressLine1"));
  Address.SetAddressLine2(TagValueUnder(Engine, Node, u"AddressLine2"));
  Address.SetAddressLine3(TagValueUnder(Engine, Node, u"AddressLine3"));
  Address.SetCity(TagValueUnder(Engine, Node, u"City"));
  Address.SetPostalCode(TagValueUnder(Engine, Node, u"PostalCode"));
  Address.SetState(TagValueUnder(Engine, Node, StateTag));
  Address.SetCountry(TagValueUnder(Engine, Node, CountryTag));
}

}  // namespace kwinet
