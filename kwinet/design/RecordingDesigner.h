/// @file
/// A designer that keeps what packages register: the palette pages with their
/// classes, and the component and property editors, which it hands out for a
/// component as a form designer would. The tool and the tests read it.
#pragma once

#include <memory>
#include <vector>

#include "kwinet/design/Designer.h"

namespace kwinet {

/// A designer that only records what is registered with it, and finds the
/// editors a designer would use.
class TRecordingDesigner : public TDesigner {
 public:
  /// A palette page and its classes, in order.
  struct TPalettePage {
    /// The page's name.
    String Name;
    /// Its classes.
    std::vector<const TClassInfo*> Classes;
  };
  /// A registered component editor.
  struct TComponentEditorEntry {
    /// The class it applies to (and its descendants).
    const TClassInfo* ComponentClass;
    /// Makes the editor.
    TComponentEditorFactory Factory;
  };
  /// A registered property editor.
  struct TPropertyEditorEntry {
    /// The property type it applies to.
    String PropertyType;
    const TClassInfo* ComponentClass;  ///< nullptr: every class
    String PropertyName;               ///< empty: every property of the type
    /// Makes the editor.
    TPropertyEditorFactory Factory;
  };

  void DescribePackage(const String& Name, const String& Description) override;
  using TDesigner::RegisterComponents;
  /// A class already on the page keeps its place.
  void RegisterComponents(const String& Page, const std::vector<const TClassInfo*>& Classes) override;
  void RegisterComponentEditor(const TClassInfo* ComponentClass, TComponentEditorFactory Factory) override;
  void RegisterPropertyEditor(const String& PropertyType, const TClassInfo* ComponentClass, const String& PropertyName,
                              TPropertyEditorFactory Factory) override;

  ///@{
  /// The package's name and description, as DescribePackage gave them.
  const String& PackageName() const { return FPackageName; }
  const String& PackageDescription() const { return FPackageDescription; }
  ///@}
  /// In the order they were first named.
  const std::vector<TPalettePage>& Pages() const { return FPages; }
  /// Case-insensitive; nullptr when no class was put on such a page.
  const TPalettePage* FindPage(const String& Name) const;
  ///@{
  /// In registration order.
  const std::vector<TComponentEditorEntry>& ComponentEditors() const { return FComponentEditors; }
  const std::vector<TPropertyEditorEntry>& PropertyEditors() const { return FPropertyEditors; }
  ///@}

  /// The editor registered for the component's class or its nearest
  /// ancestor (of two for the same class, the later); nullptr when none
  /// applies or the component's class is not registered.
  std::unique_ptr<TComponentEditor> ComponentEditorFor(TComponent* Component) const;
  /// The editor for the property on the selected objects, all of which must
  /// have it: an entry for the property's name wins over one for every
  /// property of the type, then the nearest class, then the later entry.
  /// nullptr when none applies to every object.
  std::unique_ptr<TPropertyEditor> PropertyEditorFor(const std::vector<TPersistent*>& Components,
                                                     const TPropInfo& Prop) const;
  /// The same for one component.
  std::unique_ptr<TPropertyEditor> PropertyEditorFor(TComponent* Component, const TPropInfo& Prop) const;

 private:
  String FPackageName;
  String FPackageDescription;
  std::vector<TPalettePage> FPages;
  std::vector<TComponentEditorEntry> FComponentEditors;
  std::vector<TPropertyEditorEntry> FPropertyEditors;
};

}  // namespace kwinet
