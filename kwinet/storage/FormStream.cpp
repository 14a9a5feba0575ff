#include "kwinet/storage/FormStream.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "kwinet/core/StringList.h"

namespace kwinet {

// --- the core's own classes --------------------------------------------------------

void RegisterCoreClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    TClassBuilder<TPersistent>(u"TPersistent", u"");
    TClassBuilder<TComponent>(u"TComponent", u"TPersistent");
    TClassBuilder<TCollection>(u"TCollection", u"TPersistent");
    TClassBuilder<TCollectionItem>(u"TCollectionItem", u"TPersistent");
    TClassBuilder<TControl>(u"TControl", u"TComponent")
        .Int(u"Left", &TControl::Left, [](TControl& c, int v) { c.SetBounds(v, c.Top(), c.Width(), c.Height()); })
        .Int(u"Top", &TControl::Top, [](TControl& c, int v) { c.SetBounds(c.Left(), v, c.Width(), c.Height()); })
        .Int(u"Width", &TControl::Width, [](TControl& c, int v) { c.SetBounds(c.Left(), c.Top(), v, c.Height()); })
        .Int(u"Height", &TControl::Height, [](TControl& c, int v) { c.SetBounds(c.Left(), c.Top(), c.Width(), v); })
        .Bool(u"Visible", &TControl::Visible, &TControl::SetVisible)
        .Bool(u"Enabled", &TControl::Enabled, &TControl::SetEnabled);
    TClassBuilder<TImage>(u"TImage", u"TControl");
    TClassBuilder<TCustomForm>(u"TCustomForm", u"TComponent");
    TClassBuilder<TForm>(u"TForm", u"TCustomForm")
        .Str(u"Caption", &TForm::Caption, &TForm::SetCaption)
        .Int(u"ClientHeight", &TForm::ClientHeight, &TForm::SetClientHeight)
        .Int(u"ClientWidth", &TForm::ClientWidth, &TForm::SetClientWidth)
        .Int(u"Left", &TForm::Left, &TForm::SetLeft)
        .Int(u"Top", &TForm::Top, &TForm::SetTop);
  });
}

