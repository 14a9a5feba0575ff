// The logon prompt on a terminal: the password must not be echoed.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "kwinet/ui/ConsoleBackend.h"
#include "kwinet/ui/ScriptedBackend.h"
#include "kwinet/utils/KwILogOn.h"

using namespace kwinet;

namespace {

// Reads what the terminal shows until Marker appears (or 10 s pass).
std::string ReadUntil(int master, const std::string& marker, std::string& seen) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (seen.find(marker) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p{master, POLLIN, 0};
    if (::poll(&p, 1, 100) > 0) {
      char buf[256];
      ssize_t n = ::read(master, buf, sizeof buf);
      if (n > 0) seen.append(buf, static_cast<std::size_t>(n));
    }
  }
  return seen;
}

}  // namespace

TEST(ConsoleLogon, PromptsOnTheTerminalAndHidesThePassword) {
  int master = -1, slave = -1;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  FILE* out = ::fdopen(::dup(slave), "w");
  ASSERT_NE(out, nullptr);
  auto previous = Application->SetBackend(std::make_unique<TConsoleBackend>(slave, out));

  String login = u"bob", password = u"old";
  bool ok = false;
  std::thread prompt([&] { ok = KwInAskLogon(u"Proxy Server authorization", login, password); });
  std::string seen;
  ReadUntil(master, "User ID [bob]: ", seen);
  ASSERT_EQ(::write(master, "alice\n", 6), 6);
  ReadUntil(master, "Password [***]: ", seen);
  // Give the prompt time to switch echo off before typing.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_EQ(::write(master, "s3cret\n", 7), 7);
  prompt.join();
  ReadUntil(master, "\n", seen);

  Application->SetBackend(std::move(previous));
  std::fclose(out);
  ::close(slave);
  ::close(master);

  EXPECT_TRUE(ok);
  EXPECT_EQ(login, u"alice");
  EXPECT_EQ(password, u"s3cret");
  EXPECT_NE(seen.find("Proxy Server authorization"), std::string::npos);
  EXPECT_NE(seen.find("alice"), std::string::npos);  // the user name is echoed
  EXPECT_EQ(seen.find("s3cret"), std::string::npos) << seen;
  EXPECT_EQ(seen.find("old"), std::string::npos) << seen;
}

TEST(ConsoleLogon, EndOfInputCancels) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[1]);  // nothing to read: end of input at once
  FILE* out = std::tmpfile();
  TBackendScope<TScriptedBackend> restore;  // puts the previous backend back
  Application->SetBackend(std::make_unique<TConsoleBackend>(fds[0], out));
  String login = u"bob", password = u"pw";
  EXPECT_FALSE(KwInAskLogon(u"", login, password));
  EXPECT_EQ(login, u"bob");
  EXPECT_EQ(password, u"pw");
  std::fclose(out);
  ::close(fds[0]);
}
