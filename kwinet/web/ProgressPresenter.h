/// @file
/// The driving of the progress dialog while a web job runs: the web base
/// hands it the job's steps and bytes, and it shows them on the form model
/// (TfrmKwInetUpdate) as the component's StatusDialog settings ask, and
/// reports the Cancel button back. The form lives in the component's
/// dlgStatus, where its subclasses see it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "kwinet/web/KwInStat.h"

namespace kwinet {

enum TKwIAction : std::uint8_t;  ///< kwiupdate.h

/// The files that an updater's dialog names.
struct TKwProgressFiles {
  String Remote;  ///< as shown: without a password or key
  /// The local copy.
  String Local;
};

/// Shows a web job's progress on the dialog, as the StatusDialog settings ask.
///
/// In a job on a worker thread the form is touched only on the thread that
/// owns the backend: Show and Step are handed over there and waited for,
/// Apply runs inside the job's progress event, and Close hands the form over
/// to be hidden and freed there, even when the job is cancelled.
class TKwProgressPresenter {
 public:
  /// Form: the slot that holds the dialog while it is shown (empty
  /// otherwise); Settings: the component's StatusDialog, read at each call.
  TKwProgressPresenter(std::unique_ptr<TfrmKwInetUpdate>& Form, const TKwInetStatusDialog& Settings);

  /// When the settings enable the dialog: shows it, with the settings' title
  /// (the application's when empty), description, icon and picture, the
  /// files' names when there are any, and Cancel not pressed.
  void Show(const std::optional<TKwProgressFiles>& Files);
  /// The step of Action with its text and mark, and a turn of the message
  /// loop, while the dialog is shown and enabled.
  void Step(TKwIAction Action);
  /// Bytes CurValue of MaxValue on the bar and in the text, and a turn of
  /// the message loop; then whether Cancel has been pressed. Nothing while
  /// the dialog is not shown or not enabled.
  std::optional<bool> Update(std::uint64_t CurValue, std::uint64_t MaxValue);
  /// Update without the turn of the message loop: for a job's progress
  /// event, which runs on the backend's thread.
  std::optional<bool> Apply(std::uint64_t CurValue, std::uint64_t MaxValue);
  /// Hides the dialog and lets it go.
  void Close();
  /// Whether the dialog is shown and enabled.
  bool Active() const;

 private:
  void ShowNow(const std::optional<TKwProgressFiles>& Files);
  void StepNow(TKwIAction Action);

  std::unique_ptr<TfrmKwInetUpdate>& FForm;
  const TKwInetStatusDialog& FSettings;
};

}  // namespace kwinet
