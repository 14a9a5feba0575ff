/// @file
/// A backend that shows the form models as Qt 6 Widgets dialogs: each form a
/// QDialog built from its controls at their positions and sizes, in their tab
/// order, message boxes as QMessageBox, documents opened through
/// QDesktopServices, and the Qt event loop run while the library waits, so
/// that timers and the dialogs' buttons work inside a Qt application.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "kwinet/core/Application.h"

class QApplication;
class QDialog;

namespace kwinet {

/// A backend that shows the forms as Qt 6 Widgets dialogs.
class TQtBackend : public TUIBackend {
 public:
  /// Uses the QApplication the program has made, or makes one (kept until
  /// the backend is freed) when there is none. Raises Exception with a clear
  /// message when no display can be reached (see CanShow).
  TQtBackend();
  ~TQtBackend() override;
  TQtBackend(const TQtBackend&) = delete;
  TQtBackend& operator=(const TQtBackend&) = delete;

  /// Whether a QApplication can be made here: false, with the reason in Why,
  /// when the platform needs a display that is not set or cannot be reached.
  /// Makes no QApplication.
  static bool CanShow(String& Why);

  TModalResult ShowModal(TCustomForm& Form) override;
  void ShowForm(TCustomForm& Form) override;
  void FormChanged(TCustomForm& Form) override;
  void HideForm(TCustomForm& Form) override;
  int MessageBox(const String& Text, const String& Caption, int Flags) override;
  void ProcessMessages() override;
  void Idle(std::chrono::milliseconds Timeout) override;
  /// Posts Event to the Qt event loop (a queued call on the application
  /// object), which runs it on the GUI thread; any thread may post.
  void Post(std::function<void()> Event) override;
  bool OpenDocument(const String& FileName) override;
  /// False on a platform without a screen (offscreen, minimal): no person
  /// can close a window there.
  bool Attended() const override;

  /// The dialog that shows Form while it is shown, else nullptr: for
  /// programs that style it and for tests that look at it.
  QDialog* DialogOf(const TCustomForm& Form) const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace kwinet
