#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kwinet/core/StringList.h"
#include "kwinet/storage/FormStream.h"

using namespace kwinet;

namespace {

enum TGadgetColor : std::uint8_t { gcRed, gcGreen, gcBlue };
enum TGadgetOption : std::uint8_t { goFast, goSafe, goQuiet };

// What the setters saw, in order; and how many test objects are alive.
std::vector<String> SetterLog;
int LiveObjects = 0;

class TGadgetSub : public TPersistent {
 public:
  TGadgetSub() { ++LiveObjects; }
  ~TGadgetSub() override { --LiveObjects; }
  int Port() const { return FPort; }
  void SetPort(int v) {
    FPort = v;
    SetterLog.push_back(u"Sub.Port");
  }
  const String& Host() const { return FHost; }
  void SetHost(const String& v) { FHost = v; }

 private:
  int FPort = 80;
  String FHost = u"localhost";
};

class TGadgetItem : public TCollectionItem {
 public:
  explicit TGadgetItem(TCollection* c) : TCollectionItem(c) { ++LiveObjects; }
  ~TGadgetItem() override { --LiveObjects; }
  String Label;
  int Weight = 1;
};

class TGadget : public TComponent {
 public:
  explicit TGadget(TComponent* owner) : TComponent(owner) { ++LiveObjects; }
  ~TGadget() override { --LiveObjects; }

  const String& Text() const { return FText; }
  void SetText(const String& v) {
    FText = v;
    SetterLog.push_back(u"Text");
  }
  std::int64_t Count() const { return FCount; }
  void SetCount(std::int64_t v) {
    if (v < 0) throw ERangeError(u"Count must not be negative");
    FCount = v;
    SetterLog.push_back(u"Count");
  }
  bool Active() const { return FActive; }
  void SetActive(bool v) {
    FActive = v;
    SetterLog.push_back(u"Active");
  }
  double Ratio() const { return FRatio; }
  void SetRatio(double v) { FRatio = v; }
  TGadgetColor Color() const { return FColor; }
  void SetColor(TGadgetColor v) { FColor = v; }
  TSet<TGadgetOption> Options() const { return FOptions; }
  void SetOptions(TSet<TGadgetOption> v) { FOptions = v; }
  double Stamp() const { return FStamp; }
  void SetStamp(double v) { FStamp = v; }
  TGadgetSub* Sub() { return &FSub; }
  TTypedCollection<TGadgetItem>* Items() { return &FItems; }
  TStringList* Lines() { return &FLines; }
  TGadget* Buddy() const { return FBuddy; }
  void SetBuddy(TGadget* v) { FBuddy = v; }
  const std::string& Data() const { return FData; }
  void SetData(const std::string& v) { FData = v; }
  int Small() const { return FSmall; }
  void SetSmall(int v) { FSmall = v; }
  const String& Key() const { return FKey; }
  void SetKey(const String& v) { FKey = v; }
  TNotifyEvent OnPing;

 private:
  String FText = u"x";
  std::int64_t FCount = 3;
  bool FActive = false;
  double FRatio = 0.5;
  TGadgetColor FColor = gcGreen;
  TSet<TGadgetOption> FOptions{goSafe};
  double FStamp = 0;
  TGadgetSub FSub;
  TTypedCollection<TGadgetItem> FItems;
  TStringList FLines;
  TGadget* FBuddy = nullptr;
  std::string FData;
  int FSmall = 0;
  String FKey;
};

class TWidget : public TComponent {
 public:
  using TComponent::TComponent;
};

void RegisterTestClasses() {
  RegisterCoreClasses();
  TClassBuilder<TGadgetSub>(u"TGadgetSub", u"TPersistent")
      .Int(u"Port", &TGadgetSub::Port, &TGadgetSub::SetPort)
      .Str(u"Host", &TGadgetSub::Host, &TGadgetSub::SetHost);
  TClassBuilder<TGadgetItem>(u"TGadgetItem", u"TCollectionItem")
      .Str(
          u"Label", [](TGadgetItem& i) { return i.Label; }, [](TGadgetItem& i, const String& v) { i.Label = v; })
      .Int(
          u"Weight", [](TGadgetItem& i) { return i.Weight; }, [](TGadgetItem& i, int v) { i.Weight = v; });
  TClassBuilder<TGadget> b(u"TGadget", u"TComponent");
  if (!b.Fresh()) return;
  b.Str(u"Text", &TGadget::Text, &TGadget::SetText)
      .Int(u"Count", &TGadget::Count, &TGadget::SetCount, u"Int64")
      .Bool(u"Active", &TGadget::Active, &TGadget::SetActive)
      .Float(u"Ratio", &TGadget::Ratio, &TGadget::SetRatio)
      .Enum(u"Color", u"TGadgetColor", {u"gcRed", u"gcGreen", u"gcBlue"}, &TGadget::Color, &TGadget::SetColor)
      .Set(u"Options", u"TGadgetOptions", {u"goFast", u"goSafe", u"goQuiet"}, &TGadget::Options, &TGadget::SetOptions)
      .DateTime(u"Stamp", &TGadget::Stamp, &TGadget::SetStamp)
      .Object(u"Sub", u"TGadgetSub", &TGadget::Sub)
      .Collection(u"Items", u"TCollection", u"TGadgetItem", &TGadget::Items)
      .Strings(u"Lines", &TGadget::Lines)
      .Component(u"Buddy", u"TGadget", &TGadget::Buddy, &TGadget::SetBuddy)
      .Event(u"OnPing")
      .Binary(u"Data", &TGadget::Data, &TGadget::SetData)
      .Int(u"Small", &TGadget::Small, &TGadget::SetSmall, u"Byte")
      .SecretStr(u"Key", &TGadget::Key, &TGadget::SetKey);
  TPropInfo version;
  version.Name = u"Version";
  version.TypeName = u"string";
  version.GetString = [](TObject*) { return String(u"1.0"); };
  b.Info().AddProperty(version);
  TClassBuilder<TWidget>(u"TWidget", u"TComponent");
}

class FormStream : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterTestClasses();
    SetterLog.clear();
  }
  void TearDown() override { EXPECT_EQ(LiveObjects, 0) << "objects left alive"; }
};

