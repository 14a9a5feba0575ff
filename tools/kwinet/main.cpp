#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "Gui.h"
#include "Tool.h"
#include "kwinet/Version.h"
#include "kwinet/core/Application.h"
#include "kwinet/ui/ConsoleBackend.h"
#include "kwinet/utils/PrivateTemp.h"
#include "kwinet/utils/RedactUrl.h"

namespace kwinet::tool {

std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
}

int& ExitCode() {
  static int code = 0;
  return code;
}

void PrintBytes(std::string_view bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

void Print(const String& text, bool newline) {
  PrintBytes(StringToUtf8(text));
  if (newline) std::fputc('\n', stdout);
}

namespace {

std::vector<Command> Sorted() {
  auto commands = Registry();
  std::stable_sort(commands.begin(), commands.end(),
                   [](const Command& a, const Command& b) { return a.Order < b.Order; });
  return commands;
}

// The command a command line names: its first word that is not an option
// (the tool's own options take no value).
std::string NamedCommand(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--help-all") return {};
    if (a.empty() || a[0] != '-') return a;
  }
  return {};
}

bool HasSubcommand(CLI::App& app, const std::string& name) {
  return !app.get_subcommands([&name](CLI::App* c) { return c->get_name() == name; }).empty();
}

// Sets up the command that the line names, and the others only when it
// names none that is there (the help, --help-all, a mistyped name, the
// demo): building every command's options is most of the tool's start-up.
void SetUpCommands(CLI::App& app, const std::vector<std::string>& args) {
  const std::string named = NamedCommand(args);
  const std::vector<Command> commands = Sorted();
  const Command* first = nullptr;
  for (const Command& c : commands) {
    if (!named.empty() && c.Name == named) first = &c;
  }
  if (first) {
    first->Setup(app);
    if (HasSubcommand(app, named)) return;
  }
  for (const Command& c : commands) {
    if (&c != first) c.Setup(app);
  }
}

int RunDemo() {
  int failures = 0;
  for (const Command& c : Sorted()) {
    if (!c.Demo) continue;
    std::printf("\n== %s ==\n", c.Name.c_str());
    std::fflush(stdout);
    int r = c.Demo();
    std::fflush(stdout);
    if (r != 0) {
      ++failures;
      std::fprintf(stderr, "kwinet: the %s part of the demo failed\n", c.Name.c_str());
    }
  }
  std::printf("\nDemo finished: %d part(s) failed.\n", failures);
  return failures == 0 ? 0 : 1;
}

// A stop from the terminal or the system takes the files this run would
// leave behind (the copies in the private folder, a half-written -o file)
// with it, then ends the program as the signal would have.
void RemoveFilesAndStop(int sig) {
  kwinet::RemoveRegisteredFiles();
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = RemoveFilesAndStop;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    // A signal ignored by whoever started us stays ignored.
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(sig, &action, nullptr);
  }
}

// The reason of a failure often holds a server's words (a reason phrase, a
// file name): they are written as every value from a server is, so that no
// escape sequence reaches the terminal. A message may also quote a URL of
// the command line: never with its password or key.
void OneLine(const std::string& message) {
  std::fprintf(stderr, "kwinet: %s\n", OneLineValue(Utf8ToString(RedactUrl(message))).c_str());
}

}  // namespace

int Run(const std::vector<std::string>& args) {
  CLI::App app{"kwinet: network components from the command line.\n"
               "Each subcommand drives one component; see 'kwinet COMMAND --help'.",
               "kwinet"};
  app.require_subcommand(1);
  app.fallthrough(false);
  app.set_help_all_flag("--help-all", "Show the help of every command");
  app.set_version_flag("--version", std::string("kwinet ") + LibraryVersion(), "Show the version of kwinet and exit");
  SetUpCommands(app, args);
  app.add_subcommand("demo", "Show every component at work against servers started on this machine")
      ->callback([] { ExitCode() = RunDemo(); });
  TGuiScope gui(app);
  ExitCode() = 0;
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    OneLine(std::string(e.what()) + ". Run with --help for more information.");
    return 2;
  } catch (const ToolError& e) {
    OneLine(e.what());
    return e.Code;
  } catch (const Exception& e) {
    OneLine(e.what());
    return 1;
  } catch (const std::exception& e) {
    OneLine(e.what());
    return 1;
  }
  std::fflush(stdout);
  return ExitCode();
}

}  // namespace kwinet::tool

int main(int argc, char** argv) {
  // Prompts (logon, progress) go to the terminal.
  kwinet::tool::InstallStopHandlers();
  kwinet::Application->SetBackend(std::make_unique<kwinet::TConsoleBackend>());
  kwinet::Application->SetTitle(u"kwinet");
  std::vector<std::string> args(argv + 1, argv + argc);
  return kwinet::tool::Run(args);
}
