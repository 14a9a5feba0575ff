// kwinet --gui: the desktop's dialogs in place of the terminal, refused
// without a display, on Qt's offscreen platform, and on a real X server
// (Xvfb) where xdotool answers the logon dialog as a person would. Also the
// Qt updater example, run without a person.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "peers/FakeServer.h"
#include "peers/NginxSuite.h"
#include "peers/PictureFiles.h"
#include "peers/TestSupport.h"
#include "tools/ToolRun.h"
#ifdef KWINET_TOOL_HAS_QT
#include "peers/Xvfb.h"
#endif

namespace {

using kwinet::test::OneErrorLine;
using kwinet::test::ProcessResult;
using kwinet::test::ReadFileBytes;
using kwinet::test::RunProcess;
using kwinet::test::WriteFileBytes;

class GuiTool : public kwinet::test::TNginxSuite {
 protected:
  kwinet::test::TempDir dir;
};

#ifndef KWINET_TOOL_HAS_QT

TEST_F(GuiTool, RefusedByAToolBuiltWithoutQt) {
  WriteFileBytes(server->Root() + "/a.bin", "data");
  auto r = kwinet::test::Tool({"--gui", "update", server->Url("/a.bin"), dir.File("a.bin")});
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_EQ(r.Err, "kwinet: --gui: this kwinet was built without Qt\n");
  EXPECT_EQ(server->CountRequests("/a.bin"), 0);
}

#else

// Runs a program under /usr/bin/env with the environment changed: "-u NAME"
// takes a variable away, "NAME=VALUE" sets one. Standard input is a pipe, so
// never a terminal.
ProcessResult RunWith(std::vector<std::string> env, const std::vector<std::string>& argv,
                      std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
  env.insert(env.begin(), "/usr/bin/env");
  env.insert(env.end(), argv.begin(), argv.end());
  return RunProcess(env, "", timeout);
}

std::vector<std::string> ToolArgs(std::vector<std::string> args) {
  args.insert(args.begin(), KWINET_TOOL_PATH);
  return args;
}

#ifdef KWINET_TOOL_QT_PLUGIN_BUILD
// The dialogs come from a plugin beside the library; a tool whose plugin is
// not there (a copy of it elsewhere, or no kwinet-gui package) refuses --gui
// in one line before it connects, and does all else as before.
TEST_F(GuiTool, WithoutItsPluginTheToolRefusesGuiInOneLine) {
  WriteFileBytes(server->Root() + "/p.bin", "data");
  const std::string tool = dir.File("kwinet");
  std::filesystem::copy_file(KWINET_TOOL_PATH, tool);
  auto r = RunWith({"QT_QPA_PLATFORM=offscreen"}, {tool, "--gui", "update", server->Url("/p.bin"), dir.File("p.bin")});
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_EQ(r.Err.rfind("kwinet: --gui: the desktop dialogs are not installed (no ", 0), 0u) << r.Err;
  EXPECT_EQ(r.Err.find('\n'), r.Err.size() - 1) << r.Err;
  EXPECT_EQ(server->CountRequests("/p.bin"), 0);
  r = RunWith({}, {tool, "update", server->Url("/p.bin"), dir.File("p.bin")});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(ReadFileBytes(dir.File("p.bin")), "data");
}
#endif

// A virtual X server that does not reset when its last client leaves (the
// display check's own connection would otherwise leave the next one to find
// it resetting).
using TXvfb = kwinet::test::Xvfb;

// Neither X nor Wayland: what a session without a desktop has.
const std::vector<std::string> kNoDisplay = {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY"};

TEST_F(GuiTool, RefusedBeforeAnyConnectionWithoutADisplayOrADialog) {
  WriteFileBytes(server->Root() + "/a.bin", "data");
  const std::vector<std::string> update = {"--gui", "update", server->Url("/a.bin"), dir.File("a.bin")};
  struct Case {
    std::vector<std::string> env;
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {{"-u", "QT_QPA_PLATFORM"}, update, "kwinet: --gui: no display"},
      {{"QT_QPA_PLATFORM=xcb"}, update, "kwinet: --gui: no display"},
      {{"QT_QPA_PLATFORM=offscreen"}, {"--gui", "whois", "example.com"}, "kwinet: --gui: whois shows no dialog"},
      // A Wayland session's name with nothing listening: both are named.
      {{"-u", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR=" + dir.Path(), "WAYLAND_DISPLAY=wayland-gone"},
       update,
       "kwinet: --gui: no display: DISPLAY is not set, and the Wayland compositor wayland-gone cannot be reached\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> env = kNoDisplay;
    env.insert(env.end(), c.env.begin(), c.env.end());
    auto r = RunWith(env, ToolArgs(c.args));
    EXPECT_EQ(r.ExitCode, 2) << c.args[1] << " " << r.Err;
    EXPECT_TRUE(OneErrorLine(r)) << r.Err;
    EXPECT_EQ(r.Err.rfind(c.says, 0), 0u) << r.Err;
    EXPECT_EQ(r.Out, "");
  }
  EXPECT_EQ(server->CountRequests("/a.bin"), 0);
  EXPECT_FALSE(std::filesystem::exists(dir.File("a.bin")));
}

// An X server that accepts and then says nothing, or nothing of X, is
// given up on after a bounded handshake, as a display that is not there.
TEST_F(GuiTool, RefusedWhenTheXServerDoesNotCompleteItsHandshake) {
  using kwinet::test::FakeServer;
  WriteFileBytes(server->Root() + "/x.bin", "data");
  FakeServer::ConnectionHandler servers[] = {FakeServer::Stall(), FakeServer::Garbage(64, "")};
  for (const auto& handler : servers) {
    FakeServer x(handler);
    ASSERT_GT(x.Port(), 6000);
    const std::string display = "127.0.0.1:" + std::to_string(x.Port() - 6000);
    std::vector<std::string> env = kNoDisplay;
    env.insert(env.end(), {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display});
    const auto start = std::chrono::steady_clock::now();
    auto r = RunWith(env, ToolArgs({"--gui", "update", server->Url("/x.bin"), dir.File("x.bin")}),
                     std::chrono::seconds(20));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(r.ExitCode, 2) << r.Err;
    EXPECT_EQ(r.Err, "kwinet: --gui: no display: the X server " + display + " does not complete its handshake\n");
    EXPECT_GE(x.ConnectionCount(), 1u);
  }
  EXPECT_EQ(server->CountRequests("/x.bin"), 0);
}

TEST_F(GuiTool, DownloadsWithTheDialogsOffscreen) {
  const std::string data(300000, 'q');
  WriteFileBytes(server->Root() + "/big.bin", data);
  std::vector<std::string> env = kNoDisplay;
  // Without a runtime folder Qt has a warning to give: a run that succeeds
  // still says nothing on standard error.
  env.insert(env.end(), {"-u", "XDG_RUNTIME_DIR", "QT_QPA_PLATFORM=offscreen"});
  auto r = RunWith(env, ToolArgs({"--gui", "update", server->Url("/big.bin"), dir.File("big.bin")}));
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "isFinished\n");
  EXPECT_EQ(r.Err, "");
  EXPECT_TRUE(ReadFileBytes(dir.File("big.bin")) == data);

  r = RunWith(env, ToolArgs({"--gui", "get", server->Url("/big.bin"), "-o", dir.File("got.bin")}));
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  EXPECT_TRUE(ReadFileBytes(dir.File("got.bin")) == data);

  // The example program clicks Update itself, runs its three downloads at
  // once and ends by their statuses: 0 only when every file is current.
  const std::string example = dir.File("example");
  std::filesystem::create_directory(example);
  const std::string data2(200000, 'r'), data3(100000, 's');
  WriteFileBytes(server->Root() + "/big2.bin", data2);
  WriteFileBytes(server->Root() + "/big3.bin", data3);
  r = RunWith(env, {KWINET_QT_UPDATER_PATH, "--url", server->Url("/big.bin"), "--url", server->Url("/big2.bin"), "--url",
                    server->Url("/big3.bin"), "--local", example + "/e.bin", "--local", example + "/e2.bin", "--local",
                    example + "/e3.bin", "--run"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(ReadFileBytes(example + "/e.bin") == data);
  EXPECT_TRUE(ReadFileBytes(example + "/e2.bin") == data2);
  EXPECT_TRUE(ReadFileBytes(example + "/e3.bin") == data3);
  r = RunWith(env, {KWINET_QT_UPDATER_PATH, "--url", server->Url("/big.bin"), "--url", server->Url("/none.bin"), "--local",
                    example + "/e.bin", "--local", example + "/n.bin", "--run"});
  EXPECT_EQ(r.ExitCode, 1) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(example + "/n.bin"));
}

// No one can close a window on the offscreen platform: the picture's run
// ends with its refresh and the news come as text, without a word on
// standard error.
TEST_F(GuiTool, WindowsNoOneCanCloseDoNotHoldARunOffscreen) {
  WriteFileBytes(server->Root() + "/cam.png", kwinet::test::MakePng(8, 6));
  WriteFileBytes(server->Root() + "/news.sin", "[News]\nhttp://x/1=One\n");
  std::vector<std::string> env = kNoDisplay;
  env.insert(env.end(), {"-u", "XDG_RUNTIME_DIR", "QT_QPA_PLATFORM=offscreen", "XDG_DATA_HOME=" + dir.File("data")});
  auto r = RunWith(env, ToolArgs({"--gui", "image", server->Url("/cam.png")}), std::chrono::seconds(20));
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "PNG 8x6\n");
  EXPECT_EQ(r.Err, "");
  r = RunWith(env, ToolArgs({"--gui", "news", server->Url("/news.sin")}), std::chrono::seconds(20));
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find("One"), std::string::npos) << r.Out;
  EXPECT_EQ(r.Err, "");
}

// Qt itself would try a Wayland compositor first, which is not there: it
// is given the X server that answers, and says nothing of the other.
TEST_F(GuiTool, ADeadWaylandNameLeavesTheXServerInPeace) {
  TXvfb x;
  if (!x.Ok()) {
    if (kwinet::test::InCI()) FAIL() << x.Error();
    GTEST_SKIP() << x.Error();
  }
  WriteFileBytes(server->Root() + "/w.bin", "data");
  const std::vector<std::string> env = {"-u", "QT_QPA_PLATFORM", "DISPLAY=" + x.Display(),
                                        "XDG_RUNTIME_DIR=" + dir.Path(), "WAYLAND_DISPLAY=wayland-gone"};
  auto r = RunWith(env, ToolArgs({"--gui", "get", server->Url("/w.bin"), "-o", dir.File("w.bin")}));
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  EXPECT_EQ(ReadFileBytes(dir.File("w.bin")), "data");
}

// On a real X server: the progress dialog is up, and the logon dialog asks
// for the user and password of the private folder although standard input
// is not a terminal; what xdotool types there reaches the server.
TEST_F(GuiTool, LogonDialogOnAnXServerTakesWhatIsTyped) {
  TXvfb x;
  const std::string missing = !x.Ok() ? x.Error()
                              : !kwinet::test::HaveProgram("/usr/bin/xdotool")
                                  ? std::string("xdotool is not installed (Debian xdotool)")
                                  : std::string();
  if (!missing.empty()) {
    if (kwinet::test::InCI()) FAIL() << missing;
    GTEST_SKIP() << missing;
  }
  WriteFileBytes(server->Root() + "/private/g.bin", "private data");
  const std::vector<std::string> env = {"-u", "WAYLAND_DISPLAY", "DISPLAY=" + x.Display(), "QT_QPA_PLATFORM=xcb"};
  auto run = std::async(std::launch::async, [&] {
    return RunWith(env, ToolArgs({"--gui", "update", server->Url("/private/g.bin"), dir.File("g.bin")}));
  });
  // Waits for the dialog (xdotool's --sync, bounded by the timeout), looks
  // for the progress dialog behind it, then types into it. Each step is an
  // xdotool call of its own: "type" takes the rest of its command line as
  // text, and keys sent to a window by id would race its destruction.
  auto shown = RunWith(env, {"/usr/bin/xdotool", "search", "--sync", "--name", "^HTTP Server authorization$"},
                       std::chrono::seconds(30));
  auto progress = RunWith(env, {"/usr/bin/xdotool", "search", "--name", "^Software update$"}, std::chrono::seconds(10));
  std::string window = shown.Out.substr(0, shown.Out.find('\n'));
  const std::vector<std::vector<std::string>> steps = {
      {"/usr/bin/xdotool", "windowfocus", "--sync", window},
      {"/usr/bin/xdotool", "type", "--delay", "20", "kwuser"},
      {"/usr/bin/xdotool", "key", "Tab"},
      {"/usr/bin/xdotool", "type", "--delay", "20", "kwpass"},
      {"/usr/bin/xdotool", "key", "Return"}};
  for (const auto& step : steps) {
    auto typed = RunWith(env, step, std::chrono::seconds(30));
    EXPECT_EQ(typed.ExitCode, 0) << step[1] << ": " << typed.Err;
  }
  auto r = run.get();
  EXPECT_EQ(shown.ExitCode, 0) << shown.Err;
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "isFinished\n");
  EXPECT_EQ(ReadFileBytes(dir.File("g.bin")), "private data");
  EXPECT_TRUE(server->WaitForLogLine("GET /private/g.bin 200 -"));
  // The progress dialog stood while the logon was asked for.
  EXPECT_EQ(progress.ExitCode, 0) << progress.Err;
}

#endif

}  // namespace
