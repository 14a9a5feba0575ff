// The XML engine on arbitrary input: parsing from a string and from a
// stream, handlers that reject and cancel, then every reading operation on
// every node of the tree.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "kwinet/xml/KwInetXML.h"

using namespace kwinet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t mode = data[0];
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

  TKwXMLEngine engine(nullptr);
  int tags = 0;
  if (mode & 1)
    engine.SetOnTag([&](TObject*, TKwXMLItem*, const String& name, const String&, const String&, bool& accept) {
      accept = (++tags % 3) != 0 || name.empty();
    });
  if (mode & 2) engine.SetOnAfterTag([&](TObject*, TKwXMLItem*& node, bool& cancel) { cancel = node->Level() > 40; });

  switch ((mode >> 2) & 3) {
    case 0:
      engine.ParseXMLFromString(BytesToString(bytes));
      break;
    case 1: {
      String text(bytes.size() / 2, u'\0');
      for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<Char>(static_cast<std::uint8_t>(bytes[2 * i]) |
                                    (static_cast<std::uint8_t>(bytes[2 * i + 1]) << 8));
      engine.ParseXMLFromString(text, static_cast<std::int64_t>(text.size()) - (mode >> 4));
      break;
    }
    default: {
      TMemoryStream stream;
      stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
      stream.SetPosition(mode >> 6);
      engine.LoadFromStream((mode & 4) ? 0 : static_cast<std::int64_t>(bytes.size()) / 2, &stream);
      // A second load into the same tree.
      stream.SetPosition(0);
      engine.LoadFromStream(0, &stream);
      break;
    }
  }

  // Read every node, without recursion, and search from each.
  std::vector<TKwXMLItem*> stack{engine.RootItem()};
  std::size_t visited = 0;
  while (!stack.empty() && visited < 2000) {
    TKwXMLItem* n = stack.back();
    stack.pop_back();
    ++visited;
    (void)n->GetTagValue();
    (void)XMLStringToDateTime(n->GetTagXMLValue());
    (void)engine.GetItemByTag(n, n->TagName() + u"x");
    (void)n->GetChild(n->TagName(), false);
    String path = n->TagName();
    (void)TKwXMLEngine::GetFirstTagName(path);
    (void)TKwXMLEngine::GetLastTagName(path);
    if (!n->Attributes().empty()) n->ProcessAttributes();
    for (TKwXMLItem* child : *n->Items()) stack.push_back(child);
  }
  if (engine.RootItem() && engine.RootItem()->Items()->Count() > 0) delete (*engine.RootItem()->Items())[0];
  return 0;
}
