/// @file
/// The class registry: persistent and component classes by name, each with
/// its parent, a factory and its published properties in declaration order
/// (inherited ones first). Stored forms (FormStream.h) and the form designer
/// read and write components through it.
///
/// Thread-safety: classes may be registered and looked up from any thread (a
/// lock guards the registry); a class's information does not change once
/// registered.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <typeindex>
#include <utility>
#include <vector>

#include "kwinet/core/Classes.h"
#include "kwinet/core/Exceptions.h"
#include "kwinet/core/String.h"

namespace kwinet {

class TStringList;

/// "Class X not found" (FindClass, and a stored form naming an unknown class).
class EClassNotFound : public Exception {
 public:
  using Exception::Exception;
};

/// The kind of a published property.
enum TTypeKind : std::uint8_t {
  tkString,       ///< text
  tkInteger,      ///< whole number (64-bit)
  tkBoolean,      ///< True or False
  tkFloat,        ///< floating point
  tkEnumeration,  ///< one of ValueNames, by ordinal
  tkSet,          ///< a set of ValueNames, as bits (bit n = ordinal n)
  tkDateTime,     ///< a TDateTime (days since 1899-12-30), stored as a float
  tkClass,        ///< a persistent sub-object the owner keeps (Proxy, StatusDialog...)
  tkCollection,   ///< a collection the owner keeps; its items are a registered class
  tkStrings,      ///< a string list the owner keeps
  tkComponent,    ///< a reference to another component of the form, or none
  tkMethod,       ///< an event: listed, never stored
  tkBinary,       ///< bytes (a picture's data)
};

/// "string", "integer", "Boolean", "floating point", "enumeration", "set",
/// "date-time", "class", "collection", "strings", "component", "event",
/// "binary".
String TypeKindName(TTypeKind kind);

class TClassInfo;

/// One published property. The accessors that fit its kind are set, the
/// others are empty; a property without a setter is read-only (only tkClass,
/// tkCollection, tkStrings and tkMethod may lack one).
struct TPropInfo {
  /// The property's name as published.
  String Name;
  /// The kind of value.
  TTypeKind Kind = tkString;
  /// The type as a user reads it: "string", "Integer", "TKwIService",
  /// "TKwInetProxy", "TStrings"...
  String TypeName;
  /// tkEnumeration and tkSet: the value names by ordinal (isHTTP, isFTP...).
  std::vector<String> ValueNames;
  /// tkCollection: the class name of the collection's items.
  String ItemClassName;

  ///@{
  /// tkString.
  std::function<String(TObject*)> GetString;
  std::function<void(TObject*, const String&)> SetString;
  ///@}
  ///@{
  /// tkInteger, tkBoolean (0 or 1), tkEnumeration (ordinal), tkSet (bits).
  std::function<std::int64_t(TObject*)> GetOrdinal;
  std::function<void(TObject*, std::int64_t)> SetOrdinal;
  ///@}
  ///@{
  /// tkFloat, tkDateTime.
  std::function<double(TObject*)> GetFloat;
  std::function<void(TObject*, double)> SetFloat;
  ///@}
  /// tkClass, tkCollection (a TCollection), tkStrings (a TStringList): the
  /// object the owner keeps; a stored form fills it in place.
  std::function<TPersistent*(TObject*)> GetObject;
  ///@{
  /// tkComponent.
  std::function<TComponent*(TObject*)> GetComponent;
  std::function<void(TObject*, TComponent*)> SetComponent;
  ///@}
  ///@{
  /// tkBinary.
  std::function<std::string(TObject*)> GetBinary;
  std::function<void(TObject*, const std::string&)> SetBinary;
  ///@}
  /// A secret (a client secret, a key): a stored form leaves it out unless
  /// the writer is asked to store secrets.
  bool Secret = false;

  /// Whether the property has a setter.
  bool Writable() const;
};

/// A registered class: its name, its parent's name, its C++ type, its factories
/// and its published properties.
class TClassInfo {
 public:
  /// Creates a component of the class with an owner.
  using TComponentFactory = std::function<TComponent*(TComponent* AOwner)>;
  /// Creates an item of the class in a collection.
  using TItemFactory = std::function<TCollectionItem*(TCollection* Collection)>;

