/// @file
/// Jobs off the user-interface thread: a component's job runs on a worker
/// thread of its own while its events reach the thread that owns the
/// user-interface backend, through the backend's queue (TUIBackend::Post).
///
/// An event is synchronous for the worker: it waits until the handler has
/// run, so that an Abort or a var parameter set by the handler, or a logon
/// answer, works as in the blocking form. Progress is the exception: it is
/// coalesced to one pending event per job, and an Abort set by its handler
/// reaches the worker at its next progress. The backend's thread runs the
/// events when it pumps (TApplication::ProcessMessages, HandleMessage) or
/// waits for a job (TJob::Wait).
///
/// Thread-safety: every member of TJob may be called from any thread. The
/// free functions speak of the calling thread's job. A class of the library
/// serves one thread at a time unless its header says otherwise.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>

#include "kwinet/core/Exceptions.h"
#include "kwinet/core/String.h"

namespace kwinet {

/// Where a job stands.
enum TJobState : std::uint8_t { jsRunning, jsDone, jsFailed, jsCancelled };
/// @var jsRunning
/// The job has not ended.
/// @var jsDone
/// The job ended well; Result holds what it returned.
/// @var jsFailed
/// The job raised; ErrorText holds the message.
/// @var jsCancelled
/// Cancel was called before the job ended.

/// Raised by a wait of a job whose Cancel was called.
class EJobCancelled : public Exception {
 public:
  using Exception::Exception;
};

/// A job running on a worker thread, and the handle its caller keeps. The
/// last handle to go cancels the job and waits for it.
class TJob {
 public:
  /// What a job runs: its result, or an exception for a failure.
  using TWork = std::function<String()>;

  /// Starts Work on a new worker thread. Work's events reach the thread that
  /// owns the application's backend at the time of the call.
  static std::shared_ptr<TJob> Start(TWork Work);
  ~TJob();
  TJob(const TJob&) = delete;
  TJob& operator=(const TJob&) = delete;

  /// Where the job stands.
  TJobState State() const;
  /// Whether the job has ended (done, failed or cancelled).
  bool Finished() const { return State() != jsRunning; }
  /// What the job returned (once done).
  String Result() const;
  /// The message of the failure, or "Cancelled" (once failed or cancelled).
  String ErrorText() const;

  /// Asks the job to stop: every wait of the job returns within 100 ms, an
  /// event not yet handled is dropped, and the job reports cancelled. A job
  /// that has ended is left as it is. A Cancel that comes after the job has
  /// put its result in place (an updater's new copy renamed over the old
  /// one) cannot undo it; the job still reports cancelled.
  void Cancel();
  /// Waits at most Timeout for the job to end; true when it has. On the
  /// thread that owns the backend it handles the application's messages
  /// meanwhile, the job's events among them.
  bool Wait(std::chrono::milliseconds Timeout);
  /// Runs Event once on the thread that owns the backend after the job has
  /// ended (posted through the backend's queue; at once posted when it has
  /// ended already), so that a window learns of the end without polling. A
  /// later call replaces an Event not yet posted. Event must not outlive what
  /// it refers to: it may run after the last handle has gone.
  void WhenFinished(std::function<void()> Event);

  /// The state the job shares with its worker (the library's own).
  struct TShared;

 private:
  // Whether the calling thread is the backend's, inside one of the job's
  // event handlers (which the worker waits for).
  bool InOwnEvent() const;
  friend class TJobSlot;
  explicit TJob(std::shared_ptr<TShared> Shared);
  std::shared_ptr<TShared> F;
  std::thread FThread;
};

/// The handle of a job.
using TJobHandle = std::shared_ptr<TJob>;

/// The one running job of a component: a second start while it runs is
/// refused, and the slot's end cancels the job and waits for it.
///
/// Thread-safety: Start and End are called from the thread that owns the
/// component; CheckIdle from any thread (the job's worker calls it too).
class TJobSlot {
 public:
  TJobSlot() = default;
  TJobSlot(const TJobSlot&) = delete;
  TJobSlot& operator=(const TJobSlot&) = delete;
  /// Ends the job (End).
  ~TJobSlot() { End(); }
  /// Starts Work as the component's job. Raises EInvalidOperation while a
  /// job started here runs.
  TJobHandle Start(TJob::TWork Work);
  /// Raises EInvalidOperation while a job started here runs, unless the
  /// caller is that job's own worker.
  void CheckIdle() const;
  /// The last job started here, or nullptr.
  const TJobHandle& Current() const { return FJob; }
  /// Cancels the running job and waits for it to end. Raises
  /// EInvalidOperation when called from inside one of the job's own event
  /// handlers (a component freed by a handler of its job's event), which
  /// the job waits for: free the component once the job has ended.
  void End();

 private:
  // Held while a job starts: its worker's CheckIdle waits until the slot
  // knows the job.
  mutable std::mutex FLock;
  TJobHandle FJob;
  std::thread::id FWorker;
};

/// Whether the calling thread runs a job.
bool InJob();
/// Whether the calling thread runs a job whose Cancel was called.
bool JobCancelled();
/// Raises EJobCancelled when JobCancelled.
void CheckJobCancelled();
/// Sleeps for Duration, or less when the calling thread's job is cancelled;
/// false then.
bool JobSleep(std::chrono::milliseconds Duration);
/// The longest a wait of a job may block before it looks at the cancel flag.
constexpr std::chrono::milliseconds kJobCancelSlice{50};

/// Runs Event where the calling thread's events belong: at once outside a
/// job; inside one on the thread that owns the backend, waiting until it
/// has run (or the job is cancelled before it ran: then it never runs).
void JobSynchronize(const std::function<void()>& Event);
/// A progress event: outside a job it runs at once. Inside one it replaces
/// the job's pending progress event (or posts one) and returns at once; the
/// result is true when the handler of an earlier one set its Abort. The job
/// ends only after its last progress event was handled (or it is cancelled).
bool JobProgress(std::function<void(bool& Abort)> Event);

/// Fires an event handler where the calling thread's events belong (see
/// JobSynchronize); nothing when Handler is empty. The arguments are passed
/// by reference, so that a handler's var parameter reaches the worker.
template <typename Handler, typename... Args>
void FireEvent(const Handler& Event, Args&&... args) {
  if constexpr (std::is_constructible_v<bool, const Handler&>)
    if (!Event) return;
  if (!InJob()) {
    Event(std::forward<Args>(args)...);
    return;
  }
  JobSynchronize([&] { Event(args...); });
}

}  // namespace kwinet
