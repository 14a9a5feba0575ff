#include "kwinet/core/Jobs.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>

#include "kwinet/core/Application.h"

namespace kwinet {

struct TJob::TShared {
  std::mutex Lock;
  std::condition_variable Changed;
  TJobState State = jsRunning;
  String Result;
  String Error;
  std::atomic<bool> Cancelled{false};

  // The pending progress event: the latest one replaces an earlier one that
  // the backend's thread has not run yet.
  std::function<void(bool& Abort)> Progress;
  bool ProgressPosted = false;
  bool ProgressRunning = false;
  bool AbortAsked = false;
  // The worker has ended: a progress event still queued is dropped.
  bool Ended = false;
  // Posted once the job has ended (WhenFinished).
  std::function<void()> Finished;
  // How deep the backend's thread is in the job's own event handlers.
  std::atomic<int> EventDepth{0};
};

namespace {

// The job the calling thread runs.
thread_local std::shared_ptr<TJob::TShared>* tJob = nullptr;

// What a synchronous event is doing.
enum TPhase : std::uint8_t { phPending, phRunning, phDone, phDropped };

}  // namespace

bool InJob() {
  return tJob != nullptr;
}

bool JobCancelled() {
  return tJob && (*tJob)->Cancelled.load();
}

void CheckJobCancelled() {
  if (JobCancelled()) throw EJobCancelled(u"Cancelled");
}

bool JobSleep(std::chrono::milliseconds Duration) {
  if (!tJob) {
    if (Duration.count() > 0) std::this_thread::sleep_for(Duration);
    return true;
  }
  auto& s = **tJob;
  std::unique_lock lock(s.Lock);
  return !s.Changed.wait_for(lock, Duration, [&] { return s.Cancelled.load(); });
}

void JobSynchronize(const std::function<void()>& Event) {
  if (!tJob) {
    Event();
    return;
  }
  std::shared_ptr<TJob::TShared> s = *tJob;
  if (s->Cancelled) return;
  // The worker waits below until the event has run or is dropped, so the
  // event and what it refers to outlive its use on the other thread.
  struct TCall {
    TPhase Phase = phPending;
    std::exception_ptr Error;
  };
  auto call = std::make_shared<TCall>();
  const std::function<void()>* event = &Event;
  Application->Post([s, call, event] {
    {
      std::lock_guard lock(s->Lock);
      if (call->Phase != phPending) return;
      if (s->Cancelled) {
        call->Phase = phDropped;
        s->Changed.notify_all();
        return;
      }
      call->Phase = phRunning;
    }
    std::exception_ptr error;
    ++s->EventDepth;
    try {
      (*event)();
    } catch (...) {
      error = std::current_exception();
    }
    --s->EventDepth;
    {
      std::lock_guard lock(s->Lock);
      call->Phase = phDone;
      call->Error = error;
    }
    s->Changed.notify_all();
  });
  std::unique_lock lock(s->Lock);
  s->Changed.wait(lock, [&] {
    return call->Phase == phDone || call->Phase == phDropped || (call->Phase == phPending && s->Cancelled.load());
  });
  if (call->Phase != phDone) {
    call->Phase = phDropped;
    return;
  }
  // A handler's exception goes on in the job, as in the blocking form.
  if (call->Error) std::rethrow_exception(call->Error);
}

bool JobProgress(std::function<void(bool& Abort)> Event) {
  if (!tJob) {
    bool abort = false;
    Event(abort);
    return abort;
  }
  std::shared_ptr<TJob::TShared> s = *tJob;
  std::unique_lock lock(s->Lock);
  const bool abort = s->AbortAsked;
  s->Progress = std::move(Event);
  if (s->ProgressPosted) return abort;
  s->ProgressPosted = true;
  lock.unlock();
  Application->Post([s] {
    std::function<void(bool&)> progress;
    {
      std::lock_guard hold(s->Lock);
      s->ProgressPosted = false;
      if (s->Ended || s->Cancelled) return;
      progress = std::move(s->Progress);
      s->Progress = nullptr;
      s->ProgressRunning = true;
    }
    bool abort = false;
    ++s->EventDepth;
    try {
      if (progress) progress(abort);
    } catch (...) {
      abort = true;  // a handler that raises stops the job, as its Abort would
    }
    --s->EventDepth;
    {
      std::lock_guard hold(s->Lock);
      s->ProgressRunning = false;
      if (abort) s->AbortAsked = true;
    }
    s->Changed.notify_all();
  });
  return abort;
}

// --- TJob --------------------------------------------------------------------

TJob::TJob(std::shared_ptr<TShared> Shared) : F(std::move(Shared)) {}

std::shared_ptr<TJob> TJob::Start(TWork Work) {
  std::shared_ptr<TJob> job(new TJob(std::make_shared<TShared>()));
  job->FThread = std::thread([s = job->F, work = std::move(Work)]() mutable {
    tJob = &s;
    TJobState state = jsDone;
    String result, error;
    std::function<void()> finished;
    try {
      result = work();
    } catch (const Exception& e) {
      state = jsFailed;
      error = e.Message();
    } catch (const std::exception& e) {
      state = jsFailed;
      error = Utf8ToString(e.what());
    } catch (...) {
      state = jsFailed;
      error = u"The job failed";
    }
    work = nullptr;  // what the job holds goes while it still counts as running
    tJob = nullptr;
    if (s->Cancelled) {
      state = jsCancelled;
      error = u"Cancelled";
      result.clear();
    }
    {
      std::unique_lock lock(s->Lock);
      // The last progress reaches the handler before the job ends (unless
      // the job is cancelled), and a progress handler that runs now still
      // speaks of the job's component.
      s->Changed.wait(lock, [&] { return !s->ProgressRunning && (!s->ProgressPosted || s->Cancelled); });
      s->Ended = true;
      s->Progress = nullptr;
      s->State = state;
      s->Result = std::move(result);
      s->Error = std::move(error);
      finished = std::move(s->Finished);
      s->Finished = nullptr;
    }
    s->Changed.notify_all();
    // Also wakes the backend's thread where it waits.
    Application->Post(finished ? std::move(finished) : [] {});
  });
  return job;
}

TJob::~TJob() {
  Cancel();
  if (!FThread.joinable()) return;
  // The worker itself, or the backend's thread inside one of the job's
  // events, which the worker waits for: the worker ends on its own.
  if (FThread.get_id() == std::this_thread::get_id() || InOwnEvent())
    FThread.detach();
  else
    FThread.join();
}

bool TJob::InOwnEvent() const {
  return F->EventDepth.load() > 0 && Application->OnOwnerThread();
}

TJobState TJob::State() const {
  std::lock_guard lock(F->Lock);
  return F->State;
}

String TJob::Result() const {
  std::lock_guard lock(F->Lock);
  return F->Result;
}

String TJob::ErrorText() const {
  std::lock_guard lock(F->Lock);
  return F->Error;
}

void TJob::Cancel() {
  {
    std::lock_guard lock(F->Lock);
    if (F->State != jsRunning) return;
    F->Cancelled = true;
  }
  F->Changed.notify_all();
}

bool TJob::Wait(std::chrono::milliseconds Timeout) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + Timeout;
  if (Application->OnOwnerThread()) {
    // The job's events come here: handle them while waiting.
    while (!Finished()) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) break;
      Application->HandleMessage(std::min(left, std::chrono::milliseconds(20)));
    }
    return Finished();
  }
  std::unique_lock lock(F->Lock);
  return F->Changed.wait_until(lock, deadline, [this] { return F->State != jsRunning; });
}

