#include <dirent.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "kwinet/core/Application.h"
#include "kwinet/core/Jobs.h"
#include "kwinet/ui/ScriptedBackend.h"

using namespace kwinet;
using namespace std::chrono_literals;

namespace {

// Generous: a job that misses it is stuck, not slow.
constexpr auto kLong = 30s;

// The threads of this process, as the kernel lists them.
int ThreadCount() {
  int n = 0;
  DIR* d = ::opendir("/proc/self/task");
  if (!d) return -1;
  while (dirent* e = ::readdir(d))
    if (e->d_name[0] != '.') ++n;
  ::closedir(d);
  return n;
}

}  // namespace

TEST(Jobs, EventsRunOnTheBackendThreadInOrderAndTheirVarParametersReachTheWorker) {
  TBackendScope<TScriptedBackend> backend;
  backend->QueueMessageAnswer(IDYES);
  const auto ui = std::this_thread::get_id();
  std::vector<std::pair<int, std::thread::id>> seen;
  std::thread::id worker;
  auto job = TJob::Start([&] {
    worker = std::this_thread::get_id();
    String text;
    for (int i = 0; i < 3; ++i) {
      bool abort = false;
      FireEvent([&](int step, bool& a) {
        seen.emplace_back(step, std::this_thread::get_id());
        a = step == 2;
      }, i, abort);
      text += abort ? u"A" : u"-";
    }
    // A message box of a job is asked on the backend's thread too.
    text += Application->MessageBox(u"Go on?", u"Job", MB_YESNO) == IDYES ? u"Y" : u"N";
    return text;
  });
  ASSERT_TRUE(job->Wait(kLong));
  EXPECT_EQ(job->State(), jsDone);
  EXPECT_EQ(job->Result(), u"--AY");
  ASSERT_EQ(seen.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(seen[i].first, i);
    EXPECT_EQ(seen[i].second, ui);
  }
  EXPECT_NE(worker, ui);
  ASSERT_EQ(backend->Messages.size(), 1u);
  EXPECT_EQ(backend->Messages[0].Text, u"Go on?");
}

TEST(Jobs, EndDoneFailedOrCancelled) {
  auto done = TJob::Start([] { return String(u"result"); });
  auto failed = TJob::Start([]() -> String { throw EInvalidOperation(u"no way"); });
  auto cancelled = TJob::Start([] {
    JobSleep(24h);
    CheckJobCancelled();
    return String(u"never");
  });
  ASSERT_TRUE(done->Wait(kLong));
  ASSERT_TRUE(failed->Wait(kLong));
  EXPECT_FALSE(cancelled->Finished());
  cancelled->Cancel();
  ASSERT_TRUE(cancelled->Wait(kLong));
  EXPECT_EQ(done->State(), jsDone);
  EXPECT_EQ(done->Result(), u"result");
  EXPECT_EQ(failed->State(), jsFailed);
  EXPECT_EQ(failed->ErrorText(), u"no way");
  EXPECT_EQ(cancelled->State(), jsCancelled);
  EXPECT_EQ(cancelled->ErrorText(), u"Cancelled");
  EXPECT_TRUE(cancelled->Result().empty());
  // Cancel after the end changes nothing.
  done->Cancel();
  EXPECT_EQ(done->State(), jsDone);
}

TEST(Jobs, WhenFinishedRunsOnTheBackendThreadOnceTheJobHasEnded) {
  TBackendScope<TScriptedBackend> backend;
  const auto ui = std::this_thread::get_id();
  std::atomic<bool> go{false};
  auto job = TJob::Start([&] {
    while (!go) JobSleep(1ms);
    return String(u"done");
  });
  std::vector<std::pair<TJobState, std::thread::id>> seen;
  job->WhenFinished([&] { seen.emplace_back(job->State(), std::this_thread::get_id()); });
  Application->ProcessMessages();
  EXPECT_TRUE(seen.empty());
  go = true;
  for (int i = 0; i < 100 && seen.empty(); ++i) Application->HandleMessage(300ms);
  // A job that has ended already: the event is posted at once.
  job->WhenFinished([&] { seen.emplace_back(jsCancelled, std::this_thread::get_id()); });
  for (int i = 0; i < 100 && seen.size() < 2; ++i) Application->HandleMessage(300ms);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], std::make_pair(jsDone, ui));
  EXPECT_EQ(seen[1].second, ui);
}