namespace {

// Component names in a form are compared without case.
using TNameMap = std::unordered_map<const TComponent*, String>;

// One published value of an object, flattened: sub-objects' properties
// appear under dotted paths (Proxy.Port), string lists as X.Strings. Only
// stored entries are written; the others (a sub-object itself, an event, a
// read-only value) are kept for DefaultPropValue.
struct TEntry {
  String Path;
  TFormValue Value;
  bool Stored = false;
  bool Secret = false;
};
using TEntries = std::vector<TEntry>;

// The values of a fresh object of a class, by upper-case path.
struct TDefaults {
  bool Known = false;  // false: the class cannot be created, nothing is default
  std::unordered_map<String, TFormValue> ByPath;
};

TFormValue GetValue(TObject* Instance, const TPropInfo& Prop, const TNameMap* names, int depth);
void Snapshot(TObject* object, const TClassInfo& cls, const String& prefix, TEntries& out, const TNameMap* names,
              int depth);

TFormValue Ident(const String& text) {
  TFormValue v;
  v.Kind = TFormValue::fvIdent;
  v.Text = text;
  return v;
}

const TClassInfo* ClassOfObject(const TObject* object, const String& declared) {
  if (const TClassInfo* c = ClassInfoOf(object)) return c;
  return GetClass(declared);
}

// The defaults of every class whose defaults were asked for, made once. The
// lock is recursive: a fresh object's collections ask for their items'
// defaults while the owner's are being made.
struct TDefaultCache {
  std::recursive_mutex Lock;
  std::unordered_map<const TClassInfo*, std::unique_ptr<TDefaults>> Map;
  std::unordered_set<const TClassInfo*> Making;
};

TDefaultCache& DefaultCache() {
  static TDefaultCache* cache = new TDefaultCache;  // used until exit
  return *cache;
}

TDefaults MakeDefaults(const TClassInfo& cls) {
  TDefaults d;
  TEntries entries;
  if (cls.CanCreate()) {
    std::unique_ptr<TComponent> fresh(cls.CreateComponent(nullptr));
    if (!fresh) return d;
    Snapshot(fresh.get(), cls, String(), entries, nullptr, 0);
  } else if (cls.CanCreateItem()) {
    TCollection collection([&cls](TCollection* c) { return cls.CreateItem(c); });
    TCollectionItem* item = collection.Add();
    Snapshot(item, cls, String(), entries, nullptr, 0);
  } else {
    return d;
  }
  d.Known = true;
  for (TEntry& e : entries) d.ByPath.emplace(UpperCase(e.Path), std::move(e.Value));
  return d;
}

const TDefaults& DefaultsOf(const TClassInfo& cls) {
  static const TDefaults none;
  TDefaultCache& cache = DefaultCache();
  std::lock_guard<std::recursive_mutex> lock(cache.Lock);
  if (auto it = cache.Map.find(&cls); it != cache.Map.end()) return *it->second;
  // A class whose fresh object holds items of its own class: those items
  // have no defaults to compare with.
  if (!cache.Making.insert(&cls).second) return none;
  std::unique_ptr<TDefaults> made;
  try {
    made = std::make_unique<TDefaults>(MakeDefaults(cls));
  } catch (...) {
    cache.Making.erase(&cls);
    throw;
  }
  cache.Making.erase(&cls);
  return *cache.Map.emplace(&cls, std::move(made)).first->second;
}

bool IsDefault(const TDefaults& defaults, const TEntry& e) {
  if (!defaults.Known) return false;
  auto it = defaults.ByPath.find(UpperCase(e.Path));
  return it != defaults.ByPath.end() && it->second == e.Value;
}

// Sub-objects reached through sub-objects, or items holding collections of
// items, deeper than a stored form may nest are left out.
bool TooDeep(int depth) {
  return depth >= kMaxFormDepth;
}

void Snapshot(TObject* object, const TClassInfo& cls, const String& prefix, TEntries& out, const TNameMap* names,
              int depth) {
  if (TooDeep(depth)) return;
  for (const TPropInfo* p : cls.Properties()) {
    String path = prefix + p->Name;
    if (p->Kind == tkClass) {
      TPersistent* sub = p->GetObject ? p->GetObject(object) : nullptr;
      out.push_back({path, GetValue(object, *p, names, depth), false});
      if (const TClassInfo* subClass = sub ? ClassOfObject(sub, p->TypeName) : nullptr)
        Snapshot(sub, *subClass, path + u".", out, names, depth + 1);
      continue;
    }
    bool stored = p->Kind != tkMethod && p->Writable();
    if (p->Kind == tkStrings) path += u".Strings";
    out.push_back({std::move(path), GetValue(object, *p, names, depth), stored, p->Secret});
  }
}

// The stored entries of an object that differ from the defaults.
std::vector<TFormProperty> Differences(TObject* object, const TClassInfo& cls, const TNameMap* names, int depth,
                                       bool secrets = false) {
  TEntries entries;
  Snapshot(object, cls, String(), entries, names, depth);
  const TDefaults& defaults = DefaultsOf(cls);
  std::vector<TFormProperty> props;
  for (TEntry& e : entries)
    if (e.Stored && (secrets || !e.Secret) && !IsDefault(defaults, e)) props.push_back({std::move(e.Path), std::move(e.Value), {}});
  return props;
}

TFormValue GetValue(TObject* Instance, const TPropInfo& Prop, const TNameMap* names, int depth) {
  TFormValue v;
  switch (Prop.Kind) {
    case tkString:
      v.Kind = TFormValue::fvString;
      if (Prop.GetString) v.Text = Prop.GetString(Instance);
      break;
    case tkInteger:
      v.Kind = TFormValue::fvInteger;
      if (Prop.GetOrdinal) v.Integer = Prop.GetOrdinal(Instance);
      break;
    case tkBoolean:
      v = Ident(Prop.GetOrdinal && Prop.GetOrdinal(Instance) ? u"True" : u"False");
      break;
    case tkEnumeration: {
      std::int64_t ordinal = Prop.GetOrdinal ? Prop.GetOrdinal(Instance) : 0;
      if (ordinal >= 0 && ordinal < static_cast<std::int64_t>(Prop.ValueNames.size())) {
        v = Ident(Prop.ValueNames[ordinal]);
      } else {  // a value the type does not name
        v.Kind = TFormValue::fvInteger;
        v.Integer = ordinal;
      }
      break;
    }
    case tkSet: {
      v.Kind = TFormValue::fvSet;
      std::uint64_t bits = Prop.GetOrdinal ? static_cast<std::uint64_t>(Prop.GetOrdinal(Instance)) : 0;
      for (std::size_t i = 0; i < Prop.ValueNames.size() && i < 64; ++i)
        if (bits & (std::uint64_t(1) << i)) v.Names.push_back(Prop.ValueNames[i]);
      break;
    }
    case tkFloat:
    case tkDateTime:
      v.Kind = TFormValue::fvFloat;
      if (Prop.GetFloat) v.Float = Prop.GetFloat(Instance);
      break;
    case tkClass: {
      TPersistent* sub = Prop.GetObject ? Prop.GetObject(Instance) : nullptr;
      const TClassInfo* c = sub ? ClassInfoOf(sub) : nullptr;
      v = Ident(!sub ? String(u"nil") : c ? c->ClassName() : Prop.TypeName);
      break;
    }
    case tkCollection: {
      v.Kind = TFormValue::fvCollection;
      auto* collection = dynamic_cast<TCollection*>(Prop.GetObject ? Prop.GetObject(Instance) : nullptr);
      if (!collection || TooDeep(depth)) break;
      for (int i = 0; i < collection->Count(); ++i) {
        TCollectionItem* item = collection->Items(i);
        TFormItem formItem;
        if (const TClassInfo* c = ClassOfObject(item, Prop.ItemClassName))
          formItem.Properties = Differences(item, *c, names, depth + 1);
        v.Collection.push_back(std::move(formItem));
      }
      break;
    }
    case tkStrings: {
      v.Kind = TFormValue::fvList;
      auto* strings = dynamic_cast<TStrings*>(Prop.GetObject ? Prop.GetObject(Instance) : nullptr);
      if (!strings) break;
      for (int i = 0; i < strings->Count(); ++i) {
        TFormValue line;
        line.Kind = TFormValue::fvString;
        line.Text = strings->Strings(i);
        v.Items.push_back(std::move(line));
      }
      break;
    }
    case tkComponent: {
      TComponent* c = Prop.GetComponent ? Prop.GetComponent(Instance) : nullptr;
      String name = c ? c->Name() : String();
      if (c && names)
        if (auto it = names->find(c); it != names->end()) name = it->second;
      v = Ident(name.empty() ? String(u"nil") : name);
      break;
    }
    case tkMethod:
      v = Ident(String());
      break;
    case tkBinary:
      v.Kind = TFormValue::fvBinary;
      if (Prop.GetBinary) v.Bytes = Prop.GetBinary(Instance);
      break;
  }
  return v;
}

TFormObject WriteOne(TComponent* component, const TClassInfo& cls, const TNameMap& names, bool secrets) {
  TFormObject object;
  object.Name = names.at(component);
  object.ClassName = cls.ClassName();
  object.Properties = Differences(component, cls, &names, 0, secrets);
  return object;
}

// A designer's name for an unnamed component: TKwWhoIs gives KwWhoIs1, or
// the first number that no component of the form uses yet.
String NewName(const String& className, std::unordered_set<String>& used) {
  String base = className;
  if (base.size() > 1 && (base[0] == u'T' || base[0] == u't')) base.erase(0, 1);
  for (int n = 1;; ++n) {
    String name = base + IntToStr(n);
    if (used.insert(UpperCase(name)).second) return name;
  }
}

// --- reading -------------------------------------------------------------------------

[[noreturn]] void Fail(TFormPos pos, const String& message) {
  throw EFormError(FormErrorText(pos, message));
}

String ValueKindName(const TFormValue& v) {
  switch (v.Kind) {
    case TFormValue::fvInteger:
      return u"an integer";
    case TFormValue::fvFloat:
      return u"a floating-point number";
    case TFormValue::fvString:
      return u"a string";
    case TFormValue::fvIdent:
      return u"the identifier " + v.Text;
    case TFormValue::fvSet:
      return u"a set";
    case TFormValue::fvList:
      return u"a list";
    case TFormValue::fvCollection:
      return u"a collection";
    case TFormValue::fvBinary:
      return u"binary data";
  }
  return u"a value";
}

[[noreturn]] void WrongKind(const TPropInfo& p, const TFormValue& v, const String& expected) {
  Fail(v.Pos, Format(u"%s expects %s, not %s", {p.Name, expected, ValueKindName(v)}));
}

// The range of the integer types a property may declare; others take any
// 64-bit value.
bool IntegerFits(const String& typeName, std::int64_t v) {
  struct TRange {
    const char16_t* Name;
    std::int64_t Low, High;
  };
  static const TRange ranges[] = {
      {u"Integer", std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()},
      {u"LongInt", std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()},
      {u"Cardinal", 0, std::numeric_limits<std::uint32_t>::max()},
      {u"LongWord", 0, std::numeric_limits<std::uint32_t>::max()},
      {u"SmallInt", std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()},
      {u"Word", 0, std::numeric_limits<std::uint16_t>::max()},
      {u"ShortInt", std::numeric_limits<std::int8_t>::min(), std::numeric_limits<std::int8_t>::max()},
      {u"Byte", 0, std::numeric_limits<std::uint8_t>::max()},
  };
  for (const TRange& r : ranges)
    if (SameText(typeName, r.Name)) return v >= r.Low && v <= r.High;
  return true;
}

int ValueIndex(const TPropInfo& p, const String& name) {
  for (std::size_t i = 0; i < p.ValueNames.size(); ++i)
    if (SameText(p.ValueNames[i], name)) return static_cast<int>(i);
  return -1;
}

bool Inherits(const TClassInfo& cls, const String& typeName) {
  std::size_t steps = RegisteredClasses().size() + 1;
  for (const TClassInfo* c = &cls; c && steps-- > 0; c = c->Parent())
    if (SameText(c->ClassName(), typeName)) return true;
  return false;
}

void FillStrings(TObject* object, const TPropInfo& p, const TFormValue& v) {
  auto* strings = dynamic_cast<TStrings*>(p.GetObject(object));
  if (!strings) Fail(v.Pos, Format(u"%s holds no string list", {p.Name}));
  for (const TFormValue& line : v.Items)
    if (line.Kind != TFormValue::fvString) WrongKind(p, line, u"strings");
  strings->BeginUpdate();
  strings->Clear();
  for (const TFormValue& line : v.Items) strings->Add(line.Text);
  strings->EndUpdate();
}

// One value of any kind but a collection, with its checks; a component
// reference is looked up now. What a setter refuses is raised at the value.
void AssignPlain(TObject* object, const TPropInfo& p, const TFormValue& v, const TComponentLookup& lookup) {
  try {
    switch (p.Kind) {
      case tkString:
        if (v.Kind != TFormValue::fvString) WrongKind(p, v, u"a string");
        p.SetString(object, v.Text);
        break;
      case tkInteger:
        if (v.Kind != TFormValue::fvInteger) WrongKind(p, v, u"an integer");
        if (!IntegerFits(p.TypeName, v.Integer))
          Fail(v.Pos, Format(u"%s: %s is out of range for %s", {p.Name, IntToStr(v.Integer), p.TypeName}));
        p.SetOrdinal(object, v.Integer);
        break;
      case tkBoolean:
        if (v.Kind == TFormValue::fvIdent && SameText(v.Text, u"True")) {
          p.SetOrdinal(object, 1);
        } else if (v.Kind == TFormValue::fvIdent && SameText(v.Text, u"False")) {
          p.SetOrdinal(object, 0);
        } else {
          WrongKind(p, v, u"True or False");
        }
        break;
      case tkEnumeration: {
        if (v.Kind != TFormValue::fvIdent) WrongKind(p, v, u"a value of " + p.TypeName);
        int index = ValueIndex(p, v.Text);
        if (index < 0) Fail(v.Pos, Format(u"%s: %s is not a value of %s", {p.Name, v.Text, p.TypeName}));
        p.SetOrdinal(object, index);
        break;
      }
      case tkSet: {
        if (v.Kind != TFormValue::fvSet) WrongKind(p, v, u"a set");
        std::uint64_t bits = 0;
        for (const String& name : v.Names) {
          int index = ValueIndex(p, name);
          if (index < 0 || index >= 64) Fail(v.Pos, Format(u"%s: %s is not a value of %s", {p.Name, name, p.TypeName}));
          bits |= std::uint64_t(1) << index;
        }
        p.SetOrdinal(object, static_cast<std::int64_t>(bits));
        break;
      }
      case tkFloat:
      case tkDateTime:
        if (v.Kind == TFormValue::fvFloat) {
          p.SetFloat(object, v.Float);
        } else if (v.Kind == TFormValue::fvInteger) {
          p.SetFloat(object, static_cast<double>(v.Integer));
        } else {
          WrongKind(p, v, u"a number");
        }
        break;
      case tkStrings:
        if (v.Kind != TFormValue::fvList) WrongKind(p, v, u"a list of strings");
        FillStrings(object, p, v);
        break;
      case tkComponent: {
        if (v.Kind != TFormValue::fvIdent) WrongKind(p, v, u"a component name");
        if (SameText(v.Text, u"nil")) {
          p.SetComponent(object, nullptr);
          break;
        }
        TComponent* target = lookup ? lookup(v.Text) : nullptr;
        if (!target) Fail(v.Pos, Format(u"%s: no component named %s in the form", {p.Name, v.Text}));
        const TClassInfo* cls = ClassInfoOf(target);
        if (!cls || !Inherits(*cls, p.TypeName))
          Fail(v.Pos, Format(u"%s: %s is a %s, not a %s",
                             {p.Name, v.Text, cls ? cls->ClassName() : target->ClassName(), p.TypeName}));
        p.SetComponent(object, target);
        break;
      }
      case tkBinary:
        if (v.Kind != TFormValue::fvBinary) WrongKind(p, v, u"binary data");
        p.SetBinary(object, v.Bytes);
        break;
      case tkCollection:
      case tkClass:
      case tkMethod:
        Fail(v.Pos, Format(u"%s cannot be set from one value", {p.Name}));
    }
  } catch (const EFormError&) {
    throw;
  } catch (const Exception& e) {
    Fail(v.Pos, e.Message());
  }
}

class TReader {
 public:
  explicit TReader(TComponent* root) : FRoot(root) {}

