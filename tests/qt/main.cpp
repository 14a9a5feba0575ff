// The desktop dialogs' tests run in one QApplication made here, on the
// platform the test run names: offscreen, or (KWINET_QT_XVFB=1) the xcb
// platform on a virtual X server started for the run. With
// --own-application no QApplication is made, for the tests of a backend
// that makes its own.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "QtTestSupport.h"
#include "peers/Xvfb.h"

namespace kwinet::test {
bool gOwnApplication = false;
}

int main(int argc, char** argv) {
  using kwinet::test::gOwnApplication;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--own-application") == 0) gOwnApplication = true;
  std::unique_ptr<kwinet::test::Xvfb> xvfb;
  if (const char* v = std::getenv("KWINET_QT_XVFB"); v && std::strcmp(v, "1") == 0) {
    xvfb = std::make_unique<kwinet::test::Xvfb>();
    if (!xvfb->Ok()) {
      std::fprintf(stderr, "peer not available: %s\n", xvfb->Error().c_str());
      // Under CI a missing X server is a failure; elsewhere the run is
      // skipped (ctest's SKIP_RETURN_CODE).
      return kwinet::test::InCI() ? 1 : 77;
    }
    ::setenv("DISPLAY", xvfb->Display().c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::unsetenv("WAYLAND_DISPLAY");
  }
  ::testing::InitGoogleTest(&argc, argv);
  std::unique_ptr<QApplication> app;
  if (!gOwnApplication) app = std::make_unique<QApplication>(argc, argv);
  const int result = RUN_ALL_TESTS();
  app.reset();
  return result;
}
