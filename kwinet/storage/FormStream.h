/// @file
/// Stored forms: a root component and the components it owns, written to and
/// read from the text form (FormText.h) through the class registry
/// (TypInfo.h).
///
/// Writing: a property is written only when its value differs from its
/// stored default, which is the value a freshly created object of the class
/// has (for a sub-object or a collection item: the value of the sub-object of
/// a fresh owner, or of a fresh item). A component with only default values
/// writes no properties. Events are never written.
///
/// Reading: each object's properties are assigned in the class's declaration
/// order, whatever their order in the text, and component references are
/// fixed up after the whole form is read. Bad input (an unknown class or
/// property, a value of the wrong kind, an event, a reference to no
/// component of the form) raises EFormError naming the line and column, and
/// nothing that was built is left behind.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "kwinet/core/Forms.h"
#include "kwinet/storage/FormText.h"
#include "kwinet/storage/TypInfo.h"

namespace kwinet {

/// The root of a stored form: a form holding components ("object Form1:
/// TForm"). Registered with the published properties Caption, ClientHeight,
/// ClientWidth, Left and Top.
class TForm : public TCustomForm {
 public:
  using TCustomForm::TCustomForm;
};

/// Registers the core's own classes, the roots that other classes name as
/// parents: TPersistent, TComponent, TCollection, TCollectionItem, TControl
/// (Left, Top, Width, Height, Visible, Enabled), TImage, TCustomForm and
/// TForm. Called by the functions below, harmless to call again.
void RegisterCoreClasses();

///@{
/// The tree of Root: its registered published properties that differ from
/// their defaults, and one child object per component Root owns whose class
/// is registered, in creation order (components without a name are given
/// one: the class name without its "T" and a number, as a designer does).
/// A secret property (a client secret, a key) is left out unless
/// StoreSecrets is True.
TFormObject WriteComponent(TComponent* Root, bool StoreSecrets = false);
std::string WriteComponentText(TComponent* Root, bool StoreSecrets = false);
///@}

///@{
/// Creates the root object's class with no owner, and each child with the
/// root as owner, and assigns their properties. Raises EFormError (line and
/// column) or EClassNotFound (as an EFormError with the position); on any
/// error everything created is freed again.
std::unique_ptr<TComponent> ReadComponent(const TFormObject& Root);
std::unique_ptr<TComponent> ReadComponentText(std::string_view Text);
///@}

/// The component of a form that a name stands for, or nullptr.
using TComponentLookup = std::function<TComponent*(const String& Name)>;

/// Assigns Value to the published property Prop of Instance exactly as
/// ReadComponent assigns a property of a stored form, with the same checks:
/// the value's kind, the range of an integer type, the names of an
/// enumeration or a set, and what the setter itself refuses. A string list
/// takes Value's lines in place of its own; a component reference is the
/// component that Lookup finds by name, which must be of the property's
/// class (nil clears it). Events, sub-objects, collections and read-only
/// properties are refused. Raises EFormError naming Value.Pos.
void AssignPropValue(TObject* Instance, const TPropInfo& Prop, const TFormValue& Value,
                     const TComponentLookup& Lookup = {});

/// The value of one property of an object as it would be written (for a
/// tkClass property: an fvIdent naming the class; for an event: an empty
/// fvIdent). Used by the designer's property listing.
TFormValue GetPropValue(TObject* Instance, const TPropInfo& Prop);

/// The stored default of a published property of a class: its value on a
/// fresh object (see above; a collection item class: on a fresh item).
/// Raises EClassNotFound for an unknown class, and EInvalidOperation for a
/// class that cannot be created (an abstract base, a sub-object's class) or
/// a property that is not the class's.
TFormValue DefaultPropValue(const TClassInfo& Class, const TPropInfo& Prop);

/// A value as one line of a stored form would show it ("'text'", "8080",
/// "[a, b]", "<2 items>", "(3 lines)"...): for listings.
String FormValueText(const TFormValue& Value);

}  // namespace kwinet