  /// A class with no properties or factories yet.
  TClassInfo(String name, String parentName, std::type_index type);

  /// The class's name.
  const String& ClassName() const { return FName; }
  /// The parent's name, empty for a root class.
  const String& ParentName() const { return FParentName; }
  /// The registered parent, or nullptr for a root class; EClassNotFound when
  /// the parent named at registration is not registered (so do Properties,
  /// FindProperty and InheritsFrom, which walk the parents).
  const TClassInfo* Parent() const;
  /// The class's C++ type.
  std::type_index Type() const { return FType; }
  ///@{
  /// Whether this class is the other (named) class or descends from it.
  bool InheritsFrom(const TClassInfo* other) const;
  bool InheritsFrom(const String& className) const;
  ///@}

  /// The published properties, inherited ones first, each in declaration
  /// order; a class may not declare a property its parent has.
  std::vector<const TPropInfo*> Properties() const;
  /// Case-insensitive, inherited ones included; nullptr when there is none.
  const TPropInfo* FindProperty(const String& name) const;
  /// Only the properties this class declares.
  const std::vector<TPropInfo>& OwnProperties() const { return FProps; }

  ///@{
  /// Components: a new instance with the owner; nullptr for a class that
  /// cannot be created by name (an abstract base).
  bool CanCreate() const { return static_cast<bool>(FComponentFactory); }
  TComponent* CreateComponent(TComponent* AOwner) const;
  ///@}
  ///@{
  /// Collection items: a new item added to Collection.
  bool CanCreateItem() const { return static_cast<bool>(FItemFactory); }
  TCollectionItem* CreateItem(TCollection* Collection) const;
  ///@}

  ///@{
  /// Used while registering. A name the class already declares keeps its
  /// first declaration.
  TPropInfo& AddProperty(TPropInfo prop);
  void SetComponentFactory(TComponentFactory f) { FComponentFactory = std::move(f); }
  void SetItemFactory(TItemFactory f) { FItemFactory = std::move(f); }
  ///@}

 private:
  String FName;
  String FParentName;
  std::type_index FType;
  std::vector<TPropInfo> FProps;
  TComponentFactory FComponentFactory;
  TItemFactory FItemFactory;
};

/// Registers a class, or returns the one already registered under the name
/// (registering twice is harmless: the first stays). The parent is named,
/// not looked up, so classes may be registered in any order.
TClassInfo& RegisterClassInfo(const String& name, const String& parentName, std::type_index type);

/// The class registered under the name (case-insensitive), or nullptr.
const TClassInfo* GetClass(const String& name);
/// The same, or EClassNotFound "Class %s not found".
const TClassInfo* FindClass(const String& name);
/// The registered class of the object's own C++ type, or nullptr. Only the
/// exact type is known (a std::type_index names no base), so an object of an
/// unregistered subclass of a registered class has none.
const TClassInfo* ClassInfoOf(const TObject* object);
/// Every registered class, in registration order.
std::vector<const TClassInfo*> RegisteredClasses();

/// Registers C under its name and parent and lets the caller declare its
/// published properties in declaration order:
///
///   TClassBuilder<TKwWhoIs>(u"TKwWhoIs", u"TKwInetBase")
///       .Str(u"Domain", &TKwWhoIs::Domain, &TKwWhoIs::SetDomain)
///       .Strings(u"ServerList", [](TKwWhoIs& o) { return o.ServerList(); });
///
/// Getters and setters are member function pointers or callables taking C&.
/// A class constructible from a TComponent* owner gets a component factory
/// and one constructible from a TCollection* an item factory, unless it is
/// abstract.
template <class C>
class TClassBuilder {
 public:
  /// Registers C (or takes its registration) with factories as C allows.
  TClassBuilder(const String& name, const String& parentName)
      : FInfo(RegisterClassInfo(name, parentName, std::type_index(typeid(C)))) {
    if constexpr (!std::is_abstract_v<C>) {
      if constexpr (std::is_constructible_v<C, TComponent*> && std::is_base_of_v<TComponent, C>)
        FInfo.SetComponentFactory([](TComponent* owner) -> TComponent* { return new C(owner); });
      if constexpr (std::is_constructible_v<C, TCollection*> && std::is_base_of_v<TCollectionItem, C>)
        FInfo.SetItemFactory([](TCollection* c) -> TCollectionItem* { return new C(c); });
    }
  }

