// The Qt backend as a plugin: a program that does not link Qt (the kwinet
// tool) loads the plugin when it needs the desktop's dialogs, and reaches the
// backend through the one function the plugin exports. Plugin and program
// share libkwinet, so the backend it makes is installed like any other.
#pragma once

#include <string>

#include "kwinet/core/Application.h"

namespace kwinet::qt {

// Raised when the table's layout changes; a plugin of another layout is
// refused.
inline constexpr int kQtPluginAbi = 1;
// The name of the exported function, which returns the plugin's table.
inline constexpr const char* kQtPluginEntry = "kwinet_qt_plugin";

struct TQtPlugin {
  int Abi;
  // The kwinet release the plugin was built with ("X.Y.Z").
  const char* Version;
  // As DisplayReachable (QtDisplay.h).
  bool (*DisplayReachable)(String& Why, std::string* Platform);
  // A new TQtBackend, owned by the caller; raises Exception as its
  // constructor does.
  TUIBackend* (*CreateBackend)();
};

using TQtPluginEntry = const TQtPlugin* (*)();

}  // namespace kwinet::qt