// Every property away from its default.
void SetEverything(TGadget& g, TGadget* buddy) {
  g.SetText(u"caf\u00e9 'quoted'\r\nline two");
  g.SetCount(5000000000LL);
  g.SetActive(true);
  g.SetRatio(0.1);
  g.SetColor(gcBlue);
  g.SetOptions({goFast, goQuiet});
  g.SetStamp(46000.75);
  g.Sub()->SetPort(8080);
  g.Sub()->SetHost(u"proxy.test");
  g.Items()->Add()->Label = u"one";
  g.Items()->Add()->Weight = 7;
  g.Lines()->Add(u"com=whois.example");
  g.Lines()->Add(u"");
  g.SetBuddy(buddy);
  g.SetData(std::string("\x00\xff\x10", 3));
  g.SetSmall(200);
}

}  // namespace

TEST_F(FormStream, EveryKindRoundTripsByteIdentically) {
  std::string first;
  {
    TForm form(nullptr);
    form.SetName(u"Jobs");
    form.SetCaption(u"Nightly");
    auto* g1 = new TGadget(&form);
    g1->SetName(u"G1");
    auto* g2 = new TGadget(&form);  // unnamed: given Gadget1
    SetEverything(*g1, g2);
    g2->SetBuddy(g1);
    first = WriteComponentText(&form);
  }
  const std::string expected =
      "object Jobs: TForm\n"
      "  Caption = 'Nightly'\n"
      "  object G1: TGadget\n"
      "    Text = 'caf'#233' ''quoted'''#13#10'line two'\n"
      "    Count = 5000000000\n"
      "    Active = True\n"
      "    Ratio = 0.1\n"
      "    Color = gcBlue\n"
      "    Options = [goFast, goQuiet]\n"
      "    Stamp = 46000.75\n"
      "    Sub.Port = 8080\n"
      "    Sub.Host = 'proxy.test'\n"
      "    Items = <\n"
      "      item\n"
      "        Label = 'one'\n"
      "      end\n"
      "      item\n"
      "        Weight = 7\n"
      "      end>\n"
      "    Lines.Strings = (\n"
      "      'com=whois.example'\n"
      "      '')\n"
      "    Buddy = Gadget1\n"
      "    Data = {\n"
      "      00FF10}\n"
      "    Small = 200\n"
      "  end\n"
      "  object Gadget1: TGadget\n"
      "    Buddy = G1\n"
      "  end\n"
      "end\n";
  EXPECT_EQ(first, expected);

  auto read = ReadComponentText(first);
  EXPECT_EQ(WriteComponentText(read.get()), first);
  auto* g1 = dynamic_cast<TGadget*>(read->FindComponent(u"G1"));
  auto* g2 = dynamic_cast<TGadget*>(read->FindComponent(u"Gadget1"));
  ASSERT_TRUE(g1 && g2);
  EXPECT_EQ(g1->Owner(), read.get());
  EXPECT_EQ(g1->Buddy(), g2);
  EXPECT_EQ(g2->Buddy(), g1);
  EXPECT_EQ(g1->Text(), u"caf\u00e9 'quoted'\r\nline two");
  EXPECT_EQ(g1->Data(), std::string("\x00\xff\x10", 3));
  EXPECT_EQ(g1->Items()->Count(), 2);
  EXPECT_EQ(g1->Items()->Items(1)->Weight, 7);
  EXPECT_EQ(g1->Lines()->Count(), 2);
  EXPECT_EQ(g1->Options(), (TSet<TGadgetOption>{goFast, goQuiet}));
  EXPECT_EQ(dynamic_cast<TForm*>(read.get())->Caption(), u"Nightly");
}

