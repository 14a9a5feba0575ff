#include "kwinet/storage/TypInfo.h"

#include <memory>
#include <mutex>
#include <unordered_map>

namespace kwinet {

namespace {

// The process-wide table. Classes are never removed, so the pointers it
// hands out stay valid for the life of the process.
struct TRegistry {
  std::mutex Lock;
  std::vector<std::unique_ptr<TClassInfo>> Classes;  // registration order
  std::unordered_map<String, TClassInfo*> ByName;    // upper-case name
  std::unordered_map<std::type_index, TClassInfo*> ByType;
};

TRegistry& Registry() {
  static TRegistry* registry = new TRegistry;  // never freed: used until exit
  return *registry;
}

}  // namespace

String TypeKindName(TTypeKind kind) {
  switch (kind) {
    case tkString:
      return u"string";
    case tkInteger:
      return u"integer";
    case tkBoolean:
      return u"Boolean";
    case tkFloat:
      return u"floating point";
    case tkEnumeration:
      return u"enumeration";
    case tkSet:
      return u"set";
    case tkDateTime:
      return u"date-time";
    case tkClass:
      return u"class";
    case tkCollection:
      return u"collection";
    case tkStrings:
      return u"strings";
    case tkComponent:
      return u"component";
    case tkMethod:
      return u"event";
    case tkBinary:
      return u"binary";
  }
  return u"unknown";
}

bool TPropInfo::Writable() const {
  switch (Kind) {
    case tkString:
      return static_cast<bool>(SetString);
    case tkInteger:
    case tkBoolean:
    case tkEnumeration:
    case tkSet:
      return static_cast<bool>(SetOrdinal);
    case tkFloat:
    case tkDateTime:
      return static_cast<bool>(SetFloat);
    // Kept by the owner and filled in place.
    case tkClass:
    case tkCollection:
    case tkStrings:
      return static_cast<bool>(GetObject);
    case tkComponent:
      return static_cast<bool>(SetComponent);
    case tkBinary:
      return static_cast<bool>(SetBinary);
    case tkMethod:
      return false;
  }
  return false;
}

// --- TClassInfo ----------------------------------------------------------------

TClassInfo::TClassInfo(String name, String parentName, std::type_index type)
    : FName(std::move(name)), FParentName(std::move(parentName)), FType(type) {}

const TClassInfo* TClassInfo::Parent() const {
  if (FParentName.empty()) return nullptr;
  const TClassInfo* parent = GetClass(FParentName);
  if (!parent) throw EClassNotFound(u"Class %s not found (the parent of %s)", {FParentName, FName});
  return parent;
}

bool TClassInfo::InheritsFrom(const TClassInfo* other) const {
  if (!other) return false;
  // A chain longer than the registry has classes is a loop of parents.
  std::size_t steps = RegisteredClasses().size() + 1;
  for (const TClassInfo* c = this; c && steps-- > 0; c = c->Parent())
    if (c == other) return true;
  return false;
}

bool TClassInfo::InheritsFrom(const String& className) const {
  return InheritsFrom(GetClass(className));
}

std::vector<const TPropInfo*> TClassInfo::Properties() const {
  // Root first: the chain from this class up, then walked backwards.
  std::vector<const TClassInfo*> chain;
  std::size_t limit = RegisteredClasses().size() + 1;
  for (const TClassInfo* c = this; c; c = c->Parent()) {
    if (chain.size() == limit) throw EClassNotFound(u"Class %s has a loop of parents", {FName});
    chain.push_back(c);
  }
  std::vector<const TPropInfo*> props;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    for (const TPropInfo& p : (*it)->FProps) props.push_back(&p);
  return props;
}

const TPropInfo* TClassInfo::FindProperty(const String& name) const {
  for (const TPropInfo* p : Properties())
    if (SameText(p->Name, name)) return p;
  return nullptr;
}

TComponent* TClassInfo::CreateComponent(TComponent* AOwner) const {
  return FComponentFactory ? FComponentFactory(AOwner) : nullptr;
}

TCollectionItem* TClassInfo::CreateItem(TCollection* Collection) const {
  return FItemFactory ? FItemFactory(Collection) : nullptr;
}

TPropInfo& TClassInfo::AddProperty(TPropInfo prop) {
  for (TPropInfo& p : FProps)
    if (SameText(p.Name, prop.Name)) return p;
  FProps.push_back(std::move(prop));
  return FProps.back();
}

// --- the registry ----------------------------------------------------------------

TClassInfo& RegisterClassInfo(const String& name, const String& parentName, std::type_index type) {
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.Lock);
  String key = UpperCase(name);
  if (auto it = r.ByName.find(key); it != r.ByName.end()) return *it->second;
  r.Classes.push_back(std::make_unique<TClassInfo>(name, parentName, type));
  TClassInfo* info = r.Classes.back().get();
  r.ByName.emplace(std::move(key), info);
  r.ByType.emplace(type, info);  // the first class of a C++ type keeps it
  return *info;
}

const TClassInfo* GetClass(const String& name) {
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.Lock);
  auto it = r.ByName.find(UpperCase(name));
  return it == r.ByName.end() ? nullptr : it->second;
}

const TClassInfo* FindClass(const String& name) {
  const TClassInfo* info = GetClass(name);
  if (!info) throw EClassNotFound(u"Class %s not found", {name});
  return info;
}

const TClassInfo* ClassInfoOf(const TObject* object) {
  if (!object) return nullptr;
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.Lock);
  auto it = r.ByType.find(std::type_index(typeid(*object)));
  return it == r.ByType.end() ? nullptr : it->second;
}

std::vector<const TClassInfo*> RegisteredClasses() {
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.Lock);
  std::vector<const TClassInfo*> all;
  all.reserve(r.Classes.size());
  for (auto& c : r.Classes) all.push_back(c.get());
  return all;
}

}  // namespace kwinet
