/// @file
/// TKwRemoteImage: a picture that lives on a server (a web camera, a banner),
/// kept in a local copy by the updater and shown in an image control, on
/// demand or refreshed by a timer.
#pragma once

#include <atomic>
#include <cstdint>

#include "kwinet/core/Application.h"
#include "kwinet/core/Forms.h"
#include "kwinet/web/kwiupdate.h"

namespace kwinet {

/// A picture from a server shown in an image control, on demand or refreshed by
/// a timer.
class TKwRemoteImage : public TKwCustomWebUpdater {
 public:
  /// Creates the component with its timer stopped and ContentMaxResponseSize as
  /// the bound.
  explicit TKwRemoteImage(TComponent* AOwner);
  /// Stops the timer and deletes the local copy.
  ~TKwRemoteImage() override;

  /// The updater's job, then the image control's picture loaded from the
  /// local copy whenever there is one (after a skipped or failed job too, so
  /// the last good copy shows). A copy that is not a whole picture leaves the
  /// control's picture as it was and ends the job isFailed with the reason in
  /// ErrorText(). The timer waits while a job runs and counts its interval
  /// from the job's end, so refreshes never overlap.
  bool Execute() override;
  /// Also chooses a new local copy (in the private temporary folder, with
  /// the remote file's extension) and deletes the old one.
  void SetRemoteFileName(const String& Value) override;

  ///@{
  /// The image control that shows the picture; not owned, and forgotten when it
  /// goes.
  TImage* Image() const { return FImage; }
  void SetImage(TImage* value);
  ///@}
  ///@{
  /// Periodic refresh: the first one an Interval after activation.
  bool Active() const { return FActive; }
  void SetActive(bool value);
  ///@}
  ///@{
  /// Milliseconds between the end of one refresh and the start of the next;
  /// 0 stops the refreshes, a negative value counts as 0.
  std::int32_t Interval() const { return FTimer ? static_cast<std::int32_t>(FTimer->Interval()) : 0; }
  void SetInterval(std::int32_t value);
  ///@}
  /// SetActive(true).
  void Start() { SetActive(true); }
  /// SetActive(false).
  void Stop() { SetActive(false); }

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

  /// Owned, created with the component.
  TTimer* FTimer;

 private:
  void TimerHandler(TObject* Sender);
  void DeleteLocalFile();

  TImage* FImage = nullptr;
  bool FActive = false;
  // Jobs running now (a handler of an event may start another).
  std::atomic<int> FRunning{0};  // a job's thread counts too
};

}  // namespace kwinet
