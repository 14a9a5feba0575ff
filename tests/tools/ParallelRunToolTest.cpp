// kwinet run --parallel: every job of a form at once, the results in the
// form's order.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "peers/FakeServer.h"
#include "peers/TestSupport.h"
#include "tools/ToolRun.h"

namespace {

using kwinet::test::FakeConnection;
using kwinet::test::FakeServer;
using kwinet::test::TempDir;
using kwinet::test::Tool;
using kwinet::test::WriteFileBytes;

std::string Whois(const std::string& name, int port, int timeout) {
  return "  object " + name + ": TKwWhoIs\n    Port = " + std::to_string(port) +
         "\n    Host = '127.0.0.1'\n    AutoSelectServer = False\n    Domain = '" + name +
         ".example'\n    Timeout = " + std::to_string(timeout) + "\n  end\n";
}

TEST(ParallelRun, TheJobsOverlapAndTheirResultsComeInTheFormsOrder) {
  // Each server answers only once all three have a request in (or after
  // 20 s, which jobs one after the other would cost): the record shows
  // every request in before the first answer.
  std::mutex lock;
  std::condition_variable changed;
  std::vector<std::string> record;
  auto slow = [&](int index) {
    return [&, index](FakeConnection& c) {
      if (!c.ReadUntil("\r\n")) return;
      std::unique_lock hold(lock);
      record.push_back("+" + std::to_string(index));
      changed.notify_all();
      changed.wait_for(hold, std::chrono::seconds(20), [&] {
        return std::count_if(record.begin(), record.end(), [](const std::string& e) { return e[0] == '+'; }) == 3;
      });
      hold.unlock();
      c.Send("Domain Name: " + c.Data().substr(0, c.Data().find("\r\n")) + "\r\n");
      hold.lock();
      record.push_back("-" + std::to_string(index));
    };
  };
  FakeServer a(slow(0)), b(slow(1)), c(slow(2));
  TempDir dir;
  const std::string form = dir.File("three.form");
  WriteFileBytes(form, "object Form1: TForm\n" + Whois("A", a.Port(), 30000) + Whois("B", b.Port(), 30000) +
                           Whois("C", c.Port(), 30000) + "end\n");
  auto r = Tool({"run", "--parallel", form});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  EXPECT_EQ(r.Out,
            "A: TKwWhoIs\nDomain Name: A.example\r\nB: TKwWhoIs\nDomain Name: B.example\r\n"
            "C: TKwWhoIs\nDomain Name: C.example\r\n");
  std::lock_guard hold(lock);
  ASSERT_EQ(record.size(), 6u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(record[i][0], '+') << i;
}

TEST(ParallelRun, AStalledServerFailsOnlyItsOwnJobAtItsTimeout) {
  FakeServer stalled(FakeServer::Stall());
  FakeServer live([](FakeConnection& c) {
    if (c.ReadUntil("\r\n")) c.Send("Domain Name: " + c.Data().substr(0, c.Data().find("\r\n")) + "\r\n");
  });
  TempDir dir;
  const std::string form = dir.File("two.form");
  WriteFileBytes(form, "object Form1: TForm\n" + Whois("Slow", stalled.Port(), 500) +
                           Whois("Live", live.Port(), 30000) + "end\n");
  auto r = Tool({"run", "--parallel", form});
  EXPECT_EQ(r.ExitCode, 1) << r.Err;
  EXPECT_EQ(r.Out, "Slow: TKwWhoIs\nLive: TKwWhoIs\nDomain Name: Live.example\r\n");
  EXPECT_NE(r.Err.find("kwinet: Slow: "), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("timed out after 500 ms"), std::string::npos) << r.Err;

  auto usage = Tool({"run", "--parallel", "--execute", "Live", form});
  EXPECT_EQ(usage.ExitCode, 2) << usage.Err;
}

}  // namespace