void TJob::WhenFinished(std::function<void()> Event) {
  {
    std::lock_guard lock(F->Lock);
    if (F->State == jsRunning) {
      F->Finished = std::move(Event);
      return;
    }
  }
  if (Event) Application->Post(std::move(Event));
}

// --- TJobSlot ------------------------------------------------------------------

TJobHandle TJobSlot::Start(TJob::TWork Work) {
  CheckIdle();
  std::lock_guard lock(FLock);
  // The previous job has ended: its thread is joined here.
  FJob.reset();
  FJob = TJob::Start(std::move(Work));
  FWorker = FJob->FThread.get_id();
  return FJob;
}

void TJobSlot::CheckIdle() const {
  std::lock_guard lock(FLock);
  if (FJob && !FJob->Finished() && std::this_thread::get_id() != FWorker)
    throw EInvalidOperation(u"The component is running a job; wait for it or cancel it first");
}

void TJobSlot::End() {
  if (!FJob) return;
  FJob->Cancel();
  if (FWorker == std::this_thread::get_id()) return;
  // The job waits for the handler that would wait for the job: rather than
  // hang both threads, say what is wrong.
  if (FJob->InOwnEvent())
    throw EInvalidOperation(
        u"A component is freed inside an event of its own job; free it once the job has ended (WhenFinished)");
  // Once cancelled the worker needs the backend's thread no more (its
  // events are dropped), so this waits without handling messages.
  TJob::TShared& s = *FJob->F;
  std::unique_lock lock(s.Lock);
  s.Changed.wait(lock, [&] { return s.State != jsRunning; });
}

}  // namespace kwinet
