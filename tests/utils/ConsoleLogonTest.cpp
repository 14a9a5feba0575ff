// The logon prompt on a terminal: the password must not be echoed; and
// what the console backend shows of a form reaches the terminal escaped.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "kwinet/core/Forms.h"
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

bool EchoOn(int terminal) {
  struct termios t{};
  return ::tcgetattr(terminal, &t) == 0 && (t.c_lflag & ECHO) != 0;
}

// Waits (at most 10 s) until the terminal's echo is as wanted.
bool WaitForEcho(int terminal, bool on) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (EchoOn(terminal) != on) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Waits (at most 10 s) for the child to change state; kills it on time-out.
int WaitForChild(pid_t pid, int options) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int status = 0;
  while (::waitpid(pid, &status, options | WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return status;
}

// Starts the logon prompt in a child process on the terminal Slave and
// waits until it reads the password with echo off. The child exits with 0
// when it got "pw" and the signal handlers are back as they were.
pid_t StartPasswordPrompt(int master, int slave, std::string& seen) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(master);
    // A process group of its own with its parent in this session, so that a
    // stop signal with the default action does stop it.
    ::setpgid(0, 0);
    FILE* out = ::fdopen(::dup(slave), "w");
    Application->SetBackend(std::make_unique<TConsoleBackend>(slave, out));
    String login = u"bob", password;
    const bool ok = KwInAskLogon(u"Proxy Server authorization", login, password);
    bool restored = true;
    for (int sig : {SIGINT, SIGTERM, SIGTSTP, SIGCONT}) {
      struct sigaction now{};
      ::sigaction(sig, nullptr, &now);
      restored = restored && !(now.sa_flags & SA_SIGINFO) && now.sa_handler == SIG_DFL;
    }
    ::_exit(ok && password == u"pw" && restored ? 0 : 1);
  }
  ReadUntil(master, "User ID [bob]: ", seen);
  EXPECT_EQ(::write(master, "\n", 1), 1);
  ReadUntil(master, "Password: ", seen);
  EXPECT_TRUE(WaitForEcho(slave, false)) << seen;
  return pid;
}

}  // namespace

TEST(ConsoleLogon, SignalsAtThePasswordPromptLeaveTheTerminalEchoing) {
  int master = -1, slave = -1;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  ASSERT_TRUE(EchoOn(slave));
  std::string seen;

  // Interrupted or terminated: the program still ends by the signal.
  for (int sig : {SIGINT, SIGTERM}) {
    const pid_t pid = StartPasswordPrompt(master, slave, seen);
    ASSERT_GT(pid, 0);
    ::kill(pid, sig);
    const int status = WaitForChild(pid, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << sig << ": " << status;
    EXPECT_TRUE(EchoOn(slave)) << sig;
  }

  // Stopped: echo while stopped, none again once continued, and the prompt
  // carries on to the end.
  const pid_t pid = StartPasswordPrompt(master, slave, seen);
  ASSERT_GT(pid, 0);
  ::kill(pid, SIGTSTP);
  int status = WaitForChild(pid, WUNTRACED);
  EXPECT_TRUE(WIFSTOPPED(status)) << status;
  EXPECT_TRUE(EchoOn(slave));
  ::kill(pid, SIGCONT);
  EXPECT_TRUE(WaitForEcho(slave, false));
  ASSERT_EQ(::write(master, "pw\n", 3), 3);
  status = WaitForChild(pid, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(EchoOn(slave));
  std::string after;
  ReadUntil(master, "\n", after);
  EXPECT_EQ(after.find("pw"), std::string::npos) << after;

  ::close(slave);
  ::close(master);
}

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

// What a form or a message box shows comes from a form file or a server: it
// reaches the terminal escaped, a line at a time, with no control character
// of its own (an escape sequence could rewrite the screen or the title).
TEST(ConsoleBackend, FormAndMessageTextReachTheTerminalEscaped) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[1]);  // nothing to read: the prompt ends at once
  FILE* out = std::tmpfile();
  TConsoleBackend console(fds[0], out);
  const String evil =
      u"a\x1B]0;owned\a\x9B"
      u"2J\\b\r\nc";
  const std::string shown = "a\\x1B]0;owned\\x07\\x9B2J\\\\b\\r\\nc";
  console.MessageBox(evil, u"Folder \x1B[2J", MB_OK);
  TCustomForm form(nullptr);
  form.SetCaption(evil);
  auto* label = new TLabel(&form);
  label->SetCaption(evil);
  auto* edit = new TEdit(&form);
  edit->SetTabOrder(0);
  edit->SetText(evil);
  label->SetFocusControl(edit);
  console.ShowModal(form);
  std::fflush(out);
  std::rewind(out);
  std::string seen;
  char buf[512];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, out)) > 0;) seen.append(buf, n);
  std::fclose(out);
  ::close(fds[0]);
  EXPECT_EQ(seen, "Folder \\x1B[2J: " + shown + "\n" + shown + "\n" + shown + " [" + shown + "]: \n");
}