TEST(Jobs, ProgressIsCoalescedToOnePendingEventAndItsAbortReachesTheNextPiece) {
  TBackendScope<TScriptedBackend> backend;
  std::atomic<bool> posted{false};
  std::vector<int> handled;
  auto job = TJob::Start([&] {
    for (int i = 0; i < 1000; ++i)
      JobProgress([&handled, i](bool& abort) {
        handled.push_back(i);
        abort = true;
      });
    posted = true;
    JobSynchronize([] {});  // runs after the pending progress
    const bool abort = JobProgress([&handled](bool&) { handled.push_back(-1); });
    return String(abort ? u"aborted" : u"went on");
  });
  // No message is handled here until the worker has posted every piece.
  while (!posted) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(job->Wait(kLong));
  EXPECT_EQ(job->Result(), u"aborted");
  // One event for the thousand pieces, with the last one's values, and the
  // last piece reaches its handler before the job ends.
  EXPECT_EQ(handled, (std::vector<int>{999, -1}));
}

TEST(Jobs, CancelDropsAnEventNoOneHandledAndWakesTheWorker) {
  TBackendScope<TScriptedBackend> backend;
  bool ran = false;
  auto job = TJob::Start([&] {
    JobSynchronize([&] { ran = true; });
    return String(u"went on");
  });
  // The backend's thread handles nothing until the job is cancelled.
  job->Cancel();
  ASSERT_TRUE(job->Wait(kLong));
  EXPECT_EQ(job->State(), jsCancelled);
  Application->ProcessMessages();
  EXPECT_FALSE(ran);
}

TEST(Jobs, ASlotRefusesASecondJobAndItsEndCancelsTheRunningOne) {
  TJobSlot slot;
  auto first = slot.Start([] {
    JobSleep(24h);
    return String(u"slept");
  });
  EXPECT_THROW(slot.Start([] { return String(); }), EInvalidOperation);
  EXPECT_THROW(slot.CheckIdle(), EInvalidOperation);
  slot.End();
  EXPECT_EQ(first->State(), jsCancelled);
  EXPECT_NO_THROW(slot.CheckIdle());
  auto second = slot.Start([] { return String(u"two"); });
  ASSERT_TRUE(second->Wait(kLong));
  EXPECT_EQ(second->Result(), u"two");
}

TEST(Jobs, AThousandShortJobsInARowLeaveNoThreadBehind) {
  TBackendScope<TScriptedBackend> backend;
  const int before = ThreadCount();
  ASSERT_GT(before, 0);
  int events = 0;
  {
    TJobSlot slot;
    for (int i = 0; i < 1000; ++i) {
      auto job = slot.Start([&] {
        FireEvent([&](TObject*) { ++events; }, nullptr);
        return String(u"ok");
      });
      ASSERT_TRUE(job->Wait(kLong));
      ASSERT_EQ(job->State(), jsDone);
    }
  }  // the slot's last job goes, its thread joined
  EXPECT_EQ(events, 1000);
  EXPECT_EQ(ThreadCount(), before);
}

// A handler of a job's own event that lets the job go: the last handle
// leaves the worker to end on its own; a component's slot refuses to wait
// for a job that waits for the handler (both threads would hang).
TEST(Jobs, EndingAJobFromItsOwnEventNeverHangs) {
  TBackendScope<TScriptedBackend> backend;
  std::atomic<bool> wentOn{false};
  TJobHandle job = TJob::Start([&] {
    FireEvent([&](TObject*) { job.reset(); }, nullptr);
    wentOn = true;
    return String(u"went on");
  });
  for (int i = 0; i < 100 && !wentOn; ++i) Application->HandleMessage(300ms);
  EXPECT_TRUE(wentOn);
  EXPECT_FALSE(job);

  TJobSlot slot;
  bool refused = false;
  auto own = slot.Start([&] {
    FireEvent([&](TObject*) {
      try {
        slot.End();
      } catch (const EInvalidOperation&) {
        refused = true;
      }
    }, nullptr);
    return String(u"went on");
  });
  ASSERT_TRUE(own->Wait(kLong));
  EXPECT_TRUE(refused);
  EXPECT_EQ(own->State(), jsCancelled);
}
