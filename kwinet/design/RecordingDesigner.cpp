#include "kwinet/design/RecordingDesigner.h"

#include <algorithm>

namespace kwinet {

namespace {

// How far a class stands from its root; a null class (every class) stands
// before every root.
int Depth(const TClassInfo* cls) {
  int depth = -1;
  // Bounded: a registry never holds a loop of parents, but a lookup must
  // not spin if one slipped in.
  for (int i = 0; cls && i < 1024; ++i, cls = cls->Parent()) ++depth;
  return depth;
}

bool Applies(const TClassInfo* entryClass, const TClassInfo* cls) {
  return !entryClass || cls->InheritsFrom(entryClass);
}

}  // namespace

void TRecordingDesigner::DescribePackage(const String& Name, const String& Description) {
  FPackageName = Name;
  FPackageDescription = Description;
}

void TRecordingDesigner::RegisterComponents(const String& Page, const std::vector<const TClassInfo*>& Classes) {
  if (std::find(Classes.begin(), Classes.end(), nullptr) != Classes.end())
    throw Exception(u"A class for the palette page %s is missing", {Page});
  auto page = std::find_if(FPages.begin(), FPages.end(), [&](const TPalettePage& p) { return SameText(p.Name, Page); });
  if (page == FPages.end()) page = FPages.insert(FPages.end(), TPalettePage{Page, {}});
  for (const TClassInfo* cls : Classes)
    if (std::find(page->Classes.begin(), page->Classes.end(), cls) == page->Classes.end()) page->Classes.push_back(cls);
}

void TRecordingDesigner::RegisterComponentEditor(const TClassInfo* ComponentClass, TComponentEditorFactory Factory) {
  if (!ComponentClass || !Factory) throw Exception(u"A component editor needs a class and a factory");
  FComponentEditors.push_back({ComponentClass, std::move(Factory)});
}

void TRecordingDesigner::RegisterPropertyEditor(const String& PropertyType, const TClassInfo* ComponentClass,
                                                const String& PropertyName, TPropertyEditorFactory Factory) {
  if (!Factory) throw Exception(u"A property editor for %s needs a factory", {PropertyType});
  FPropertyEditors.push_back({PropertyType, ComponentClass, PropertyName, std::move(Factory)});
}

const TRecordingDesigner::TPalettePage* TRecordingDesigner::FindPage(const String& Name) const {
  for (const TPalettePage& p : FPages)
    if (SameText(p.Name, Name)) return &p;
  return nullptr;
}

std::unique_ptr<TComponentEditor> TRecordingDesigner::ComponentEditorFor(TComponent* Component) const {
  const TClassInfo* cls = Component ? ClassInfoOf(Component) : nullptr;
  if (!cls) return nullptr;
  const TComponentEditorEntry* best = nullptr;
  int bestDepth = -2;
  for (const TComponentEditorEntry& e : FComponentEditors) {
    if (!Applies(e.ComponentClass, cls)) continue;
    int depth = Depth(e.ComponentClass);
    if (depth >= bestDepth) {
      best = &e;
      bestDepth = depth;
    }
  }
  return best ? best->Factory(Component) : nullptr;
}

std::unique_ptr<TPropertyEditor> TRecordingDesigner::PropertyEditorFor(const std::vector<TPersistent*>& Components,
                                                                       const TPropInfo& Prop) const {
  if (Components.empty()) return nullptr;
  std::vector<const TClassInfo*> classes;
  for (TPersistent* c : Components) {
    const TClassInfo* cls = c ? ClassInfoOf(c) : nullptr;
    if (!cls || !cls->FindProperty(Prop.Name)) return nullptr;
    classes.push_back(cls);
  }
  const TPropertyEditorEntry* best = nullptr;
  int bestRank = -1;
  for (const TPropertyEditorEntry& e : FPropertyEditors) {
    if (!SameText(e.PropertyType, Prop.TypeName)) continue;
    if (!e.PropertyName.empty() && !SameText(e.PropertyName, Prop.Name)) continue;
    if (!std::all_of(classes.begin(), classes.end(), [&](const TClassInfo* c) { return Applies(e.ComponentClass, c); }))
      continue;
    // A named entry outranks every unnamed one whatever their classes.
    int rank = (e.PropertyName.empty() ? 0 : 1 << 16) + Depth(e.ComponentClass) + 1;
    if (rank >= bestRank) {
      best = &e;
      bestRank = rank;
    }
  }
  return best ? best->Factory(Components, Prop) : nullptr;
}

std::unique_ptr<TPropertyEditor> TRecordingDesigner::PropertyEditorFor(TComponent* Component,
                                                                       const TPropInfo& Prop) const {
  return PropertyEditorFor(std::vector<TPersistent*>{Component}, Prop);
}

}  // namespace kwinet
