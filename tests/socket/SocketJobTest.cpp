// Socket jobs off the calling thread: the notifications of the blocking form
// on the backend's thread, Cancel and Timeout, and one job at a time.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kwinet/core/Jobs.h"
#include "kwinet/socket/KwWhoIs.h"
#include "kwinet/socket/NameLookup.h"
#include "kwinet/ui/ScriptedBackend.h"
#include "peers/FakeServer.h"

using namespace kwinet;
using namespace std::chrono_literals;
using kwinet::test::FakeServer;

namespace {

// Generous: a job that misses it is stuck, not slow.
constexpr auto kLong = 60s;

std::unique_ptr<TKwWhoIs> Client(const FakeServer& server, int timeout) {
  auto w = std::make_unique<TKwWhoIs>(nullptr);
  w->SetAutoSelectServer(false);
  w->SetDomain(u"example.com");
  w->SetHost(u"localhost");  // a name: resolved, so the lookup notification fires
  w->SetPort(server.Port());
  w->SetTimeout(timeout);
  return w;
}

}  // namespace

TEST(SocketJobs, NotificationsComeOnTheBackendThreadInTheBlockingOrder) {
  TBackendScope<TScriptedBackend> backend;
  FakeServer server(FakeServer::ReplyAndClose("answer\r\n", "\r\n"));
  const auto ui = std::this_thread::get_id();
  auto run = [&](bool async, std::vector<std::string>& events, std::vector<std::thread::id>& threads) {
    auto w = Client(server, 5000);
    auto note = [&](std::string e) {
      events.push_back(std::move(e));
      threads.push_back(std::this_thread::get_id());
    };
    w->SetOnBeforeExecute([&](TObject*) { note("before"); });
    w->SetOnLookup([&](TObject*, TCustomWinSocket*) { note("lookup"); });
    w->SetOnConnecting([&](TObject*, TCustomWinSocket*) { note("connecting"); });
    w->SetOnConnect([&](TObject*, TCustomWinSocket*) { note("connect"); });
    // The handler's change of the text reaches the job's result.
    w->SetOnAfterExecute([&](TObject*, String& t) {
      note("after:" + StringToUtf8(t));
      t = u"changed";
    });
    w->SetOnDisconnect([&](TObject*, TCustomWinSocket*) { note("disconnect"); });
    if (!async) return w->Execute();
    auto job = w->ExecuteAsync();
    EXPECT_TRUE(job->Wait(kLong));
    EXPECT_EQ(job->State(), jsDone);
    return job->Result();
  };
  std::vector<std::string> blocking, async;
  std::vector<std::thread::id> blockingThreads, asyncThreads;
  EXPECT_EQ(run(false, blocking, blockingThreads), u"changed");
  EXPECT_EQ(run(true, async, asyncThreads), u"changed");
  EXPECT_EQ(blocking, (std::vector<std::string>{"before", "lookup", "connecting", "connect", "after:answer\r\n",
                                                "disconnect"}));
  EXPECT_EQ(async, blocking);
  for (const auto& id : asyncThreads) EXPECT_EQ(id, ui);
}

TEST(SocketJobs, CancelWakesAnUnboundedReadAndTheComponentRunsOneJobAtATime) {
  TBackendScope<TScriptedBackend> backend;
  FakeServer stalled(FakeServer::Stall());
  auto w = Client(stalled, 0);  // no bound: only Cancel ends the read
  auto job = w->ExecuteAsync();
  EXPECT_THROW(w->ExecuteAsync(), EInvalidOperation);
  EXPECT_THROW(w->Execute(), EInvalidOperation);
  job->Cancel();
  ASSERT_TRUE(job->Wait(kLong));
  EXPECT_EQ(job->State(), jsCancelled);
  EXPECT_EQ(job->ErrorText(), u"Cancelled");
  // Free again: the next job runs.
  FakeServer server(FakeServer::ReplyAndClose("again\r\n", "\r\n"));
  w->SetPort(server.Port());
  auto next = w->ExecuteAsync();
  ASSERT_TRUE(next->Wait(kLong));
  EXPECT_EQ(next->Result(), u"again\r\n");
}

TEST(SocketJobs, AStalledServerEndsTheJobAtItsTimeoutAndFreeingCancels) {
  TBackendScope<TScriptedBackend> backend;
  FakeServer stalled(FakeServer::Stall());
  auto w = Client(stalled, 300);
  auto job = w->ExecuteAsync();
  ASSERT_TRUE(job->Wait(kLong));
  // As the blocking form: the error's message is the text.
  EXPECT_EQ(job->State(), jsDone);
  EXPECT_NE(StringToUtf8(job->Result()).find("timed out after 300 ms"), std::string::npos)
      << StringToUtf8(job->Result());

  w->SetTimeout(0);
  auto second = w->ExecuteAsync();
  w.reset();
  EXPECT_EQ(second->State(), jsCancelled);
}

namespace {

// A name server that holds every lookup until it is let go.
struct THeldLookups {
  std::mutex Lock;
  std::condition_variable Changed;
  int Waiting = 0;
  bool LetGo = false;
};
THeldLookups gHeld;

int HeldLookup(const char*, const char*, const addrinfo*, addrinfo**) {
  std::unique_lock lock(gHeld.Lock);
  ++gHeld.Waiting;
  gHeld.Changed.notify_all();
  gHeld.Changed.wait(lock, [] { return gHeld.LetGo; });
  --gHeld.Waiting;
  gHeld.Changed.notify_all();
  return EAI_AGAIN;
}

}  // namespace

TEST(SocketJobs, CancelEndsAJobWhoseNameLookupDoesNotAnswer) {
  TBackendScope<TScriptedBackend> backend;
  const TLookupFunction system = SetLookupFunction(&HeldLookup);
  FakeServer unused(FakeServer::Stall());
  auto w = Client(unused, 0);
  w->SetHost(u"held.example");
  auto job = w->ExecuteAsync();
  {
    std::unique_lock lock(gHeld.Lock);
    ASSERT_TRUE(gHeld.Changed.wait_for(lock, kLong, [] { return gHeld.Waiting == 1; }));
  }
  job->Cancel();
  ASSERT_TRUE(job->Wait(kLong));
  EXPECT_EQ(job->State(), jsCancelled);
  {
    // The job ended while its lookup was still held.
    std::unique_lock lock(gHeld.Lock);
    EXPECT_EQ(gHeld.Waiting, 1);
    gHeld.LetGo = true;
    gHeld.Changed.notify_all();
    ASSERT_TRUE(gHeld.Changed.wait_for(lock, kLong, [] { return gHeld.Waiting == 0; }));
  }
  SetLookupFunction(system);
}