  /// Declared once: a second builder for a registered class adds nothing.
  bool Fresh() const { return FInfo.OwnProperties().empty(); }
  /// The class registered.
  TClassInfo& Info() { return FInfo; }

  template <class G, class S>
  /// A string property.
  TClassBuilder& Str(const String& name, G get, S set) {
    TPropInfo p = Make(name, tkString, u"string");
    p.GetString = [get](TObject* o) { return String(std::invoke(get, Self(o))); };
    p.SetString = [set](TObject* o, const String& v) { std::invoke(set, Self(o), v); };
    return Add(std::move(p));
  }
  /// A string property that holds a secret (see TPropInfo::Secret).
  template <class G, class S>
  TClassBuilder& SecretStr(const String& name, G get, S set) {
    TPropInfo p = Make(name, tkString, u"string");
    p.GetString = [get](TObject* o) { return String(std::invoke(get, Self(o))); };
    p.SetString = [set](TObject* o, const String& v) { std::invoke(set, Self(o), v); };
    p.Secret = true;
    return Add(std::move(p));
  }
  template <class G, class S>
  /// An integer property; typeName as users read it.
  TClassBuilder& Int(const String& name, G get, S set, const String& typeName = u"Integer") {
    TPropInfo p = Make(name, tkInteger, typeName);
    p.GetOrdinal = [get](TObject* o) { return static_cast<std::int64_t>(std::invoke(get, Self(o))); };
    p.SetOrdinal = [set](TObject* o, std::int64_t v) { InvokeCast(set, Self(o), v); };
    return Add(std::move(p));
  }
  template <class G, class S>
  /// A Boolean property.
  TClassBuilder& Bool(const String& name, G get, S set) {
    TPropInfo p = Make(name, tkBoolean, u"Boolean");
    p.GetOrdinal = [get](TObject* o) { return std::int64_t(std::invoke(get, Self(o)) ? 1 : 0); };
    p.SetOrdinal = [set](TObject* o, std::int64_t v) { std::invoke(set, Self(o), v != 0); };
    return Add(std::move(p));
  }
  template <class G, class S>
  /// A floating-point property; typeName as users read it.
  TClassBuilder& Float(const String& name, G get, S set, const String& typeName = u"Double") {
    TPropInfo p = Make(name, tkFloat, typeName);
    p.GetFloat = [get](TObject* o) { return static_cast<double>(std::invoke(get, Self(o))); };
    p.SetFloat = [set](TObject* o, double v) { InvokeCast(set, Self(o), v); };
    return Add(std::move(p));
  }
  template <class G, class S>
  /// A TDateTime property, stored as a float.
  TClassBuilder& DateTime(const String& name, G get, S set) {
    TPropInfo p = Make(name, tkDateTime, u"TDateTime");
    p.GetFloat = [get](TObject* o) { return static_cast<double>(std::invoke(get, Self(o))); };
    p.SetFloat = [set](TObject* o, double v) { InvokeCast(set, Self(o), v); };
    return Add(std::move(p));
  }
  /// An unscoped enumeration; names by ordinal.
  template <class G, class S>
  TClassBuilder& Enum(const String& name, const String& typeName, std::initializer_list<const char16_t*> names, G get,
                      S set) {
    TPropInfo p = Make(name, tkEnumeration, typeName);
    for (auto* n : names) p.ValueNames.emplace_back(n);
    p.GetOrdinal = [get](TObject* o) { return static_cast<std::int64_t>(std::invoke(get, Self(o))); };
    p.SetOrdinal = [set](TObject* o, std::int64_t v) { InvokeCast(set, Self(o), v); };
    return Add(std::move(p));
  }
  /// A TSet<E>; names of E's values by ordinal.
  template <class G, class S>
  TClassBuilder& Set(const String& name, const String& typeName, std::initializer_list<const char16_t*> names, G get,
                     S set) {
    TPropInfo p = Make(name, tkSet, typeName);
    for (auto* n : names) p.ValueNames.emplace_back(n);
    p.GetOrdinal = [get](TObject* o) { return static_cast<std::int64_t>(std::invoke(get, Self(o)).Bits()); };
    p.SetOrdinal = [set](TObject* o, std::int64_t bits) {
      using SetT = std::remove_cvref_t<decltype(std::invoke(std::declval<G>(), std::declval<C&>()))>;
      SetT s;
      for (unsigned i = 0; i < 64; ++i)
        if (bits & (std::int64_t(1) << i)) s.Include(static_cast<decltype(FirstOf(s))>(i));
      std::invoke(set, Self(o), s);
    };
    return Add(std::move(p));
  }
  /// A persistent sub-object of a registered class, kept by the owner.
  template <class G>
  TClassBuilder& Object(const String& name, const String& typeName, G get) {
    TPropInfo p = Make(name, tkClass, typeName);
    p.GetObject = [get](TObject* o) -> TPersistent* { return std::invoke(get, Self(o)); };
    return Add(std::move(p));
  }
  template <class G>
  /// A collection the owner keeps, whose items are of the registered class
  /// itemClassName.
  TClassBuilder& Collection(const String& name, const String& typeName, const String& itemClassName, G get) {
    TPropInfo p = Make(name, tkCollection, typeName);
    p.ItemClassName = itemClassName;
    p.GetObject = [get](TObject* o) -> TPersistent* { return std::invoke(get, Self(o)); };
    return Add(std::move(p));
  }
  template <class G>
  /// A string list the owner keeps.
  TClassBuilder& Strings(const String& name, G get) {
    TPropInfo p = Make(name, tkStrings, u"TStrings");
    p.GetObject = [get](TObject* o) -> TPersistent* { return std::invoke(get, Self(o)); };
    return Add(std::move(p));
  }
  /// A reference to a component of typeName (or a descendant).
  template <class G, class S>
  TClassBuilder& Component(const String& name, const String& typeName, G get, S set) {
    TPropInfo p = Make(name, tkComponent, typeName);
    p.GetComponent = [get](TObject* o) -> TComponent* { return std::invoke(get, Self(o)); };
    p.SetComponent = [set](TObject* o, TComponent* c) { SetReference(set, Self(o), c); };
    return Add(std::move(p));
  }
  /// An event: listed, never stored.
  TClassBuilder& Event(const String& name, const String& typeName = u"TNotifyEvent") {
    return Add(Make(name, tkMethod, typeName));
  }
  template <class G, class S>
  /// A property of bytes (a picture's data).
  TClassBuilder& Binary(const String& name, G get, S set) {
    TPropInfo p = Make(name, tkBinary, u"binary");
    p.GetBinary = [get](TObject* o) { return std::string(std::invoke(get, Self(o))); };
    p.SetBinary = [set](TObject* o, const std::string& v) { std::invoke(set, Self(o), v); };
    return Add(std::move(p));
  }