  // Creates the objects below the root (owned by the root, whatever their
  // nesting in the text) and assigns every object's properties, walking
  // the tree with a stack of its own.
  void ReadObjects(const TFormObject& rootObject, const TClassInfo& rootClass) {
    AddName(FRoot, rootObject);
    AssignProperties(FRoot, rootClass, rootObject.Properties, 0);
    std::vector<std::pair<const TFormObject*, std::size_t>> stack{{&rootObject, 0}};
    while (!stack.empty()) {
      auto& [parent, next] = stack.back();
      if (next == parent->Children.size()) {
        stack.pop_back();
        continue;
      }
      const TFormObject& child = parent->Children[next++];
      const TClassInfo* cls = CreatableClass(child);
      TComponent* component = nullptr;
      try {
        component = cls->CreateComponent(FRoot);
      } catch (const Exception& e) {
        Fail(child.Pos, e.Message());
      }
      if (!component) Fail(child.Pos, Format(u"%s cannot be created", {child.ClassName}));
      AddName(component, child);
      AssignProperties(component, *cls, child.Properties, 0);
      stack.emplace_back(&child, 0);
    }
  }

  // Sets the component references, now that every component exists.
  void FixUp() {
    const TComponentLookup lookup = [this](const String& name) -> TComponent* {
      auto it = FByName.find(UpperCase(name));
      return it == FByName.end() ? nullptr : it->second;
    };
    for (const TFixUp& f : FFixUps) {
      TFormValue v = Ident(f.Name);
      v.Pos = f.Pos;
      AssignPlain(f.Object, *f.Prop, v, lookup);
    }
  }

