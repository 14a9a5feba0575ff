// Every registered class that a form can create goes through a stored form
// and back: a fresh one writes no properties, and one with every published
// property changed writes a text that reads back into the same component
// and writes the same text again.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "kwinet/core/Classes.h"
#include "kwinet/core/FormStream.h"
#include "kwinet/core/StringList.h"
#include "kwinet/core/TypInfo.h"
#include "kwinet/design/KwInetClasses.h"

namespace kwinet {
namespace {

// Values for properties whose setters have rules, or where the generic value
// would not stay: "Class.Property", the class being the one that publishes
// it or any class below it. A string, an integer (also an enumeration's
// ordinal or a set's bits), a float, or the bytes of a binary property.
using TValue = std::variant<String, std::int64_t, double, std::string>;
const std::map<String, TValue>& PresetValues() {
  static const std::map<String, TValue> values = {
      // Writing a host name to Address lands in Host.
      {u"TKwInetBase.Address", String(u"127.0.0.2")},
      // Text is Name and Address in one: a text that sets both.
      {u"TKwIEMailAddress.Text", String(u"Jo Brown <jo@example.org>")},
  };
  return values;
}

// Properties whose write is discarded by design.
bool WriteDiscarded(const TClassInfo& cls, const TPropInfo& p) {
  return cls.InheritsFrom(u"TKwInetBase") && p.Name == u"About";
}

const TValue* FindPreset(const TClassInfo& cls, const TPropInfo& p) {
  for (const TClassInfo* c = &cls; c; c = c->Parent()) {
    auto it = PresetValues().find(c->ClassName() + u"." + p.Name);
    if (it != PresetValues().end()) return &it->second;
  }
  return nullptr;
}

std::string Utf8(const String& s) {
  return StringToUtf8(s);
}
std::string Shown(const TFormValue& v) {
  return Utf8(FormValueText(v));
}

// A registered class that a form can create and that is (or descends
// from) the given class: a partner for a component reference.
const TClassInfo* CreatableOf(const String& typeName) {
  for (const TClassInfo* c : RegisteredClasses())
    if (c->CanCreate() && c->InheritsFrom(typeName)) return c;
  return nullptr;
}

class TFiller {
 public:
  explicit TFiller(TComponent* form) : FForm(form) {}

  // Sets every writable published property of Object (and of what it keeps)
  // to a value other than the one it has.
  void Fill(TObject* object, const TClassInfo& cls, const std::string& path) {
    for (const TPropInfo* p : cls.Properties()) Set(object, cls, *p, path + Utf8(p->Name));
  }

 private:
  void Set(TObject* object, const TClassInfo& cls, const TPropInfo& p, const std::string& path) {
    SCOPED_TRACE(path);
    const TValue* preset = FindPreset(cls, p);
    switch (p.Kind) {
      case tkMethod:
        return;
      case tkClass: {
        TPersistent* sub = p.GetObject(object);
        ASSERT_NE(sub, nullptr);
        const TClassInfo* subClass = ClassInfoOf(sub);
        if (!subClass) subClass = GetClass(p.TypeName);
        ASSERT_NE(subClass, nullptr) << "no class registered for " << Utf8(p.TypeName);
        Fill(sub, *subClass, path + ".");
        return;
      }
      case tkCollection: {
        auto* collection = dynamic_cast<TCollection*>(p.GetObject(object));
        ASSERT_NE(collection, nullptr);
        const TClassInfo* itemClass = GetClass(p.ItemClassName);
        ASSERT_TRUE(itemClass && itemClass->CanCreateItem()) << Utf8(p.ItemClassName) << " cannot make items";
        const int before = collection->Count();
        TCollectionItem* item = itemClass->CreateItem(collection);
        ASSERT_EQ(collection->Count(), before + 1);
        Fill(item, *itemClass, path + "[" + std::to_string(before) + "].");
        return;
      }
      case tkStrings: {
        auto* lines = dynamic_cast<TStrings*>(p.GetObject(object));
        ASSERT_NE(lines, nullptr);
        lines->Add(u"x" + p.Name);
        return;
      }
      default:
        break;
    }
    ASSERT_TRUE(p.Writable()) << "only sub-objects, collections, string lists and events may be read-only";
    const TFormValue before = GetPropValue(object, p);
    switch (p.Kind) {
      case tkString:
        p.SetString(object, preset ? std::get<String>(*preset) : u"x" + p.Name);
        break;
      case tkInteger:
        p.SetOrdinal(object, preset ? std::get<std::int64_t>(*preset) : p.GetOrdinal(object) + 1);
        break;
      case tkBoolean:
        p.SetOrdinal(object, p.GetOrdinal(object) ? 0 : 1);
        break;
      case tkEnumeration:
        // An enumeration of one value has nothing else to take.
        if (p.ValueNames.size() < 2) return;
        p.SetOrdinal(object, preset ? std::get<std::int64_t>(*preset)
                                    : (p.GetOrdinal(object) + 1) % std::int64_t(p.ValueNames.size()));
        break;
      case tkSet:
        p.SetOrdinal(object, preset ? std::get<std::int64_t>(*preset) : p.GetOrdinal(object) ^ 1);
        break;
      case tkFloat:
        p.SetFloat(object, preset ? std::get<double>(*preset) : p.GetFloat(object) + 1.5);
        break;
      case tkDateTime: {
        const double now = p.GetFloat(object);
        // 2025-12-08 12:00, or a day and a quarter later than it was.
        p.SetFloat(object, preset ? std::get<double>(*preset) : now == 0 ? 46000.5 : now + 1.25);
        break;
      }
      case tkComponent: {
        const TClassInfo* partner = CreatableOf(p.TypeName);
        if (!partner) return;  // nothing of the kind can be put on a form
        TComponent* other = partner->CreateComponent(FForm);
        other->SetName(u"Ref" + IntToStr(++FRefs));
        p.SetComponent(object, other);
        break;
      }
      case tkBinary:
        p.SetBinary(object, preset ? std::get<std::string>(*preset) : p.GetBinary(object) + "\x01\x7f\xff");
        break;
      default:
        ADD_FAILURE() << "unexpected kind " << Utf8(TypeKindName(p.Kind));
        return;
    }
    if (!WriteDiscarded(cls, p)) {
      EXPECT_FALSE(GetPropValue(object, p) == before) << "setting it changed nothing from " << Shown(before)
                                                      << " (a setter with rules needs a value in PresetValues)";
    }
  }

