/// @file
/// The form designer as a package of components sees it: the calls that put
/// classes on a palette page and install editors, and the two editor base
/// classes. A designer (an IDE, or the recording one in RecordingDesigner.h)
/// implements TDesigner; a package's Register procedure calls it.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "kwinet/core/Classes.h"
#include "kwinet/core/String.h"
#include "kwinet/storage/TypInfo.h"

namespace kwinet {

/// How the object inspector treats a property's value.
enum TPropertyAttribute : std::uint8_t {
  paValueList,              ///< offers a list of values (GetValues)
  paSubProperties,          ///< unfolds into properties of its own
  paDialog,                 ///< edited through a dialog: the grid shows an ellipsis button (Edit)
  paMultiSelect,            ///< shown when several components are selected
  paAutoUpdate,             ///< set at every keystroke, not when the text is confirmed
  paSortList,               ///< the value list is shown sorted
  paReadOnly,               ///< the value cannot be typed
  paRevertable,             ///< may be reverted to its inherited value
  paFullWidthName,          ///< the name takes the whole width of the grid
  paVolatileSubProperties,  ///< the sub-properties change with the value
  paReference,              ///< the value refers to another object
  paNotNestable,            ///< not shown inside another property
};
/// A set of property attributes.
using TPropertyAttributes = TSet<TPropertyAttribute>;

/// The editor of a component's context menu: verbs the designer lists and
/// runs. The base has no verbs.
class TComponentEditor : public TObject {
 public:
  /// The editor of AComponent.
  explicit TComponentEditor(TComponent* AComponent) : FComponent(AComponent) {}

  /// The component edited.
  TComponent* Component() const { return FComponent; }

  /// The number of verbs (none in the base).
  virtual int GetVerbCount();
  /// The text of the verb's menu entry.
  virtual String GetVerb(int Index);
  /// Runs the verb at Index (nothing in the base).
  virtual void ExecuteVerb(int Index);
  /// A double click on the component: runs the first verb when there is one.
  virtual void Edit();

 private:
  TComponent* FComponent;
};

/// The editor of one property in the object inspector, over the components
/// selected (all of a class that has the property). The base reads and
/// writes the value as the property's text and has no dialog.
class TPropertyEditor : public TObject {
 public:
  /// The editor of property APropInfo on the components given (one, or several
  /// selected together).
  TPropertyEditor(std::vector<TPersistent*> AComponents, TPropInfo APropInfo);

  /// The number of components edited.
  int PropCount() const { return static_cast<int>(FComponents.size()); }
  /// The component at Index; EListError out of range.
  TPersistent* GetComponent(int Index) const;
  /// The property edited.
  const TPropInfo& PropInfo() const { return FPropInfo; }
  /// The property's name.
  const String& GetName() const { return FPropInfo.Name; }

  /// How the designer offers the property (the base: revertable).
  virtual TPropertyAttributes GetAttributes();
  /// The text the grid shows.
  virtual String GetValue();
  /// The text typed into the grid.
  virtual void SetValue(const String& Value);
  /// The ellipsis button (paDialog) or a double click on the value.
  virtual void Edit();
  /// The values of the list (paValueList), each given to Proc.
  virtual void GetValues(const std::function<void(const String&)>& Proc);

 protected:
  /// The property of the first component, and of every component.
  String GetStrValue() const;
  /// Sets the property of every component; raises for a read-only property.
  void SetStrValue(const String& Value);

 private:
  std::vector<TPersistent*> FComponents;
  TPropInfo FPropInfo;
};

/// A string property: shown and typed as its text, for one or many
/// components.
class TStringProperty : public TPropertyEditor {
 public:
  /// Creates the editor, as TPropertyEditor does.
  using TPropertyEditor::TPropertyEditor;
  /// Multi-select and revertable.
  TPropertyAttributes GetAttributes() override;
  String GetValue() override;
  void SetValue(const String& Value) override;
};

/// Makes a component editor for a component.
using TComponentEditorFactory = std::function<std::unique_ptr<TComponentEditor>(TComponent*)>;
/// Makes a property editor for components and a property.
using TPropertyEditorFactory =
    std::function<std::unique_ptr<TPropertyEditor>(std::vector<TPersistent*>, const TPropInfo&)>;

///@{
/// Factories for editor classes with the base classes' constructors.
template <class E>
TComponentEditorFactory ComponentEditorFactory() {
  return [](TComponent* c) -> std::unique_ptr<TComponentEditor> { return std::make_unique<E>(c); };
}
template <class E>
TPropertyEditorFactory PropertyEditorFactory() {
  return [](std::vector<TPersistent*> cs, const TPropInfo& p) -> std::unique_ptr<TPropertyEditor> {
    return std::make_unique<E>(std::move(cs), p);
  };
}
///@}

/// What a package registers with. Classes are those of the class registry
/// (TypInfo.h); an editor registered for a class applies to its descendants.
class TDesigner {
 public:
  virtual ~TDesigner() = default;

  /// The package's name and the description the designer shows for it.
  virtual void DescribePackage(const String& Name, const String& Description) = 0;
  /// Puts the classes on the palette page, in order, after those already
  /// there.
  virtual void RegisterComponents(const String& Page, const std::vector<const TClassInfo*>& Classes) = 0;
  /// The same by class name: every name must be registered (EClassNotFound),
  /// and nothing is put on the page unless all are.
  void RegisterComponents(const String& Page, std::initializer_list<String> ClassNames);
  /// The editor of ComponentClass's components and its descendants'.
  virtual void RegisterComponentEditor(const TClassInfo* ComponentClass, TComponentEditorFactory Factory) = 0;
  /// An editor for the properties of type PropertyType (a TPropInfo's
  /// TypeName: "string", "Integer"...) named PropertyName on ComponentClass
  /// and its descendants. A null class stands for every class and an empty
  /// name for every property of the type.
  virtual void RegisterPropertyEditor(const String& PropertyType, const TClassInfo* ComponentClass,
                                      const String& PropertyName, TPropertyEditorFactory Factory) = 0;
};

/// The designer that Register procedures register with. Until one is set it
/// is a process-wide TRecordingDesigner.
TDesigner& ActiveDesigner();
/// Installs a designer and returns the previous one; nullptr puts back a
/// fresh recording designer.
std::unique_ptr<TDesigner> SetDesigner(std::unique_ptr<TDesigner> Designer);

}  // namespace kwinet