  static const TClassInfo* CreatableClass(const TFormObject& object) {
    const TClassInfo* cls = GetClass(object.ClassName);
    if (!cls) Fail(object.Pos, Format(u"Class %s not found", {object.ClassName}));
    if (!cls->CanCreate())
      Fail(object.Pos, Format(u"%s is not a component class that can be created", {cls->ClassName()}));
    return cls;
  }

 private:
  struct TFixUp {
    TObject* Object;
    const TPropInfo* Prop;
    String Name;
    TFormPos Pos;
  };

  void AddName(TComponent* component, const TFormObject& object) {
    if (object.Name.empty()) return;
    if (!FByName.emplace(UpperCase(object.Name), component).second)
      Fail(object.Pos, Format(u"A component named %s already exists", {object.Name}));
    component->SetName(object.Name);
  }

  // Assigns in the class's declaration order (of each name's first part),
  // the text's order among equals.
  void AssignProperties(TObject* object, const TClassInfo& cls, const std::vector<TFormProperty>& props, int depth) {
    if (TooDeep(depth)) Fail(props.empty() ? TFormPos{} : props.front().Pos, u"Collections nested too deeply");
    std::vector<const TPropInfo*> declared;
    try {
      declared = cls.Properties();
    } catch (const Exception& e) {
      Fail(props.empty() ? TFormPos{} : props.front().Pos, e.Message());
    }
    std::vector<std::pair<std::size_t, const TFormProperty*>> order;
    std::unordered_set<String> seen;
    for (const TFormProperty& prop : props) {
      String first = prop.Name.substr(0, prop.Name.find(u'.'));
      auto at =
          std::find_if(declared.begin(), declared.end(), [&](const TPropInfo* p) { return SameText(p->Name, first); });
      if (at == declared.end()) Fail(prop.Pos, Format(u"%s has no property %s", {cls.ClassName(), first}));
      // A second value for the same property could free what the first
      // created while a reference still waits for it.
      if (!seen.insert(UpperCase(prop.Name)).second) Fail(prop.Pos, Format(u"%s is set twice", {prop.Name}));
      order.emplace_back(at - declared.begin(), &prop);
    }
    std::stable_sort(order.begin(), order.end(), [](auto& a, auto& b) { return a.first < b.first; });
    for (auto& [index, prop] : order) AssignOne(object, cls, *prop, depth);
  }