// A transfer far faster than a person reads, on a terminal and in a log:
// redrawn at a reader's pace, never once a change, and ending on the last
// state; the form's heading comes first, in words.
TEST(ConsoleBackend, ProgressIsPacedEndsOnTheLastStateAndHasItsHeadingInWords) {
  for (bool tty : {true, false}) {
    SCOPED_TRACE(tty ? "terminal" : "log");
    int master = -1, slave = -1;
    FILE* out = nullptr;
    if (tty) {
      ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
      out = ::fdopen(::dup(slave), "w");
    } else {
      out = std::tmpfile();
    }
    ASSERT_NE(out, nullptr);
    TCustomForm form(nullptr);
    form.SetCaption(u"Software update");
    auto* title = new TLabel(&form);
    title->SetFontBold(true);
    title->SetCaption(u"MyApp update");
    auto* about = new TLabel(&form);
    about->SetWordWrap(true);
    about->SetCaption(u"Fetching the new version");
    auto* logo = new TImage(&form);
    logo->Graphic()->SetImage(pfPNG, TPixelImage{4, 3, std::vector<std::uint32_t>(12, 0xFF000000)});
    auto* status = new TLabel(&form);
    auto* bar = new TProgressBar(&form);

    auto previous = Application->SetBackend(std::make_unique<TConsoleBackend>(0, out));
    form.Show();
    constexpr int changes = 5000;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 1; i <= changes; ++i) {
      form.BeginUpdate();
      bar->SetPosition(i * 100 / changes);
      status->SetCaption(u"Done " + IntToStr(i));
      form.EndUpdate();
    }
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    form.Hide();
    std::fflush(out);
    Application->SetBackend(std::move(previous));

    std::string seen;
    if (tty) {
      ReadUntil(master, "Done " + std::to_string(changes), seen);
    } else {
      std::rewind(out);
      char buf[4096];
      for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, out)) > 0;) seen.append(buf, n);
    }
    std::fclose(out);
    if (tty) {
      ::close(master);
      ::close(slave);
    }
    // A terminal redraws its line ten times a second at most, a log takes a
    // line about thirty times a second at most.
    const std::string mark = tty ? "\x1b[2K" : "Done ";
    std::size_t draws = 0;
    for (std::size_t at = seen.find(mark); at != std::string::npos; at = seen.find(mark, at + 1)) ++draws;
    EXPECT_LE(draws, static_cast<std::size_t>(took / (tty ? 100 : 33) + 3)) << "in " << took << " ms";
    EXPECT_NE(seen.find("Done " + std::to_string(changes)), std::string::npos);
    if (tty) {
      EXPECT_NE(seen.find("MyApp update: Fetching the new version (a PNG picture, 4 x 3 pixels)"), std::string::npos)
          << seen;
    }
  }
}
