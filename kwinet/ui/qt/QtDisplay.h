/// @file
/// Whether Qt can reach a display here, looked at before a QApplication is
/// made: Qt ends the process when its platform cannot connect.
#pragma once

#include <string>

#include "kwinet/core/String.h"

namespace kwinet::qt {

/// Reads QT_QPA_PLATFORM, DISPLAY, WAYLAND_DISPLAY and XDG_RUNTIME_DIR: true
/// for a platform that needs no display, or when the X server or Wayland
/// compositor named answers; else false with a one-line reason that names
/// both when both were tried. Without QT_QPA_PLATFORM, Platform receives the
/// platform that answered ("wayland", when Qt has its plugin, or "xcb"), for
/// Qt to be given in place of its own guess.
bool DisplayReachable(String& Why, std::string* Platform = nullptr);

}  // namespace kwinet::qt