  // Name may walk into sub-objects (Proxy.Port) and end in Strings for a
  // string list (ServerList.Strings).
  void AssignOne(TObject* object, const TClassInfo& cls, const TFormProperty& prop, int depth) {
    TObject* current = object;
    const TClassInfo* currentClass = &cls;
    std::size_t start = 0;
    for (;;) {
      std::size_t dot = prop.Name.find(u'.', start);
      String segment = prop.Name.substr(start, dot == String::npos ? String::npos : dot - start);
      if (segment.empty()) Fail(prop.Pos, Format(u"Bad property name %s", {prop.Name}));
      const TPropInfo* p = nullptr;
      try {
        p = currentClass->FindProperty(segment);
      } catch (const Exception& e) {
        Fail(prop.Pos, e.Message());
      }
      if (!p) Fail(prop.Pos, Format(u"%s has no property %s", {currentClass->ClassName(), segment}));
      if (dot == String::npos) return AssignValue(current, *p, prop, depth);
      String rest = prop.Name.substr(dot + 1);
      if (p->Kind == tkStrings && SameText(rest, u"Strings")) return AssignValue(current, *p, prop, depth);
      if (p->Kind != tkClass) Fail(prop.Pos, Format(u"%s is not an object: %s cannot be set", {p->Name, prop.Name}));
      TPersistent* sub = p->GetObject ? p->GetObject(current) : nullptr;
      if (!sub) Fail(prop.Pos, Format(u"%s is nil: %s cannot be set", {p->Name, prop.Name}));
      currentClass = ClassOfObject(sub, p->TypeName);
      if (!currentClass) Fail(prop.Pos, Format(u"Class %s not found", {p->TypeName}));
      current = sub;
      start = dot + 1;
    }
  }

