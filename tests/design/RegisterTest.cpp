#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "kwinet/graphics/PictureLoader.h"
#include "kwinet/design/KwInetR.h"
#include "kwinet/design/RecordingDesigner.h"
#include "kwinet/ui/ScriptedBackend.h"

using namespace kwinet;

namespace {

const std::vector<String> kPalette = {
    u"TKwWhoIs",         u"TKwInetDateTime", u"TKwUPSTracker",   u"TKwFedExTracker",
    u"TKwIHTTPClient",   u"TKwWebUpdater",   u"TKwWebDirect",    u"TKwRemoteImage",
    u"TKwInfoExtractor", u"TKwWeatherInfo",  u"TKwRemoteFiles",  u"TKwISMTP",
    u"TKwIRSSParser",    u"TKwInetSNTP",     u"TKwMSTranslator", u"TKwIGoogleTranslator",
};

// A fresh recording designer for one test; the previous one comes back.
class TDesignerScope {
 public:
  TDesignerScope() {
    auto d = std::make_unique<TRecordingDesigner>();
    FDesigner = d.get();
    FPrevious = SetDesigner(std::move(d));
  }
  ~TDesignerScope() { SetDesigner(std::move(FPrevious)); }
  TRecordingDesigner& operator*() const { return *FDesigner; }
  TRecordingDesigner* operator->() const { return FDesigner; }

 private:
  TRecordingDesigner* FDesigner;
  std::unique_ptr<TDesigner> FPrevious;
};

std::unique_ptr<TComponent> Create(const String& className) {
  return std::unique_ptr<TComponent>(FindClass(className)->CreateComponent(nullptr));
}

std::vector<String> Names(const std::vector<const TClassInfo*>& classes) {
  std::vector<String> names;
  for (const TClassInfo* c : classes) names.push_back(c ? c->ClassName() : u"(null)");
  return names;
}

}  // namespace

TEST(Register, PutsTheSixteenClassesOnOnePageThenBothEditors) {
  TDesignerScope designer;
  Register();
  EXPECT_EQ(designer->PackageDescription(), u"Moravelle Internet components");
  ASSERT_EQ(designer->Pages().size(), 1u);
  ASSERT_NE(designer->FindPage(u"Kw-Internet"), nullptr);
  EXPECT_EQ(Names(designer->FindPage(u"Kw-Internet")->Classes), kPalette);

  std::vector<const TClassInfo*> editorClasses;
  for (const auto& e : designer->ComponentEditors()) editorClasses.push_back(e.ComponentClass);
  EXPECT_EQ(Names(editorClasses), (std::vector<String>{u"TKwInetBase", u"TKwCustomWebComponent"}));
  ASSERT_EQ(designer->PropertyEditors().size(), 1u);
  const auto& about = designer->PropertyEditors()[0];
  EXPECT_EQ(about.PropertyType, u"string");
  EXPECT_EQ(about.ComponentClass, FindClass(u"TKwInetBase"));
  EXPECT_EQ(about.PropertyName, u"About");

  // Registering again (a package loaded twice) moves nothing on the page.
  Register();
  EXPECT_EQ(Names(designer->Pages().at(0).Classes), kPalette);
}

TEST(Register, EveryComponentOfBothFamiliesHasTheOneAboutVerb) {
  TDesignerScope designer;
  Register();
  TBackendScope<TScriptedBackend> ui;
  std::vector<String> classes = kPalette;
  classes.push_back(u"TKwIDNSResolver");  // not on the page, still one of the suite
  for (const String& name : classes) {
    SCOPED_TRACE(StringToUtf8(name));
    auto component = Create(name);
    auto editor = designer->ComponentEditorFor(component.get());
    ASSERT_NE(dynamic_cast<TKwInetComponentEditor*>(editor.get()), nullptr);
    EXPECT_EQ(editor->Component(), component.get());
    EXPECT_EQ(editor->GetVerbCount(), 1);
    EXPECT_EQ(editor->GetVerb(0), u"About KwInternet");
    EXPECT_EQ(editor->GetVerb(1), u"");
    EXPECT_EQ(editor->GetVerb(-1), u"");
    // Whatever the index, the information box.
    std::size_t shown = ui->Messages.size();
    editor->ExecuteVerb(name.size() % 3);
    ASSERT_EQ(ui->Messages.size(), shown + 1);
    EXPECT_EQ(ui->Messages.back().Caption, u"About KwInternet");
    EXPECT_NE(ui->Messages.back().Text.find(u"TKwMSTranslator"), String::npos);
    EXPECT_NE(ui->Messages.back().Text.find(u"TKwISMTP"), String::npos);
  }
}

