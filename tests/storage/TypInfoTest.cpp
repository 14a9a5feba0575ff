#include <gtest/gtest.h>

#include <algorithm>

#include "kwinet/storage/FormStream.h"
#include "kwinet/storage/TypInfo.h"

using namespace kwinet;

namespace {

class TRegBase : public TComponent {
 public:
  using TComponent::TComponent;
  const String& First() const { return FFirst; }
  void SetFirst(const String& v) { FFirst = v; }
  int Second() const { return FSecond; }
  void SetSecond(int v) { FSecond = v; }

 private:
  String FFirst;
  int FSecond = 0;
};

class TRegChild : public TRegBase {
 public:
  using TRegBase::TRegBase;
  bool Third() const { return FThird; }
  void SetThird(bool v) { FThird = v; }

 private:
  bool FThird = false;
};

class TRegAbstract : public TComponent {
 public:
  using TComponent::TComponent;
  virtual void Run() = 0;
};

class TRegUnregistered : public TRegChild {
 public:
  using TRegChild::TRegChild;
};

class TRegOrphan : public TComponent {
 public:
  using TComponent::TComponent;
};

class TRegItem : public TCollectionItem {
 public:
  using TCollectionItem::TCollectionItem;
};

void RegisterTestClasses() {
  RegisterCoreClasses();
  // The child first: a parent is named, not looked up, at registration.
  TClassBuilder<TRegChild>(u"TRegChild", u"TRegBase").Bool(u"Third", &TRegChild::Third, &TRegChild::SetThird);
  TClassBuilder<TRegBase>(u"TRegBase", u"TComponent")
      .Str(u"First", &TRegBase::First, &TRegBase::SetFirst)
      .Int(u"Second", &TRegBase::Second, &TRegBase::SetSecond);
  TClassBuilder<TRegAbstract>(u"TRegAbstract", u"TComponent");
  TClassBuilder<TRegOrphan>(u"TRegOrphan", u"TRegMissingParent");
  TClassBuilder<TRegItem>(u"TRegItem", u"TCollectionItem");
}

std::vector<String> Names(const std::vector<const TPropInfo*>& props) {
  std::vector<String> names;
  for (auto* p : props) names.push_back(p->Name);
  return names;
}

}  // namespace

TEST(ClassRegistry, LooksUpByNameWithoutCaseAndRefusesUnknownNames) {
  RegisterTestClasses();
  const TClassInfo* child = GetClass(u"tregchild");
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->ClassName(), u"TRegChild");
  EXPECT_EQ(FindClass(u"TREGCHILD"), child);
  EXPECT_EQ(GetClass(u"TRegNothing"), nullptr);
  try {
    FindClass(u"TRegNothing");
    FAIL() << "no exception";
  } catch (const EClassNotFound& e) {
    EXPECT_EQ(e.Message(), u"Class TRegNothing not found");
  }
  // Registering again hands back the first registration, properties and all.
  TClassBuilder<TRegBase> again(u"TRegBase", u"TComponent");
  again.Str(u"First", &TRegBase::First, &TRegBase::SetFirst);
  EXPECT_FALSE(again.Fresh());
  EXPECT_EQ(&again.Info(), GetClass(u"TRegBase"));
  EXPECT_EQ(GetClass(u"TRegBase")->OwnProperties().size(), 2u);
  auto all = RegisteredClasses();
  auto at = [&](const char16_t* n) { return std::find(all.begin(), all.end(), GetClass(n)) - all.begin(); };
  EXPECT_LT(at(u"TRegChild"), at(u"TRegBase"));  // registration order
}

TEST(ClassRegistry, PropertiesAreInheritedFirstThenDeclarationOrder) {
  RegisterTestClasses();
  const TClassInfo* child = FindClass(u"TRegChild");
  EXPECT_EQ(Names(child->Properties()), (std::vector<String>{u"First", u"Second", u"Third"}));
  EXPECT_EQ(child->FindProperty(u"second"), FindClass(u"TRegBase")->FindProperty(u"Second"));
  EXPECT_EQ(child->FindProperty(u"Fourth"), nullptr);
  EXPECT_TRUE(child->InheritsFrom(u"TComponent"));
  EXPECT_TRUE(child->InheritsFrom(u"tpersistent"));
  EXPECT_FALSE(FindClass(u"TRegBase")->InheritsFrom(child));

  TRegChild object(nullptr);
  const TPropInfo* second = child->FindProperty(u"Second");
  second->SetOrdinal(&object, 42);
  EXPECT_EQ(object.Second(), 42);
  EXPECT_EQ(second->GetOrdinal(&object), 42);
  EXPECT_EQ(second->TypeName, u"Integer");
  EXPECT_EQ(TypeKindName(second->Kind), u"integer");
}