  void AssignValue(TObject* object, const TPropInfo& p, const TFormProperty& prop, int depth) {
    const TFormValue& v = prop.Value;
    if (p.Kind == tkMethod) Fail(prop.Pos, Format(u"%s is an event; a stored form cannot bind events", {p.Name}));
    if (p.Kind == tkClass)
      Fail(prop.Pos, Format(u"%s is an object: its properties are set one by one (%s.Name = ...)", {p.Name, p.Name}));
    if (!p.Writable()) Fail(prop.Pos, Format(u"%s is read-only", {p.Name}));
    if (p.Kind == tkCollection) {
      if (v.Kind != TFormValue::fvCollection) WrongKind(p, v, u"a collection");
      try {
        FillCollection(object, p, v, depth);
      } catch (const EFormError&) {
        throw;
      } catch (const Exception& e) {
        Fail(v.Pos, e.Message());
      }
      return;
    }
    // A reference may name a component further down the text.
    if (p.Kind == tkComponent && v.Kind == TFormValue::fvIdent && !SameText(v.Text, u"nil")) {
      FFixUps.push_back({object, &p, v.Text, v.Pos});
      return;
    }
    AssignPlain(object, p, v, {});
  }

  void FillCollection(TObject* object, const TPropInfo& p, const TFormValue& v, int depth) {
    auto* collection = dynamic_cast<TCollection*>(p.GetObject(object));
    if (!collection) Fail(v.Pos, Format(u"%s holds no collection", {p.Name}));
    collection->BeginUpdate();  // left pending on failure: the form is freed
    collection->Clear();
    for (const TFormItem& formItem : v.Collection) {
      TCollectionItem* item = collection->Add();
      const TClassInfo* cls = ClassOfObject(item, p.ItemClassName);
      if (!cls) Fail(formItem.Pos, Format(u"Class %s not found", {p.ItemClassName}));
      AssignProperties(item, *cls, formItem.Properties, depth + 1);
    }
    collection->EndUpdate();
  }