TEST(Register, AboutEditorOnTheSocketFamilyOnly) {
  TDesignerScope designer;
  Register();
  TBackendScope<TScriptedBackend> ui;
  const TPropInfo* baseAbout = FindClass(u"TKwInetBase")->FindProperty(u"About");
  ASSERT_NE(baseAbout, nullptr);
  int socketFamily = 0, webFamily = 0;
  for (const String& name : kPalette) {
    SCOPED_TRACE(StringToUtf8(name));
    const TClassInfo* cls = FindClass(name);
    auto component = Create(name);
    const TPropInfo* about = cls->FindProperty(u"About");
    if (!cls->InheritsFrom(u"TKwInetBase")) {
      ++webFamily;
      EXPECT_TRUE(cls->InheritsFrom(u"TKwCustomWebComponent"));
      EXPECT_EQ(about, nullptr);
      EXPECT_EQ(designer->PropertyEditorFor(component.get(), *baseAbout), nullptr);
      continue;
    }
    ++socketFamily;
    ASSERT_NE(about, nullptr);
    auto editor = designer->PropertyEditorFor(component.get(), *about);
    ASSERT_NE(dynamic_cast<TKwInetAboutProperty*>(editor.get()), nullptr);
    EXPECT_EQ(editor->GetAttributes(), (TPropertyAttributes{paDialog, paReadOnly}));
    EXPECT_EQ(editor->GetValue(), u"About KwInternet...");
    EXPECT_EQ(about->GetString(component.get()), u"");  // the stored value stays empty
    std::size_t shown = ui->Messages.size();
    editor->Edit();
    ASSERT_EQ(ui->Messages.size(), shown + 1);
    EXPECT_EQ(ui->Messages.back().Caption, u"About KwInternet");
  }
  EXPECT_EQ(socketFamily, 6);
  EXPECT_EQ(webFamily, 10);
  // Other string properties of the socket family keep the designer's own
  // editor: nothing is registered for them.
  auto whois = Create(u"TKwWhoIs");
  EXPECT_EQ(designer->PropertyEditorFor(whois.get(), *FindClass(u"TKwWhoIs")->FindProperty(u"Domain")), nullptr);
}

TEST(PaletteImage, OneIndexedPictureOfTwentyFourSquarePerClass) {
  std::vector<String> classes = kPalette;
  classes.push_back(u"TKwIDNSResolver");
  std::set<std::string_view> distinct;
  for (const String& name : classes) {
    SCOPED_TRACE(StringToUtf8(name));
    std::string_view png = PaletteImage(name);
    ASSERT_GT(png.size(), 33u);
    TPictureFormat format = pfNone;
    TPixelImage image;
    String error;
    ASSERT_TRUE(DecodePicture(png, format, image, error)) << StringToUtf8(error);
    EXPECT_EQ(format, pfPNG);
    EXPECT_EQ(image.Width, 24);
    EXPECT_EQ(image.Height, 24);
    // IHDR comes first: bit depth at byte 24, colour type (3: indexed) at 25.
    ASSERT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(png[24], name == u"TKwMSTranslator" ? 8 : 4);
    EXPECT_EQ(png[25], 3);
    distinct.insert(png);
  }
  EXPECT_EQ(distinct.size(), classes.size());
  EXPECT_EQ(PaletteImage(u"tkwwhois"), PaletteImage(u"TKwWhoIs"));
  EXPECT_TRUE(PaletteImage(u"TKwInetBase").empty());
  EXPECT_TRUE(PaletteImage(u"../key").empty());
}

namespace {

// Classes of the test's own to see the designer choose among editors. They
// cannot be created by name, so no test over every creatable class meets
// them.
class TProbeBase : public TComponent {
 public:
  TProbeBase(TComponent* AOwner, int) : TComponent(AOwner) {}
  const String& Caption() const { return FCaption; }
  void SetCaption(const String& value) { FCaption = value; }
  const String& Note() const { return FNote; }
  void SetNote(const String& value) { FNote = value; }

 private:
  String FCaption, FNote;
};
class TProbeChild : public TProbeBase {
 public:
  using TProbeBase::TProbeBase;
};
class TProbeGrandChild : public TProbeChild {
 public:
  using TProbeChild::TProbeChild;
};
class TProbeOther : public TProbeBase {  // in C++ a descendant, registered apart
 public:
  using TProbeBase::TProbeBase;
};

void RegisterProbes() {
  TClassBuilder<TProbeBase>(u"TProbeBase", u"TComponent")
      .Str(u"Caption", &TProbeBase::Caption, &TProbeBase::SetCaption);
  TClassBuilder<TProbeChild>(u"TProbeChild", u"TProbeBase").Str(u"Note", &TProbeBase::Note, &TProbeBase::SetNote);
  TClassBuilder<TProbeGrandChild>(u"TProbeGrandChild", u"TProbeChild");
  TClassBuilder<TProbeOther>(u"TProbeOther", u"TComponent")
      .Str(u"Caption", &TProbeBase::Caption, &TProbeBase::SetCaption);
}

class TTaggedComponentEditor : public TComponentEditor {
 public:
  TTaggedComponentEditor(TComponent* c, String tag) : TComponentEditor(c), Tag(std::move(tag)) {}
  String Tag;
};
class TTaggedProperty : public TStringProperty {
 public:
  TTaggedProperty(std::vector<TPersistent*> cs, const TPropInfo& p, String tag)
      : TStringProperty(std::move(cs), p), Tag(std::move(tag)) {}
  String Tag;
};

TComponentEditorFactory ComponentTag(const char16_t* tag) {
  return [tag](TComponent* c) { return std::make_unique<TTaggedComponentEditor>(c, tag); };
}
TPropertyEditorFactory PropertyTag(const char16_t* tag) {
  return [tag](std::vector<TPersistent*> cs, const TPropInfo& p) {
    return std::make_unique<TTaggedProperty>(std::move(cs), p, tag);
  };
}

}  // namespace

