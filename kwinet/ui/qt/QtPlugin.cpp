#include "kwinet/ui/qt/QtPlugin.h"

#include "kwinet/Version.h"
#include "kwinet/ui/qt/QtBackend.h"
#include "kwinet/ui/qt/QtDisplay.h"

namespace {

bool Reachable(kwinet::String& Why, std::string* Platform) {
  return kwinet::qt::DisplayReachable(Why, Platform);
}

kwinet::TUIBackend* Create() {
  return new kwinet::TQtBackend();
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const kwinet::qt::TQtPlugin* kwinet_qt_plugin() {
  static const kwinet::qt::TQtPlugin plugin{kwinet::qt::kQtPluginAbi, KWINET_VERSION_STRING, &Reachable, &Create};
  return &plugin;
}