  TComponent* FRoot;
  std::unordered_map<String, TComponent*> FByName;
  std::vector<TFixUp> FFixUps;
};

}  // namespace

// --- the public functions -------------------------------------------------------------

TFormObject WriteComponent(TComponent* Root, bool StoreSecrets) {
  RegisterCoreClasses();
  const TClassInfo* rootClass = ClassInfoOf(Root);
  if (!rootClass) throw EClassNotFound(u"Class %s not found", {Root->ClassName()});
  std::vector<std::pair<TComponent*, const TClassInfo*>> children;
  for (int i = 0; i < Root->ComponentCount(); ++i)
    if (const TClassInfo* c = ClassInfoOf(Root->Components(i))) children.emplace_back(Root->Components(i), c);

  TNameMap names;
  std::unordered_set<String> used;
  used.insert(UpperCase(Root->Name()));
  for (auto& [c, cls] : children) used.insert(UpperCase(c->Name()));
  names[Root] = Root->Name().empty() ? NewName(rootClass->ClassName(), used) : Root->Name();
  for (auto& [c, cls] : children) names[c] = c->Name().empty() ? NewName(cls->ClassName(), used) : c->Name();

  TFormObject form = WriteOne(Root, *rootClass, names, StoreSecrets);
  for (auto& [c, cls] : children) form.Children.push_back(WriteOne(c, *cls, names, StoreSecrets));
  return form;
}

std::string WriteComponentText(TComponent* Root, bool StoreSecrets) {
  return WriteFormText(WriteComponent(Root, StoreSecrets));
}

