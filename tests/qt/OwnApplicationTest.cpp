// The backend in a program without a QApplication (run with
// --own-application): whether a display can be reached is told before Qt
// is started, and the backend makes a QApplication of its own and frees it.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

#include "QtTestSupport.h"
#include "kwinet/ui/ScriptedBackend.h"
#include "kwinet/ui/qt/QtBackend.h"
#include "peers/TestSupport.h"

namespace kwinet {
namespace {

class QtOwnApplication : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::gOwnApplication) GTEST_SKIP() << "needs a run with --own-application";
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
  }
};

TEST_F(QtOwnApplication, CanShowTellsWhyNoDisplayCanBeReached) {
  test::TempDir dir;
  struct Case {
    const char* Platform;
    const char* Display;
    const char* Wayland;
    bool Can;
    const char16_t* Why;
  };
  const Case cases[] = {
      {"offscreen", "", "", true, u""},
      {"minimal", "", "", true, u""},
      {"xcb", "", "", false, u"no display: DISPLAY is not set"},
      {"", "", "", false, u"no display: DISPLAY is not set"},
      // Display 937 has no server.
      {"xcb", ":937", "", false, u"no display: the X server :937 cannot be reached"},
      {"", ":937.0", "", false, u"no display: the X server :937.0 cannot be reached"},
      {"xcb", "127.0.0.1:937", "", false, u"no display: the X server 127.0.0.1:937 cannot be reached"},
      {"xcb", "nonsense", "", false, u"no display: DISPLAY nonsense is not a display name"},
      {"wayland", "", "nowhere-0", false, u"no display: the Wayland compositor nowhere-0 cannot be reached"},
      // Unset: both that Qt would try are named.
      {"", "", "nowhere-0", false,
       u"no display: DISPLAY is not set, and the Wayland compositor nowhere-0 cannot be reached"},
      {"", ":937", "nowhere-0", false,
       u"no display: the X server :937 cannot be reached, and the Wayland compositor nowhere-0 cannot be reached"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Platform) + " DISPLAY=" + c.Display);
    test::TEnvScope platform{"QT_QPA_PLATFORM", c.Platform};
    test::TEnvScope display{"DISPLAY", c.Display};
    test::TEnvScope wayland{"WAYLAND_DISPLAY", c.Wayland};
    test::TEnvScope runtime{"XDG_RUNTIME_DIR", dir.Path()};
    String why = u"stale";
    EXPECT_EQ(TQtBackend::CanShow(why), c.Can);
    EXPECT_EQ(why, c.Why);
    // Nothing of Qt was started to find out.
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
  }
  // Without a display the backend is refused with that reason.
  test::TEnvScope platform{"QT_QPA_PLATFORM", "xcb"};
  test::TEnvScope display{"DISPLAY", ""};
  try {
    TQtBackend backend;
    ADD_FAILURE() << "made without a display";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), u"no display: DISPLAY is not set");
  }
}

TEST_F(QtOwnApplication, MakesItsApplicationAndFreesItWithItself) {
  test::TEnvScope platform{"QT_QPA_PLATFORM", "offscreen"};
  // Twice: a second backend after the first has gone starts Qt again.
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    {
      TBackendScope<TQtBackend> ui;
      ASSERT_NE(qobject_cast<QApplication*>(QCoreApplication::instance()), nullptr);
      test::WhenModal([](QWidget* w) { static_cast<QMessageBox*>(w)->button(QMessageBox::Yes)->click(); });
      EXPECT_EQ(Application->MessageBox(u"Go on?", u"Test", MB_YESNO), IDYES);
      // The framework's timers fire while the backend waits.
      TTimer timer(nullptr);
      timer.SetInterval(20);
      int fired = 0;
      timer.OnTimer = [&](TObject*) {
        if (++fired == 3) Application->Terminate();
      };
      Application->RunFor(std::chrono::seconds(5));
      EXPECT_EQ(fired, 3);
    }
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
  }
}

}  // namespace
}  // namespace kwinet
