// Installs the Qt backend as an outside program does, in a program that
// has no QApplication of its own, and lets a framework timer fire in Qt's
// event loop.
#include <QCoreApplication>
#include <cstdio>
#include <memory>

#include "kwinet/core/Application.h"
#include "kwinet/ui/qt/QtBackend.h"

using namespace kwinet;

int main() {
  String why;
  if (!TQtBackend::CanShow(why)) {
    std::printf("FAIL CanShow: %s\n", StringToUtf8(why).c_str());
    return 1;
  }
  auto previous = Application->SetBackend(std::make_unique<TQtBackend>());
  int fired = 0;
  {
    TTimer timer(nullptr);
    timer.SetInterval(10);
    timer.OnTimer = [&](TObject*) {
      if (++fired == 2) Application->Terminate();
    };
    Application->RunFor(std::chrono::seconds(5));
  }
  const bool hadApplication = QCoreApplication::instance() != nullptr;
  Application->SetBackend(std::move(previous));
  const bool freed = QCoreApplication::instance() == nullptr;
  std::printf("qt backend: timer fired %d times, application %s\n", fired,
              hadApplication && freed ? "made and freed" : "WRONG");
  return fired == 2 && hadApplication && freed ? 0 : 1;
}
