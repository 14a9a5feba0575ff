#include "kwinet/translate/MSTranslatorAnswer.h"

#include "kwinet/xml/KwInetXML.h"

namespace kwinet {

namespace {

// Parses the answer into Engine. The bytes are decoded here, once, so the
// engine must not decode them again for a "utf-8" declaration.
void ParseAnswer(std::string_view Answer, TKwXMLEngine& Engine) {
  if (Answer.substr(0, 3) == "\xEF\xBB\xBF") Answer.remove_prefix(3);
  Engine.UTF8Processed = true;
  Engine.ParseXMLFromString(Utf8ToString(Answer));
}

// The engine stores the first tag in its root. A declaration (or a doctype,
// a processing instruction) is never closed, so the document element is
// then the first element below it.
TKwXMLItem* DocumentElement(TKwXMLEngine& Engine) {
  TKwXMLItem* node = Engine.RootItem();
  while (node) {
    const String name = node->TagName();
    if (name.empty()) return nullptr;
    if (name[0] != u'?' && name[0] != u'!') return node;
    TKwXMLItem* next = nullptr;
    for (TKwXMLItem* child : *node->Items()) {
      if (child->Kind() == ikProperty) {
        next = child;
        break;
      }
    }
    node = next;
  }
  return nullptr;
}

String TextOf(const TKwXMLItem* Item) {
  return DecodeXMLEntities(Item->Value().ToString());
}

}  // namespace

std::optional<String> ReadMSTranslatorText(std::string_view Answer) {
  TKwXMLEngine engine(nullptr);
  ParseAnswer(Answer, engine);
  const TKwXMLItem* element = DocumentElement(engine);
  if (!element) return std::nullopt;
  return TextOf(element);
}

std::vector<String> ReadMSTranslatorList(std::string_view Answer) {
  TKwXMLEngine engine(nullptr);
  ParseAnswer(Answer, engine);
  std::vector<String> list;
  TKwXMLItem* element = DocumentElement(engine);
  if (!element) return list;
  for (const TKwXMLItem* child : *element->Items()) {
    if (child->Kind() != ikProperty) continue;
    String text = TextOf(child);
    if (!text.empty()) list.push_back(std::move(text));
  }
  return list;
}

}  // namespace kwinet
