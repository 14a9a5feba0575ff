// The dialog that shows one form model: a QDialog with a widget per control,
// each named after its control, kept up to date from the model and sending
// clicks and typed text back to it.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <cstdint>
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
  // Shows the model's current state now: texts, progress, pictures, state,
  // tree; only the controls that changed since they were last shown are
  // touched.
  void Refresh();
  // The model changed: shown at once when the last refresh is a frame ago,
  // else at the end of the frame (about 30 refreshes a second at most).
  void RequestRefresh();
  // A refresh still waiting for its frame is made now.
  void Flush();
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
    // The control's revision as last shown; none yet at first.
    std::uint64_t Shown = UINT64_MAX;
    // What an image control shows now: its resource name, or its decoded
    // picture at that revision.
    String ShownPicture;
  };
  void Build();
  QWidget* MakeWidget(TControl* Control);
  void ApplyState(TControl* Control, QWidget* Widget);
  void RefreshControl(TEntry& Entry);
  void RefreshIcon();
  void RefreshTree(TTreeView* Tree, QTreeWidget* Widget);
  // Runs a model handler: edits written back first, exceptions kept for the
  // backend, and the modal result looked at after.
  template <typename F>
  void RunHandler(F&& Handler);
  void ClickButton(TButton* Button);
  void ClickTree(TTreeView* Tree, QTreeWidgetItem* Item);
  static TTreeNode* LiveNode(const TTreeView& Tree, QTreeWidgetItem* Item);
  void PressCancel();
  void CheckDone();

  TCustomForm& FForm;
  bool FModal;
  bool FDetached = false;
  int FBusy = 0;
  bool FTreeDirty = false;
  bool FWritingBack = false;
  std::exception_ptr FError;
  // The pacing of refreshes: when the last one was made, and the timer of
  // one waiting for its frame.
  QElapsedTimer FLastRefresh;
  QTimer FRefreshTimer;
  // The pixels of the window icon as last shown.
  std::vector<std::uint32_t> FShownIcon;
  int FShownIconWidth = 0;
  std::vector<TEntry> FEntries;
  std::unordered_map<const TControl*, QWidget*> FWidgets;
  // What each shown tree was built from, to rebuild only on a change.
  std::unordered_map<const TTreeView*, std::u16string> FTreeShapes;
};

}  // namespace kwinet::qt
