// The progress dialog of a web job as the Qt backend shows it: the
// application's picture and icon (given as bytes, read from a stored form,
// or not given), the white heading with its bold title and wrapped
// description, and its progress redrawn at the pace of a screen whatever
// the pace of the transfer.
#include <gtest/gtest.h>

#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <cstdio>
#include <functional>
#include <memory>

#include "QtTestSupport.h"
#include "kwinet/design/KwInetClasses.h"
#include "kwinet/storage/FormStream.h"
#include "kwinet/ui/ScriptedBackend.h"
#include "kwinet/ui/qt/QtBackend.h"
#include "kwinet/ui/qt/QtPicture.h"
#include "kwinet/web/ProgressPresenter.h"
#include "kwinet/web/kwiupdate.h"
#include "peers/PictureFiles.h"

namespace kwinet {
namespace {

using test::SaveShot;

std::string Hex(const std::string& bytes) {
  std::string hex;
  char two[3];
  for (unsigned char b : bytes) {
    std::snprintf(two, sizeof two, "%02X", b);
    hex += two;
  }
  return hex;
}

// Whether Shown holds the test pattern of that size, judged by its corners.
void ExpectQuadrants(const QImage& Shown, int Width, int Height) {
  ASSERT_EQ(Shown.size(), QSize(Width, Height));
  for (auto [x, y] : {std::pair{0, 0}, {Width - 1, 0}, {0, Height - 1}, {Width - 1, Height - 1}})
    EXPECT_EQ(Shown.pixel(x, y), test::QuadrantColor(x, y, Width, Height)) << x << "," << y;
}

class QtStatusDialogTest : public ::testing::Test {
 public:
  static void SetUpTestSuite() { RegisterKwInetClasses(); }

 protected:
  QtStatusDialogTest() { settings.SetEnabled(true); }
  ~QtStatusDialogTest() override {
    if (shownWith) shownWith->Close();
  }

  // Shows the dialog as an updater's job does.
  QDialog* Show(const TKwInetStatusDialog& Settings) {
    shownWith = std::make_unique<TKwProgressPresenter>(form, Settings);
    shownWith->Show(TKwProgressFiles{u"http://127.0.0.1/app.tar", u"/tmp/app.tar"});
    return ui->DialogOf(*form);
  }

