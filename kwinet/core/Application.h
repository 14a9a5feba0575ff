/// @file
/// The application object, timers, and the user-interface backend that shows
/// forms and message boxes and runs the event loop.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "kwinet/core/Forms.h"

namespace kwinet {

///@{
/// Message box flags and answers.
constexpr int MB_OK = 0x00;
constexpr int MB_OKCANCEL = 0x01;
constexpr int MB_YESNO = 0x04;
constexpr int MB_ICONERROR = 0x10;
constexpr int MB_ICONQUESTION = 0x20;
constexpr int MB_ICONWARNING = 0x30;
constexpr int MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
///@}

/// What shows forms to a person. One backend is active at a time.
///
/// Thread-safety: Post may be called from any thread; every other member is
/// called on the thread that owns the backend (the one that installed it).
/// A job on a worker thread reaches the backend through Application->Backend(),
/// which hands the calls over to the owner's thread.
class TUIBackend {
 public:
  virtual ~TUIBackend() = default;
  /// Shows Form modally and returns how it was closed. The backend sets the
  /// controls' state (the texts typed) before it returns.
  virtual TModalResult ShowModal(TCustomForm& Form) = 0;
  ///@{
  /// A form shown without waiting, changed while shown, and taken away.
  virtual void ShowForm(TCustomForm& Form) { (void)Form; }
  virtual void FormChanged(TCustomForm& Form) { (void)Form; }
  virtual void HideForm(TCustomForm& Form) { (void)Form; }
  ///@}
  /// Returns IDOK, IDCANCEL, IDYES or IDNO.
  virtual int MessageBox(const String& Text, const String& Caption, int Flags) = 0;
  /// Handles pending input (a click on a shown form's button, say).
  virtual void ProcessMessages() {}
  /// Waits at most the given time for input while the application is idle;
  /// the base waits for a posted event.
  virtual void Idle(std::chrono::milliseconds Timeout);
  /// Queues Event to run on the backend's thread; any thread may post. The
  /// base keeps the events until the application handles its messages
  /// (RunPosted) and wakes Idle; a backend with an event loop of its own
  /// posts to that loop instead.
  virtual void Post(std::function<void()> Event);
  /// Runs the events that the base's Post queued, in the order posted.
  void RunPosted();
  /// Opens a document with the program the desktop associates with it.
  virtual bool OpenDocument(const String& FileName) {
    (void)FileName;
    return false;
  }
  /// Whether a person can see the forms shown and close them: false for a
  /// desktop without a screen (Qt's offscreen platform), where nothing may
  /// wait for a window to be closed.
  virtual bool Attended() const { return true; }

 protected:
  /// Waits at most Timeout for an event posted through the base's Post;
  /// true when one is queued.
  bool WaitPosted(std::chrono::milliseconds Timeout);

 private:
  std::mutex FPostLock;
  std::condition_variable FPosted;
  std::deque<std::function<void()>> FPostQueue;
};

class TTimer;

/// The application: its title, the active user interface backend, timers and
/// the message loop.
///
/// Thread-safety: the thread that installed the backend (at first the one
/// that loaded the library) owns the application and handles its messages.
/// A job's worker thread may call Backend, MessageBox, Post and
/// ProcessMessages (which does nothing there), and create and free timers,
/// whose OnTimer still fires on the owner's thread.
class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;

  ///@{
  /// Defaults to the running executable's file name without its folder.
  const String& Title() const;
  void SetTitle(const String& value);
  ///@}
  /// The full path of the running executable.
  static String ExeName();

  /// The active backend. On a job's worker thread, a stand-in that hands
  /// every call over to the backend's thread and waits for its answer.
  TUIBackend& Backend() const;
  /// Installs a backend and returns the previous one; nullptr installs the
  /// default, which shows nothing (a modal form answers Cancel, a message box
  /// writes one line to standard error and consents to nothing). The calling
  /// thread becomes the backend's owner.
  std::unique_ptr<TUIBackend> SetBackend(std::unique_ptr<TUIBackend> backend);
  /// Queues Event for the backend's thread (TUIBackend::Post); any thread.
  void Post(std::function<void()> Event);
  /// Whether the calling thread owns the backend.
  bool OnOwnerThread() const { return std::this_thread::get_id() == FOwner.load(); }

  /// Fires due timers and lets the backend handle pending input.
  void ProcessMessages();
  /// Waits for the next timer or input (at most Timeout) and handles it.
  void HandleMessage(std::chrono::milliseconds Timeout = std::chrono::milliseconds(1000));
  /// Handles messages until Terminate is called.
  void Run();
  /// Handles messages for the given time (or until Terminate).
  void RunFor(std::chrono::milliseconds Duration);
  /// Makes Run return.
  void Terminate() { FTerminated = true; }
  /// Whether Terminate was called.
  bool Terminated() const { return FTerminated; }

  /// Asks the backend to show a message box; an empty Caption takes Title.
  /// Returns IDOK, IDCANCEL, IDYES or IDNO.
  int MessageBox(const String& Text, const String& Caption, int Flags = MB_OK);

 private:
  friend class TTimer;
  void RegisterTimer(TTimer* timer);
  void UnregisterTimer(TTimer* timer);
  std::chrono::milliseconds TimeToNextTimer(std::chrono::milliseconds limit) const;

  // The executable's name is looked up on first use, not when the program
  // starts: most programs name themselves or never ask.
  mutable std::once_flag FTitleOnce;
  mutable String FTitle;
  std::unique_ptr<TUIBackend> FBackend;
  std::atomic<std::thread::id> FOwner;
  mutable std::mutex FBackendLock;  // Post against SetBackend
  mutable std::mutex FTimerLock;    // the timer list and every timer's due time
  std::vector<TTimer*> FTimers;
  bool FTerminated = false;
};

/// The process's application object.
extern TApplication* const Application;

/// Fires OnTimer every Interval milliseconds while Enabled, from the
/// application's message processing on the thread that runs it.
///
/// Thread-safety: a timer may be created, changed and freed on any thread
/// (one at a time for one timer); OnTimer fires on the application's owner
/// thread, so a timer freed on another thread must not be firing then.
class TTimer : public TComponent {
 public:
  /// Creates the timer, enabled, every 1000 ms.
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;

  ///@{
  /// The time between two OnTimer calls in milliseconds; setting it starts the
  /// wait again.
  unsigned Interval() const { return FInterval; }
  void SetInterval(unsigned value);
  ///@}
  ///@{
  /// Whether the timer runs; setting it starts the wait again.
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value);
  ///@}
  /// Called when the interval has passed.
  TNotifyEvent OnTimer;

 private:
  friend class TApplication;
  void Restart();
  unsigned FInterval = 1000;
  bool FEnabled = true;
  std::chrono::steady_clock::time_point FDue;
};

}  // namespace kwinet
