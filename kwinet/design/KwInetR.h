/// @file
/// Registration of the suite with the form designer: the palette page
/// "Kw-Internet", the component editor of both families, the editor of the
/// socket family's About property, and the palette images.
#pragma once

#include <string_view>

#include "kwinet/design/Designer.h"

namespace kwinet {

///@{
/// The package as the designer lists it.
inline constexpr const char16_t* kKwInetPackageName = u"KwInetD13";
inline constexpr const char16_t* kKwInetPackageDescription = u"Moravelle Internet components";
inline constexpr const char16_t* kKwInetPalettePage = u"Kw-Internet";
///@}

/// The context menu of every component of the suite: one verb that shows the
/// suite's information box.
class TKwInetComponentEditor : public TComponentEditor {
 public:
  /// Creates the editor, as TComponentEditor does.
  using TComponentEditor::TComponentEditor;
  /// One verb.
  int GetVerbCount() override;
  /// "About KwInternet" for 0, empty for any other index.
  String GetVerb(int Index) override;
  /// The information box, whatever the index.
  void ExecuteVerb(int Index) override;
};

/// The About property of the socket family: an ellipsis button that shows the
/// information box, in place of a value that could be typed. The stored
/// value stays empty.
class TKwInetAboutProperty : public TStringProperty {
 public:
  using TStringProperty::TStringProperty;
  /// paDialog and paReadOnly.
  TPropertyAttributes GetAttributes() override;
  /// "About KwInternet...".
  String GetValue() override;
  void Edit() override;
};

///@{
/// The suite's information box: its name and its components, shown modally
/// through the application's message box.
String KwInetAboutText();
void ShowKwInetAbout();
///@}

/// Registers the suite's classes in the class registry, then registers with
/// the active designer (ActiveDesigner): the package description, the page
/// with its sixteen classes, the component editor for TKwInetBase and for
/// TKwCustomWebComponent, the About editor for TKwInetBase.
void Register();

/// The 24x24 palette image (PNG) of the class, by its name in any case; empty
/// for a class that has none.
std::string_view PaletteImage(const String& ClassName);

}  // namespace kwinet