  TBackendScope<TQtBackend> ui;
  TKwInetStatusDialog settings;
  std::unique_ptr<TfrmKwInetUpdate> form;
  std::unique_ptr<TKwProgressPresenter> shownWith;
};

TEST_F(QtStatusDialogTest, TheApplicationsPictureReplacesTheLogoUnlessThereIsNone) {
  const QImage logo = qt::ResourceImage(u"kwinet_update_logo.png").convertToFormat(QImage::Format_ARGB32);
  ASSERT_FALSE(logo.isNull());
  const std::string png = test::MakePng(60, 120);
  // The stored form of an updater whose dialog has a picture.
  const std::string stored =
      "object Form1: TForm\n  object Upd: TKwWebUpdater\n    StatusDialog.Enabled = True\n"
      "    StatusDialog.Picture.Data = {\n      " +
      Hex(png) + "}\n  end\nend\n";
  std::unique_ptr<TComponent> storedForm = ReadComponentText(stored);
  auto* storedUpdater = dynamic_cast<TKwWebUpdater*>(storedForm->FindComponent(u"Upd"));
  ASSERT_NE(storedUpdater, nullptr);

  struct TCase {
    const char* Name;
    std::function<void(TKwInetStatusDialog&)> Set;
    bool Custom;  // the application's picture, else the dialog's own logo
  } cases[] = {
      {"bytes", [&](TKwInetStatusDialog& s) { s.Picture()->SetData(png); }, true},
      {"stored form", [&](TKwInetStatusDialog& s) { s.Assign(storedUpdater->StatusDialog()); }, true},
      {"unset", [](TKwInetStatusDialog&) {}, false},
      {"not a picture", [](TKwInetStatusDialog& s) { s.Picture()->SetData("no picture here", u"logo.png"); }, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TKwInetStatusDialog s;
    s.SetEnabled(true);
    c.Set(s);
    QDialog* dialog = Show(s);
    ASSERT_NE(dialog, nullptr);
    const QImage shown =
        dialog->findChild<QLabel*>("imgLogo")->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    if (c.Custom)
      ExpectQuadrants(shown, 60, 120);
    else
      EXPECT_EQ(shown, logo);
    if (c.Custom && std::string(c.Name) == "bytes") {
      EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog, 5000));
      SaveShot(dialog, "progress-picture");
    }
    shownWith->Close();
  }
}

TEST_F(QtStatusDialogTest, TheIconReachesTheWindow) {
  QDialog* plain = Show(settings);
  ASSERT_NE(plain, nullptr);
  EXPECT_TRUE(plain->windowIcon().isNull());
  shownWith->Close();

  settings.Icon()->SetData(test::MakePng(32, 32), u"app.png");
  QDialog* dialog = Show(settings);
  ASSERT_NE(dialog, nullptr);
  ASSERT_FALSE(dialog->windowIcon().isNull());
  EXPECT_TRUE(dialog->windowIcon().availableSizes().contains(QSize(32, 32)));
  ExpectQuadrants(dialog->windowIcon().pixmap(QSize(32, 32)).toImage(), 32, 32);
}

TEST_F(QtStatusDialogTest, TheHeadingIsAWhiteBandWithABoldTitleAndAWrappedDescription) {
  settings.SetTitle(u"MyApp update");
  settings.SetDescription(u"Fetching the new version of MyApp, which takes a moment on a slow line");
  QDialog* dialog = Show(settings);
  ASSERT_NE(dialog, nullptr);
  auto* band = dialog->findChild<QLabel*>("pnlDescription");
  auto* title = dialog->findChild<QLabel*>("lblCaption");
  auto* description = dialog->findChild<QLabel*>("lblDescription");
  auto* remote = dialog->findChild<QLabel*>("lblRemoteFileName");
  ASSERT_TRUE(band && title && description && remote);
  EXPECT_TRUE(band->autoFillBackground());
  EXPECT_EQ(band->palette().color(band->backgroundRole()), QColor(Qt::white));
  EXPECT_EQ(band->frameShape(), QFrame::NoFrame);
  EXPECT_TRUE(title->font().bold());
  EXPECT_EQ(title->palette().color(QPalette::WindowText), QColor(0, 0, 0x80));
  EXPECT_EQ(description->palette().color(QPalette::WindowText), QColor(0, 0, 0x80));
  EXPECT_TRUE(description->wordWrap());
  EXPECT_FALSE(remote->font().bold());
  EXPECT_EQ(remote->palette().color(QPalette::WindowText), dialog->palette().color(QPalette::Highlight));
  EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog, 5000));
  SaveShot(dialog, "progress-heading");
}

// A transfer far faster than a screen: the bar is redrawn about thirty
// times a second at most, and ends on the last state.
TEST_F(QtStatusDialogTest, ProgressIsRedrawnAtTheScreensPaceAndEndsOnTheLastState) {
  QDialog* dialog = Show(settings);
  ASSERT_NE(dialog, nullptr);
  auto* bar = dialog->findChild<QProgressBar*>("pbStatus");
  auto* text = dialog->findChild<QLabel*>("lblStatus");
  ASSERT_TRUE(bar && text);
  int redraws = 0;
  QObject::connect(bar, &QProgressBar::valueChanged, [&] { ++redraws; });
  constexpr int pieces = 20000;
  QElapsedTimer clock;
  clock.start();
  for (int i = 1; i <= pieces; ++i) shownWith->Update(static_cast<std::uint64_t>(i) * 2050, pieces * 2050ull);
  const qint64 took = clock.elapsed();
  EXPECT_LE(redraws, took / 30 + 2) << "in " << took << " ms";
  // The last state is drawn at the end of its frame.
  QTest::qWait(100);
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_EQ(text->text(), "Downloaded 41000000 of 41000000 bytes (100%)");
}

}  // namespace
}  // namespace kwinet
