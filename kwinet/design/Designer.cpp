#include "kwinet/design/Designer.h"

#include "kwinet/design/RecordingDesigner.h"

namespace kwinet {

int TComponentEditor::GetVerbCount() {
  return 0;
}

String TComponentEditor::GetVerb(int Index) {
  (void)Index;
  return String();
}

void TComponentEditor::ExecuteVerb(int Index) {
  (void)Index;
}

void TComponentEditor::Edit() {
  if (GetVerbCount() > 0) ExecuteVerb(0);
}

TPropertyEditor::TPropertyEditor(std::vector<TPersistent*> AComponents, TPropInfo APropInfo)
    : FComponents(std::move(AComponents)), FPropInfo(std::move(APropInfo)) {}

TPersistent* TPropertyEditor::GetComponent(int Index) const {
  if (Index < 0 || Index >= PropCount()) throw EListError(u"List index out of bounds (%d)", {Index});
  return FComponents[Index];
}

TPropertyAttributes TPropertyEditor::GetAttributes() {
  return {paRevertable};
}

String TPropertyEditor::GetValue() {
  return GetStrValue();
}

void TPropertyEditor::SetValue(const String& Value) {
  SetStrValue(Value);
}

void TPropertyEditor::Edit() {}

void TPropertyEditor::GetValues(const std::function<void(const String&)>& Proc) {
  (void)Proc;
}

String TPropertyEditor::GetStrValue() const {
  if (FComponents.empty() || !FPropInfo.GetString) return String();
  return FPropInfo.GetString(FComponents.front());
}

void TPropertyEditor::SetStrValue(const String& Value) {
  if (!FPropInfo.SetString) throw Exception(u"Property %s is read-only", {FPropInfo.Name});
  for (TPersistent* c : FComponents) FPropInfo.SetString(c, Value);
}

TPropertyAttributes TStringProperty::GetAttributes() {
  return {paMultiSelect, paRevertable};
}

String TStringProperty::GetValue() {
  return GetStrValue();
}

void TStringProperty::SetValue(const String& Value) {
  SetStrValue(Value);
}

void TDesigner::RegisterComponents(const String& Page, std::initializer_list<String> ClassNames) {
  std::vector<const TClassInfo*> classes;
  classes.reserve(ClassNames.size());
  for (const String& name : ClassNames) classes.push_back(FindClass(name));
  RegisterComponents(Page, classes);
}

namespace {

// Register procedures run on the application's thread, as the designer
// does; the designer is not guarded against other threads.
std::unique_ptr<TDesigner>& Slot() {
  static std::unique_ptr<TDesigner> designer = std::make_unique<TRecordingDesigner>();
  return designer;
}

}  // namespace

TDesigner& ActiveDesigner() {
  return *Slot();
}

std::unique_ptr<TDesigner> SetDesigner(std::unique_ptr<TDesigner> Designer) {
  if (!Designer) Designer = std::make_unique<TRecordingDesigner>();
  std::swap(Slot(), Designer);
  return Designer;
}

}  // namespace kwinet