  TComponent* FForm;
  int FRefs = 0;
};

// The two objects have the same value for every published property, also
// inside what they keep.
void ExpectSameValues(TObject* a, TObject* b, const TClassInfo& cls, const std::string& path) {
  for (const TPropInfo* p : cls.Properties()) {
    const std::string name = path + Utf8(p->Name);
    switch (p->Kind) {
      case tkMethod:
        break;
      case tkClass: {
        TPersistent* subA = p->GetObject(a);
        TPersistent* subB = p->GetObject(b);
        const TClassInfo* subClass = ClassInfoOf(subA);
        if (!subClass) subClass = GetClass(p->TypeName);
        ASSERT_TRUE(subA && subB && subClass) << name;
        ExpectSameValues(subA, subB, *subClass, name + ".");
        break;
      }
      case tkCollection: {
        auto* ca = dynamic_cast<TCollection*>(p->GetObject(a));
        auto* cb = dynamic_cast<TCollection*>(p->GetObject(b));
        const TClassInfo* itemClass = GetClass(p->ItemClassName);
        ASSERT_TRUE(ca && cb && itemClass) << name;
        ASSERT_EQ(ca->Count(), cb->Count()) << name;
        for (int i = 0; i < ca->Count(); ++i)
          ExpectSameValues(ca->Items(i), cb->Items(i), *itemClass, name + "[" + std::to_string(i) + "].");
        break;
      }
      default: {
        const TFormValue va = GetPropValue(a, *p);
        const TFormValue vb = GetPropValue(b, *p);
        EXPECT_TRUE(va == vb) << name << ": set " << Shown(va) << ", read back " << Shown(vb);
      }
    }
  }
}

std::vector<std::string> CreatableClassNames() {
  RegisterKwInetClasses();
  std::vector<std::string> names;
  for (const TClassInfo* c : RegisteredClasses())
    if (c->CanCreate()) names.push_back(Utf8(c->ClassName()));
  return names;
}

class RoundTrip : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    RegisterKwInetClasses();
    FClass = FindClass(Utf8ToString(GetParam()));
    FForm = std::make_unique<TForm>(nullptr);
    FForm->SetName(u"Form1");
    FSubject = FClass->CreateComponent(FForm.get());
    FSubject->SetName(u"Subject1");
  }

  const TClassInfo* FClass = nullptr;
  std::unique_ptr<TForm> FForm;
  TComponent* FSubject = nullptr;
};

TEST_P(RoundTrip, FreshComponentWritesNoProperties) {
  const TFormObject tree = WriteComponent(FForm.get());
  ASSERT_EQ(tree.Children.size(), 1u);
  EXPECT_EQ(tree.Children[0].ClassName, FClass->ClassName());
  EXPECT_TRUE(tree.Children[0].Properties.empty()) << WriteComponentText(FForm.get());
}

TEST_P(RoundTrip, EveryPropertyChangedReadsBackTheSame) {
  TFiller(FForm.get()).Fill(FSubject, *FClass, "");
  if (HasFatalFailure()) return;

  // Secrets too: a form that asks for them keeps them as well.
  const std::string first = WriteComponentText(FForm.get(), /*StoreSecrets=*/true);
  std::unique_ptr<TComponent> copy;
  try {
    copy = ReadComponentText(first);
  } catch (const Exception& e) {
    FAIL() << Utf8(e.Message()) << "\n" << first;
  }
  const std::string second = WriteComponentText(copy.get(), /*StoreSecrets=*/true);
  EXPECT_EQ(first, second);

  TComponent* back = copy->FindComponent(u"Subject1");
  ASSERT_NE(back, nullptr) << first;
  EXPECT_EQ(ClassInfoOf(back), FClass);
  ExpectSameValues(FSubject, back, *FClass, "");
}

INSTANTIATE_TEST_SUITE_P(Registered, RoundTrip, ::testing::ValuesIn(CreatableClassNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
}  // namespace kwinet
