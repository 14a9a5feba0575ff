// --gui: the desktop's dialogs in place of the terminal's prompts. One place
// decides, for every command, whether the progress dialog is shown and the
// logon prompt offered, and installs the Qt backend while a command that
// shows dialogs runs with --gui.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>

#include "kwinet/core/Application.h"

namespace kwinet {
class TKwCustomWebComponent;
}

namespace kwinet::tool {

// Marks a subcommand as one that shows dialogs: --gui may go with it.
void OffersGui(CLI::App* command);

// Adds the global --gui flag to the tool for one parse. As a marked command
// starts with --gui, the Qt backend takes the console's place; a command
// that is not marked, a display that cannot be reached or a tool built
// without Qt is refused (ToolError, exit 2) before the command does
// anything. The console backend comes back when the scope ends.
class TGuiScope {
 public:
  explicit TGuiScope(CLI::App& app);
  ~TGuiScope();
  TGuiScope(const TGuiScope&) = delete;
  TGuiScope& operator=(const TGuiScope&) = delete;

 private:
  void Start(const std::string& command);

  CLI::Option* FFlag;
  std::unique_ptr<TUIBackend> FPrevious;
  bool FInstalled = false;
  bool FWasActive = false;
};

// True while the running command shows its dialogs on the desktop.
bool GuiActive();
// The progress dialog is shown on the desktop, or on a terminal's stderr.
bool ShowProgress();
// A 401 or 407 is answered with a logon prompt: on the desktop, or where a
// person at a terminal can type the answer.
bool OfferLogon();
// Both for a web component; Progress false keeps its progress dialog off
// everywhere (a picture refreshed on a timer, a feed).
void UseDialogs(TKwCustomWebComponent& component, bool progress = true);

}  // namespace kwinet::tool