TEST(RecordingDesigner, TheNearestClassChoosesTheComponentEditorThenTheLaterEntry) {
  RegisterProbes();
  TRecordingDesigner designer;
  designer.RegisterComponentEditor(FindClass(u"TProbeChild"), ComponentTag(u"child"));
  designer.RegisterComponentEditor(FindClass(u"TProbeBase"), ComponentTag(u"base"));
  TProbeBase base(nullptr, 0);
  TProbeChild child(nullptr, 0);
  TProbeGrandChild grandChild(nullptr, 0);
  TProbeOther other(nullptr, 0);
  auto tagOf = [&](TComponent* c) -> String {
    auto editor = designer.ComponentEditorFor(c);
    if (!editor) return u"none";
    EXPECT_EQ(editor->Component(), c);
    return static_cast<TTaggedComponentEditor&>(*editor).Tag;
  };
  EXPECT_EQ(tagOf(&base), u"base");
  EXPECT_EQ(tagOf(&child), u"child");
  EXPECT_EQ(tagOf(&grandChild), u"child");
  EXPECT_EQ(tagOf(&other), u"none");
  designer.RegisterComponentEditor(FindClass(u"TProbeChild"), ComponentTag(u"child again"));
  EXPECT_EQ(tagOf(&grandChild), u"child again");
  EXPECT_EQ(tagOf(&base), u"base");
}

TEST(RecordingDesigner, PropertyEditorByNameThenClassForEverySelectedObject) {
  RegisterProbes();
  TRecordingDesigner designer;
  designer.RegisterPropertyEditor(u"string", FindClass(u"TProbeBase"), u"caption", PropertyTag(u"named"));
  designer.RegisterPropertyEditor(u"string", FindClass(u"TProbeChild"), u"", PropertyTag(u"child"));
  designer.RegisterPropertyEditor(u"string", nullptr, u"", PropertyTag(u"any"));
  designer.RegisterPropertyEditor(u"Integer", nullptr, u"", PropertyTag(u"integer"));
  TProbeBase base(nullptr, 0);
  TProbeChild child(nullptr, 0);
  TProbeGrandChild grandChild(nullptr, 0);
  TProbeOther other(nullptr, 0);
  const TPropInfo& caption = *FindClass(u"TProbeBase")->FindProperty(u"Caption");
  const TPropInfo& note = *FindClass(u"TProbeChild")->FindProperty(u"Note");
  struct Case {
    std::vector<TPersistent*> selection;
    const TPropInfo* prop;
    String tag;
  } cases[] = {
      {{&base}, &caption, u"named"},
      {{&grandChild}, &caption, u"named"},  // the name outranks the nearer class
      {{&grandChild}, &note, u"child"},
      {{&other}, FindClass(u"TProbeOther")->FindProperty(u"Caption"), u"any"},
      {{&base, &other}, &caption, u"any"},  // "named" is not for TProbeOther
      {{&base, &child}, &caption, u"named"},
      {{&base, &child}, &note, u"none"},  // base has no Note
      {{}, &caption, u"none"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(StringToUtf8(c.tag) + " for " + std::to_string(c.selection.size()));
    auto editor = designer.PropertyEditorFor(c.selection, *c.prop);
    EXPECT_EQ(editor ? static_cast<TTaggedProperty&>(*editor).Tag : String(u"none"), c.tag);
  }

  // A string property editor shows the first object's value and sets them all.
  base.SetCaption(u"first");
  child.SetCaption(u"second");
  auto editor = designer.PropertyEditorFor({&base, &child}, caption);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->GetValue(), u"first");
  EXPECT_EQ(editor->GetAttributes(), (TPropertyAttributes{paMultiSelect, paRevertable}));
  editor->SetValue(u"both");
  EXPECT_EQ(base.Caption(), u"both");
  EXPECT_EQ(child.Caption(), u"both");
}
