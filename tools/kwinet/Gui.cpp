#include "Gui.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "Tool.h"
#include "kwinet/web/kwiupdate.h"
#if defined(KWINET_TOOL_QT_PLUGIN)
#include "kwinet/Version.h"
#include "kwinet/core/SharedLibrary.h"
#include "kwinet/ui/qt/QtPlugin.h"
#define KWINET_TOOL_GUI 1
#elif defined(KWINET_TOOL_HAS_QT)
#include "kwinet/ui/qt/QtBackend.h"
#include "kwinet/ui/qt/QtDisplay.h"
#define KWINET_TOOL_GUI 1
#endif

namespace kwinet::tool {
namespace {

std::set<std::string>& GuiCommands() {
  static std::set<std::string> names;
  return names;
}

bool& Active() {
  static bool active = false;
  return active;
}

#if defined(KWINET_TOOL_QT_PLUGIN)
// The Qt backend comes from a plugin, loaded on the first --gui only: no
// other command loads Qt. It is looked for beside the library, by a path from
// the tool's own folder (never from the working folder or the environment),
// and kept loaded to the end.
const qt::TQtPlugin& QtPlugin() {
  static const qt::TQtPlugin* loaded = nullptr;
  if (loaded) return *loaded;
  std::error_code ec;
  const std::filesystem::path tool = std::filesystem::read_symlink("/proc/self/exe", ec);
  const std::string path =
      (tool.parent_path() / KWINET_TOOL_QT_PLUGIN_DIR / KWINET_TOOL_QT_PLUGIN).lexically_normal().string();
  if (ec || !std::filesystem::exists(path, ec)) {
    throw ToolError(2, "--gui: the desktop dialogs are not installed (no " + path + "; Debian package kwinet-gui)");
  }
  std::string error;
  void* library = OpenSharedLibrary(path.c_str(), error);
  if (!library) throw ToolError(2, "--gui: the desktop dialogs cannot be loaded: " + error);
  qt::TQtPluginEntry entry = nullptr;
  if (!FindSharedFunction(library, path.c_str(), qt::kQtPluginEntry, entry, error)) throw ToolError(2, "--gui: " + error);
  const qt::TQtPlugin* plugin = entry();
  if (plugin->Abi != qt::kQtPluginAbi || std::string(plugin->Version) != KWINET_VERSION_STRING) {
    throw ToolError(2, "--gui: " + path + " is not the desktop plugin of kwinet " KWINET_VERSION_STRING);
  }
  loaded = plugin;
  return *loaded;
}

bool DisplayReachable(String& Why, std::string* Platform) {
  return QtPlugin().DisplayReachable(Why, Platform);
}

std::unique_ptr<TUIBackend> MakeQtBackend() {
  return std::unique_ptr<TUIBackend>(QtPlugin().CreateBackend());
}
#elif defined(KWINET_TOOL_HAS_QT)
bool DisplayReachable(String& Why, std::string* Platform) {
  return qt::DisplayReachable(Why, Platform);
}

std::unique_ptr<TUIBackend> MakeQtBackend() {
  return std::make_unique<TQtBackend>();
}
#endif

}  // namespace

void OffersGui(CLI::App* command) {
  GuiCommands().insert(command->get_name());
}

TGuiScope::TGuiScope(CLI::App& app) : FWasActive(Active()) {
  const std::string help =
      "Show the dialogs on the desktop (Qt 6) in place of the terminal: the progress dialog, and a logon prompt on a "
      "401 or 407 even when standard input is not a terminal. Goes with update, get, links, news, rss and image; any "
      "other command is refused (exit status 2), and so is --gui without a display (an X server or Wayland compositor "
      "that answers)";
  FFlag = app.add_flag("--gui", help);
  // Each command is checked as it starts, before it reads its own
  // arguments, so nothing connects when --gui cannot be honoured.
  for (CLI::App* command : app.get_subcommands([](CLI::App*) { return true; })) {
    const std::string name = command->get_name();
    command->preparse_callback([this, name](std::size_t) {
      if (FFlag->count() > 0) Start(name);
    });
  }
}

TGuiScope::~TGuiScope() {
  if (FInstalled) Application->SetBackend(std::move(FPrevious));
  Active() = FWasActive;
}

void TGuiScope::Start(const std::string& command) {
  if (GuiCommands().count(command) == 0) throw ToolError(2, "--gui: " + command + " shows no dialog");
#ifdef KWINET_TOOL_GUI
  String why;
  std::string platform;
  if (!DisplayReachable(why, &platform)) {
    const std::string reason = StringToUtf8(why);
    throw ToolError(2, "--gui: " + (reason.rfind("no display", 0) == 0 ? reason : "no display: " + reason));
  }
  // Qt is given the platform that answered, in place of its own guess (a
  // dead WAYLAND_DISPLAY would make it try Wayland first); only for the
  // start, so that programs started later make their own choice.
  const bool choose = !platform.empty() && std::getenv("QT_QPA_PLATFORM") == nullptr;
  if (choose) ::setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
  std::unique_ptr<TUIBackend> qt;
  try {
    qt = MakeQtBackend();
  } catch (const Exception& e) {
    if (choose) ::unsetenv("QT_QPA_PLATFORM");
    throw ToolError(2, "--gui: " + StringToUtf8(e.Message()));
  }
  if (choose) ::unsetenv("QT_QPA_PLATFORM");
  FPrevious = Application->SetBackend(std::move(qt));
  FInstalled = true;
  Active() = true;
#else
  throw ToolError(2, "--gui: this kwinet was built without Qt");
#endif
}

bool GuiActive() {
  return Active();
}

bool ShowProgress() {
  return GuiActive() || ::isatty(2) != 0;
}

bool OfferLogon() {
  return GuiActive() || (::isatty(0) != 0 && ::isatty(2) != 0);
}

void UseDialogs(TKwCustomWebComponent& component, bool progress) {
  component.StatusDialog()->SetEnabled(progress && ShowProgress());
  component.SetLoginPrompt(OfferLogon());
}

}  // namespace kwinet::tool