TEST(ClassRegistry, AParentThatIsNotRegisteredFailsAtLookup) {
  RegisterTestClasses();
  const TClassInfo* orphan = FindClass(u"TRegOrphan");
  EXPECT_EQ(orphan->ParentName(), u"TRegMissingParent");
  try {
    orphan->Properties();
    FAIL() << "no exception";
  } catch (const EClassNotFound& e) {
    EXPECT_EQ(e.Message(), u"Class TRegMissingParent not found (the parent of TRegOrphan)");
  }
  EXPECT_THROW(orphan->InheritsFrom(u"TComponent"), EClassNotFound);
}

TEST(ClassRegistry, FactoriesAndTheExactTypeOfAnObject) {
  RegisterTestClasses();
  const TClassInfo* child = FindClass(u"TRegChild");
  ASSERT_TRUE(child->CanCreate());
  TComponent owner(nullptr);
  TComponent* made = child->CreateComponent(&owner);
  EXPECT_NE(dynamic_cast<TRegChild*>(made), nullptr);
  EXPECT_EQ(made->Owner(), &owner);
  EXPECT_EQ(ClassInfoOf(made), child);

  EXPECT_FALSE(FindClass(u"TRegAbstract")->CanCreate());
  EXPECT_EQ(FindClass(u"TRegAbstract")->CreateComponent(nullptr), nullptr);

  const TClassInfo* item = FindClass(u"TRegItem");
  ASSERT_TRUE(item->CanCreateItem());
  TCollection items([](TCollection* c) { return new TRegItem(c); });
  EXPECT_EQ(item->CreateItem(&items)->Collection(), &items);
  EXPECT_EQ(items.Count(), 1);

  // Only the exact C++ type is known.
  TRegUnregistered sub(nullptr);
  EXPECT_EQ(ClassInfoOf(&sub), nullptr);
  EXPECT_EQ(ClassInfoOf(nullptr), nullptr);
}

TEST(ClassRegistry, CoreClassesGiveTheRootsOthersNameAsParents) {
  RegisterCoreClasses();
  RegisterCoreClasses();  // harmless again
  EXPECT_EQ(Names(FindClass(u"TForm")->Properties()),
            (std::vector<String>{u"Caption", u"ClientHeight", u"ClientWidth", u"Left", u"Top"}));
  EXPECT_EQ(Names(FindClass(u"TImage")->Properties()),
            (std::vector<String>{u"Left", u"Top", u"Width", u"Height", u"Visible", u"Enabled"}));
  for (const char16_t* name : {u"TPersistent", u"TComponent", u"TCollection", u"TCollectionItem", u"TControl",
                               u"TImage", u"TCustomForm", u"TForm"})
    EXPECT_NE(GetClass(name), nullptr) << StringToUtf8(name);
  EXPECT_TRUE(FindClass(u"TForm")->InheritsFrom(u"TCustomForm"));
  EXPECT_TRUE(FindClass(u"TImage")->InheritsFrom(u"TControl"));
  EXPECT_TRUE(FindClass(u"TForm")->CanCreate());

  // A control's bounds are set one side at a time.
  TForm form(nullptr);
  TImage* image = new TImage(&form);
  const TClassInfo* cls = ClassInfoOf(image);
  ASSERT_EQ(cls, FindClass(u"TImage"));
  cls->FindProperty(u"Width")->SetOrdinal(image, 24);
  cls->FindProperty(u"Left")->SetOrdinal(image, 5);
  EXPECT_EQ(image->Width(), 24);
  EXPECT_EQ(image->Left(), 5);
  EXPECT_EQ(image->Top(), 0);
}