TEST_F(FormStream, OnlyDefaultsWritesNoProperties) {
  TForm form(nullptr);
  new TGadget(&form);
  new TWidget(&form);
  new TComponent(&form);  // TComponent is registered: written too
  EXPECT_EQ(WriteComponentText(&form),
            "object Form1: TForm\n"
            "  object Gadget1: TGadget\n"
            "  end\n"
            "  object Widget1: TWidget\n"
            "  end\n"
            "  object Component1: TComponent\n"
            "  end\n"
            "end\n");
  // A collection or a string list is default only as a whole.
  auto* g = new TGadget(&form);
  g->SetName(u"G");
  g->Items()->Add();
  TFormObject tree = WriteComponent(&form);
  ASSERT_EQ(tree.Children.size(), 4u);
  ASSERT_EQ(tree.Children[3].Properties.size(), 1u);
  EXPECT_EQ(tree.Children[3].Properties[0].Name, u"Items");
  EXPECT_EQ(tree.Children[3].Properties[0].Value.Collection.size(), 1u);
  EXPECT_TRUE(tree.Children[3].Properties[0].Value.Collection[0].Properties.empty());
}

TEST_F(FormStream, ASecretIsStoredOnlyWhenAskedFor) {
  TForm form(nullptr);
  auto* g = new TGadget(&form);
  g->SetText(u"t");
  g->SetKey(u"s3cret");
  const std::string without = WriteComponentText(&form);
  EXPECT_EQ(without.find("s3cret"), std::string::npos) << without;
  EXPECT_NE(without.find("Text = 't'"), std::string::npos) << without;
  const std::string with = WriteComponentText(&form, true);
  EXPECT_NE(with.find("Key = 's3cret'"), std::string::npos) << with;
  auto read = ReadComponentText(with);
  EXPECT_EQ(dynamic_cast<TGadget*>(read->Components(0))->Key(), u"s3cret");
}

TEST_F(FormStream, PropertiesAreAssignedInDeclarationOrder) {
  auto form = ReadComponentText(
      "object F: TForm\n"
      "  object G: TGadget\n"
      "    Sub.Port = 1\n"
      "    Active = True\n"
      "    Count = 2\n"
      "    Lines = (\n"
      "      'short form')\n"
      "    Text = 'a'\n"
      "  end\n"
      "end\n");
  EXPECT_EQ(SetterLog, (std::vector<String>{u"Text", u"Count", u"Active", u"Sub.Port"}));
  auto* g = dynamic_cast<TGadget*>(form->FindComponent(u"G"));
  ASSERT_TRUE(g);
  EXPECT_EQ(g->Lines()->Text(), u"short form\r\n");
}

TEST_F(FormStream, AReferenceToALaterComponentIsFixedUpAfterTheForm) {
  auto form = ReadComponentText(
      "object F: TForm\n"
      "  object A: TGadget\n"
      "    Buddy = b\n"
      "  end\n"
      "  object Outer: TGadget\n"
      "    object B: TGadget\n"
      "      Buddy = Outer\n"
      "    end\n"
      "  end\n"
      "end\n");
  auto* a = dynamic_cast<TGadget*>(form->FindComponent(u"A"));
  auto* b = dynamic_cast<TGadget*>(form->FindComponent(u"B"));
  ASSERT_TRUE(a && b);  // a nested object is owned by the form as well
  EXPECT_EQ(a->Buddy(), b);
  EXPECT_EQ(b->Buddy(), form->FindComponent(u"Outer"));
  EXPECT_EQ(form->ComponentCount(), 3);
}

