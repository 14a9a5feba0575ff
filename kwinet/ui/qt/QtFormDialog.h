// The dialog that shows one form model: a QDialog with a widget per control,
// each named after its control, kept up to date from the model and sending
// clicks and typed text back to it.
#pragma once

#include <QDialog>
#include <exception>
#include <unordered_map>
#include <vector>

#include "kwinet/core/ComCtrls.h"
#include "kwinet/core/Forms.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace kwinet::qt {

class TQtFormDialog : public QDialog {
 public:
  // Modal dialogs end (QDialog::done) when a click gives the form a modal
  // result; one shown without waiting stays until the form is hidden.
  TQtFormDialog(TCustomForm& Form, bool Modal);
  ~TQtFormDialog() override;

  TCustomForm& Form() const { return FForm; }
  // The widget that shows Control, or nullptr.
  QWidget* WidgetOf(const TControl* Control) const;
  // Shows the model's current state: texts, progress, pictures, state,
  // tree.
  void Refresh();
  // Copies the edit boxes' texts into the model.
  void WriteBack();
  // Places the dialog as the form's Position says; call once it has a size.
  void Place();
  // The form is going away: nothing of it may be touched from now on.
  void Detach() { FDetached = true; }
  bool Detached() const { return FDetached; }
  // Whether a handler of the model is running (the dialog must then be
  // freed later, not at once).
  bool Busy() const { return FBusy > 0; }
  // The first exception a handler of the model raised, taken once.
  std::exception_ptr TakeError();

 protected:
  void keyPressEvent(QKeyEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
  void reject() override;

 private:
  struct TEntry {
    TControl* Control;
    QWidget* Widget;
  };
  void Build();
  QWidget* MakeWidget(TControl* Control);
  void ApplyState(TControl* Control, QWidget* Widget);
  void RefreshTree(TTreeView* Tree, QTreeWidget* Widget);
  // Runs a model handler: edits written back first, exceptions kept for the
  // backend, and the modal result looked at after.
  template <typename F>
  void RunHandler(F&& Handler);
  void ClickButton(TButton* Button);
  void ClickTree(TTreeView* Tree, QTreeWidgetItem* Item);
  void PressCancel();
  void CheckDone();

  TCustomForm& FForm;
  bool FModal;
  bool FDetached = false;
  int FBusy = 0;
  bool FTreeDirty = false;
  std::exception_ptr FError;
  std::vector<TEntry> FEntries;
  std::unordered_map<const TControl*, QWidget*> FWidgets;
  // What each shown tree was built from, to rebuild only on a change.
  std::unordered_map<const TTreeView*, std::u16string> FTreeShapes;
};

}  // namespace kwinet::qt
