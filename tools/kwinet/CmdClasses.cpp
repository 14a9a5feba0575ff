// kwinet classes / props: what a form designer offers, read from the class
// registry: the palette page with its classes, and the published properties
// of one class with their kinds and stored defaults.
#include <algorithm>
#include <cstdio>
#include <memory>

#include "Tool.h"
#include "kwinet/design/KwInetClasses.h"
#include "kwinet/design/KwInetR.h"
#include "kwinet/design/RecordingDesigner.h"
#include "kwinet/storage/FormStream.h"
#include "kwinet/storage/TypInfo.h"

namespace kwinet::tool {
namespace {

// The suite's page as a form designer shows it: Register() run against a
// designer that records what it is given.
void ListClasses() {
  auto recorder = std::make_unique<TRecordingDesigner>();
  TRecordingDesigner& designer = *recorder;
  std::unique_ptr<TDesigner> previous = SetDesigner(std::move(recorder));
  struct TRestore {
    std::unique_ptr<TDesigner>& Previous;
    ~TRestore() { SetDesigner(std::move(Previous)); }
  } restore{previous};
  kwinet::Register();
  const TRecordingDesigner::TPalettePage* page = designer.FindPage(kKwInetPalettePage);
  if (!page) throw ToolError(1, "the palette page " + StringToUtf8(kKwInetPalettePage) + " was not registered");
  Print(page->Name);
  for (const TClassInfo* info : page->Classes) Print(info->ClassName());
}

// One line of the listing: name, kind, type, default, value names.
struct TPropLine {
  String Name, Kind, Type, Default, Values;
};

String JoinNames(const std::vector<String>& names) {
  String out;
  for (const String& n : names) out += (out.empty() ? u"" : u", ") + n;
  return out;
}

// Sub-objects hold sub-objects only a few levels deep; the bound keeps a
// class that would hold itself from running away.
constexpr int kMaxSubObjectDepth = 4;

void AddLines(const TClassInfo& info, TObject* instance, const String& prefix, int depth,
              std::vector<TPropLine>& lines) {
  for (const TPropInfo* p : info.Properties()) {
    TPropLine line{prefix + p->Name, TypeKindName(p->Kind), p->TypeName, String(), String()};
    if (p->Kind != tkMethod) {
      line.Default = FormValueText(instance ? GetPropValue(instance, *p) : DefaultPropValue(info, *p));
    }
    if (p->Kind == tkEnumeration) line.Values = u"one of: " + JoinNames(p->ValueNames);
    if (p->Kind == tkSet) line.Values = u"set of: " + JoinNames(p->ValueNames);
    if (p->Kind == tkCollection) line.Values = u"items: " + p->ItemClassName;
    lines.push_back(line);
    // The properties of a sub-object, as Proxy.Port, with the values a
    // fresh owner's sub-object has.
    if (p->Kind == tkClass && instance && depth < kMaxSubObjectDepth) {
      TPersistent* sub = p->GetObject ? p->GetObject(instance) : nullptr;
      const TClassInfo* subInfo = sub ? ClassInfoOf(sub) : nullptr;
      if (subInfo) AddLines(*subInfo, sub, line.Name + u".", depth + 1, lines);
    }
  }
}

std::string ClassArg;

void ListProps() {
  RegisterKwInetClasses();
  const TClassInfo* info = GetClass(Utf8ToString(ClassArg));
  if (!info) throw ToolError(2, "Class " + ClassArg + " not found");
  // A fresh instance gives the defaults of its sub-objects too; an abstract
  // class lists its own properties only.
  std::unique_ptr<TComponent> fresh(info->CanCreate() ? info->CreateComponent(nullptr) : nullptr);
  std::vector<TPropLine> lines;
  try {
    AddLines(*info, fresh.get(), String(), 0, lines);
  } catch (const Exception& e) {
    throw ToolError(1, StringToUtf8(info->ClassName()) + ": " + e.what());
  }
  std::size_t wName = 0, wKind = 0, wType = 0, wDefault = 0;
  for (const auto& l : lines) {
    wName = std::max(wName, l.Name.size());
    wKind = std::max(wKind, l.Kind.size());
    wType = std::max(wType, l.Type.size());
    wDefault = std::max(wDefault, l.Default.size());
  }
  auto pad = [](const String& s, std::size_t width) { return s + String(width - s.size() + 2, u' '); };
  for (const auto& l : lines) {
    String text = pad(l.Name, wName) + pad(l.Kind, wKind) + pad(l.Type, wType);
    text += l.Values.empty() ? l.Default : pad(l.Default, wDefault) + l.Values;
    while (!text.empty() && text.back() == u' ') text.pop_back();
    Print(text);
  }
}

void Setup(CLI::App& app) {
  auto* classes = app.add_subcommand("classes", "List the form designer's palette page and its classes, in order");
  classes->footer("Prints the page's name, then one class a line.\nExit status: 0 done; 2 for a usage error.");
  classes->callback(ListClasses);

  ClassArg.clear();
  auto* props =
      app.add_subcommand("props", "List the published properties of CLASS in declaration order (inherited ones first)");
  props->add_option("CLASS", ClassArg, "A registered class name, e.g. TKwWhoIs")->required();
  props->footer(
      "One property a line: name, kind, type, stored default (the value a fresh object has; only other values are "
      "written to a stored form), and the value names of an enumeration or a set. The properties of a sub-object "
      "follow it with dotted names (Proxy.Port).\nExit status: 0 done; 2 for an unknown class or a usage error.");
  props->callback(ListProps);
}

Register reg({"classes", 80, Setup, nullptr});

}  // namespace
}  // namespace kwinet::tool