TEST_F(FormStream, BadFormsNameTheLineAndColumnAndLeaveNothingBehind) {
  struct Case {
    const char* body;  // the lines inside "object G: TGadget"
    const char* message;
  } cases[] = {
      {"    Nope = 1\n", "line 3, column 5: TGadget has no property Nope"},
      {"    Sub.Nope = 1\n", "line 3, column 5: TGadgetSub has no property Nope"},
      {"    Text.Port = 1\n", "line 3, column 5: Text is not an object: Text.Port cannot be set"},
      {"    Text = 1\n", "line 3, column 12: Text expects a string, not an integer"},
      {"    Count = 'many'\n", "line 3, column 13: Count expects an integer, not a string"},
      {"    Count = 1.5\n", "line 3, column 13: Count expects an integer, not a floating-point number"},
      {"    Count = -1\n", "line 3, column 13: Count must not be negative"},
      {"    Small = 256\n", "line 3, column 13: Small: 256 is out of range for Byte"},
      {"    Active = Yes\n", "line 3, column 14: Active expects True or False, not the identifier Yes"},
      {"    Color = gcPink\n", "line 3, column 13: Color: gcPink is not a value of TGadgetColor"},
      {"    Options = [goFast, goSlow]\n", "line 3, column 15: Options: goSlow is not a value of TGadgetOptions"},
      {"    OnPing = PingHandler\n", "line 3, column 5: OnPing is an event; a stored form cannot bind events"},
      {"    Version = '2.0'\n", "line 3, column 5: Version is read-only"},
      {"    Sub = 1\n", "line 3, column 5: Sub is an object: its properties are set one by one (Sub.Name = ...)"},
      {"    Lines.Strings = (\n      'a'\n      7)\n", "line 5, column 7: Lines expects strings, not an integer"},
      {"    Items = <\n      item\n        Colour = 1\n      end>\n",
       "line 5, column 9: TGadgetItem has no property Colour"},
      {"    Buddy = Nobody\n", "line 3, column 13: Buddy: no component named Nobody in the form"},
      {"    Buddy = W\n", "line 3, column 13: Buddy: W is a TWidget, not a TGadget"},
      {"    Buddy = 'G'\n", "line 3, column 13: Buddy expects a component name, not a string"},
      {"    Text = 'a'\n    Text = 'b'\n", "line 4, column 5: Text is set twice"},
      {"    object W: TWidget\n    end\n", "line 6, column 3: A component named W already exists"},
      {"    object X: TNothing\n    end\n", "line 3, column 5: Class TNothing not found"},
      {"    object X: TGadgetSub\n    end\n",
       "line 3, column 5: TGadgetSub is not a component class that can be created"},
  };
  for (const Case& c : cases) {
    std::string text =
        std::string("object F: TForm\n  object G: TGadget\n") + c.body + "  end\n  object W: TWidget\n  end\nend\n";
    try {
      ReadComponentText(text);
      ADD_FAILURE() << "no error for\n" << text;
    } catch (const EFormError& e) {
      EXPECT_EQ(StringToUtf8(e.Message()), c.message) << text;
    }
    EXPECT_EQ(LiveObjects, 0) << text;
  }
  try {
    ReadComponentText("object G: TGadget\nend\n");  // fine as a root
    ReadComponentText("object S: TGadgetSub\nend\n");
    ADD_FAILURE() << "no error";
  } catch (const EFormError& e) {
    EXPECT_EQ(e.Message(), u"line 1, column 1: TGadgetSub is not a component class that can be created");
  }
}

TEST_F(FormStream, ValuesForListingsAndDefaults) {
  const TClassInfo* cls = FindClass(u"TGadget");
  EXPECT_EQ(DefaultPropValue(*cls, *cls->FindProperty(u"Count")).Integer, 3);
  EXPECT_EQ(FormValueText(DefaultPropValue(*cls, *cls->FindProperty(u"Options"))), u"[goSafe]");
  EXPECT_EQ(FormValueText(DefaultPropValue(*cls, *cls->FindProperty(u"Version"))), u"'1.0'");
  EXPECT_EQ(FormValueText(DefaultPropValue(*cls, *cls->FindProperty(u"Sub"))), u"TGadgetSub");
  EXPECT_EQ(FormValueText(DefaultPropValue(*cls, *cls->FindProperty(u"Buddy"))), u"nil");

  TGadget g(nullptr);
  SetEverything(g, nullptr);
  struct Case {
    const char16_t* prop;
    const char16_t* text;
  } cases[] = {
      {u"Text", u"'caf\u00e9 ''quoted'''#13#10'line two'"},
      {u"Count", u"5000000000"},
      {u"Active", u"True"},
      {u"Color", u"gcBlue"},
      {u"Items", u"<2 items>"},
      {u"Lines", u"(2 lines)"},
      {u"Data", u"{3 bytes}"},
      {u"OnPing", u""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FormValueText(GetPropValue(&g, *cls->FindProperty(c.prop))), c.text) << StringToUtf8(c.prop);
}