 private:
  static C& Self(TObject* o) { return *static_cast<C*>(o); }
  static TPropInfo Make(const String& name, TTypeKind kind, const String& typeName) {
    TPropInfo p;
    p.Name = name;
    p.Kind = kind;
    p.TypeName = typeName;
    return p;
  }
  template <class E>
  static E FirstOf(const TSet<E>&);
  // Calls a setter with the value converted to the setter's parameter type.
  template <class S, class V>
  static void InvokeCast(S set, C& self, V v) {
    if constexpr (std::is_member_function_pointer_v<S>) {
      CallMember(set, self, v);
    } else {
      std::invoke(set, self, v);
    }
  }
  template <class R, class Cls, class A, class V>
  static void CallMember(R (Cls::*set)(A), C& self, V v) {
    (self.*set)(static_cast<std::remove_cvref_t<A>>(v));
  }
  template <class R, class Cls, class A>
  static void SetReference(R (Cls::*set)(A*), C& self, TComponent* c) {
    (self.*set)(c ? dynamic_cast<A*>(c) : nullptr);
  }
  template <class S>
  static void SetReference(S set, C& self, TComponent* c) {
    std::invoke(set, self, c);
  }
  // Looks at the class's own properties only: its parent may be registered
  // later.
  TClassBuilder& Add(TPropInfo p) {
    FInfo.AddProperty(std::move(p));
    return *this;
  }

  TClassInfo& FInfo;
};

}  // namespace kwinet
