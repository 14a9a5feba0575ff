#include "kwinet/design/KwInetR.h"

#include "kwinet/core/Application.h"
#include "kwinet/core/Resources.h"
#include "kwinet/design/KwInetClasses.h"

namespace kwinet {

namespace {

// The palette page, in the order a user finds the components on it.
const char16_t* const kPaletteClasses[] = {
    u"TKwWhoIs",         u"TKwInetDateTime", u"TKwUPSTracker",   u"TKwFedExTracker",
    u"TKwIHTTPClient",   u"TKwWebUpdater",   u"TKwWebDirect",    u"TKwRemoteImage",
    u"TKwInfoExtractor", u"TKwWeatherInfo",  u"TKwRemoteFiles",  u"TKwISMTP",
    u"TKwIRSSParser",    u"TKwInetSNTP",     u"TKwMSTranslator", u"TKwIGoogleTranslator",
};

}  // namespace

int TKwInetComponentEditor::GetVerbCount() {
  return 1;
}

String TKwInetComponentEditor::GetVerb(int Index) {
  return Index == 0 ? String(u"About KwInternet") : String();
}

void TKwInetComponentEditor::ExecuteVerb(int Index) {
  (void)Index;
  ShowKwInetAbout();
}

TPropertyAttributes TKwInetAboutProperty::GetAttributes() {
  return {paDialog, paReadOnly};
}

String TKwInetAboutProperty::GetValue() {
  return u"About KwInternet...";
}

void TKwInetAboutProperty::Edit() {
  ShowKwInetAbout();
}

String KwInetAboutText() {
  String text =
      u"KwInternet: non-visual network components for whois, time, DNS, HTTP, mail, weather, "
      u"web updates, shipment tracking and translation.\n\nComponents:";
  for (const char16_t* name : kPaletteClasses) {
    text += u"\n  ";
    text += name;
  }
  text += u"\n  TKwIDNSResolver";
  return text;
}

void ShowKwInetAbout() {
  Application->MessageBox(KwInetAboutText(), u"About KwInternet", MB_OK | MB_ICONINFORMATION);
}

void Register() {
  RegisterKwInetClasses();
  TDesigner& designer = ActiveDesigner();
  designer.DescribePackage(kKwInetPackageName, kKwInetPackageDescription);
  std::vector<const TClassInfo*> classes;
  for (const char16_t* name : kPaletteClasses) classes.push_back(FindClass(name));
  designer.RegisterComponents(kKwInetPalettePage, classes);
  designer.RegisterComponentEditor(FindClass(u"TKwInetBase"), ComponentEditorFactory<TKwInetComponentEditor>());
  designer.RegisterComponentEditor(FindClass(u"TKwCustomWebComponent"),
                                   ComponentEditorFactory<TKwInetComponentEditor>());
  designer.RegisterPropertyEditor(u"string", FindClass(u"TKwInetBase"), u"About",
                                  PropertyEditorFactory<TKwInetAboutProperty>());
}

std::string_view PaletteImage(const String& ClassName) {
  // Resource names are file names: an ASCII class name, upper case, ".png".
  for (char16_t c : ClassName)
    if (!((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_')) return {};
  return FindResource(StringToUtf8(UpperCase(ClassName)) + ".png");
}

}  // namespace kwinet