std::unique_ptr<TComponent> ReadComponent(const TFormObject& Root) {
  RegisterCoreClasses();
  const TClassInfo* cls = TReader::CreatableClass(Root);
  std::unique_ptr<TComponent> root;
  try {
    root.reset(cls->CreateComponent(nullptr));
  } catch (const Exception& e) {
    Fail(Root.Pos, e.Message());
  }
  if (!root) Fail(Root.Pos, Format(u"%s cannot be created", {Root.ClassName}));
  TReader reader(root.get());
  reader.ReadObjects(Root, *cls);
  reader.FixUp();
  return root;
}

std::unique_ptr<TComponent> ReadComponentText(std::string_view Text) {
  return ReadComponent(ReadFormText(Text));
}

void AssignPropValue(TObject* Instance, const TPropInfo& Prop, const TFormValue& Value,
                     const TComponentLookup& Lookup) {
  if (Prop.Kind == tkMethod) Fail(Value.Pos, Format(u"%s is an event; a stored form cannot bind events", {Prop.Name}));
  if (Prop.Kind == tkClass || Prop.Kind == tkCollection || !Prop.Writable())
    Fail(Value.Pos, Format(Prop.Writable() ? u"%s cannot be set from one value" : u"%s is read-only", {Prop.Name}));
  AssignPlain(Instance, Prop, Value, Lookup);
}

TFormValue GetPropValue(TObject* Instance, const TPropInfo& Prop) {
  return GetValue(Instance, Prop, nullptr, 0);
}

TFormValue DefaultPropValue(const TClassInfo& Class, const TPropInfo& Prop) {
  if (!GetClass(Class.ClassName())) throw EClassNotFound(u"Class %s not found", {Class.ClassName()});
  const TDefaults& defaults = DefaultsOf(Class);
  if (!defaults.Known)
    throw EInvalidOperation(u"%s cannot be created, so its properties have no stored defaults", {Class.ClassName()});
  String path = Prop.Name;
  if (Prop.Kind == tkStrings) path += u".Strings";
  auto it = defaults.ByPath.find(UpperCase(path));
  if (it == defaults.ByPath.end()) throw EInvalidOperation(u"%s has no property %s", {Class.ClassName(), Prop.Name});
  return it->second;
}

String FormValueText(const TFormValue& Value) {
  switch (Value.Kind) {
    case TFormValue::fvInteger:
      return IntToStr(Value.Integer);
    case TFormValue::fvFloat:
      return FloatToStr(Value.Float);
    case TFormValue::fvString: {
      // Quoted; control characters as #n, the way a stored form writes them.
      String out;
      bool quoted = false;
      for (Char c : Value.Text) {
        bool control = c < 32 || c == 127;
        if (control == quoted) {
          out += u'\'';
          quoted = !quoted;
        }
        if (control)
          out += u'#' + IntToStr(c);
        else
          out += c == u'\'' ? String(u"''") : String(1, c);
      }
      if (quoted || out.empty()) out += quoted ? u"'" : u"''";
      return out;
    }
    case TFormValue::fvIdent:
      return Value.Text;
    case TFormValue::fvSet: {
      String out = u"[";
      for (std::size_t i = 0; i < Value.Names.size(); ++i) out += (i ? u", " : u"") + Value.Names[i];
      return out + u"]";
    }
    case TFormValue::fvList: {
      std::size_t n = Value.Items.size();
      return u"(" + IntToStr(static_cast<std::int64_t>(n)) + (n == 1 ? u" line)" : u" lines)");
    }
    case TFormValue::fvCollection: {
      std::size_t n = Value.Collection.size();
      return u"<" + IntToStr(static_cast<std::int64_t>(n)) + (n == 1 ? u" item>" : u" items>");
    }
    case TFormValue::fvBinary: {
      std::size_t n = Value.Bytes.size();
      return u"{" + IntToStr(static_cast<std::int64_t>(n)) + (n == 1 ? u" byte}" : u" bytes}");
    }
  }
  return String();
}

}  // namespace kwinet
