// The Qt dialogs with real transfers from nginx: the progress dialog moves
// while a download runs and its Cancel button stops it, and a remote image
// refreshes inside a running QApplication event loop.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <set>

#include "QtTestSupport.h"
#include "kwinet/ui/ScriptedBackend.h"
#include "kwinet/ui/qt/QtBackend.h"
#include "kwinet/web/kwiimage.h"
#include "kwinet/web/kwiupdate.h"
#include "peers/NginxSuite.h"
#include "peers/PictureFiles.h"

namespace kwinet {
namespace {

using test::ReadFileBytes;
using test::SetMTime;
using test::WriteFileBytes;

// The progress dialog on screen now, or nullptr.
QDialog* ShownProgressDialog() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "frmKwInetUpdate" && w->isVisible()) return qobject_cast<QDialog*>(w);
  return nullptr;
}

class QtDownloadTest : public test::TNginxSuite {
 public:
  // Files under /slow/ come at 256 KiB a second: a download lasts long
  // enough to be watched and cancelled.
  static void SetUpTestSuite() {
    test::TNginxOptions options;
    options.ServerExtra = "location /slow/ { limit_rate 256k; }";
    StartNginx(options);
  }

 protected:
  TBackendScope<TQtBackend> ui;
  test::TempDir dir;
};

TEST_F(QtDownloadTest, ProgressDialogMovesAndCancelStopsTheDownload) {
  ::mkdir((server->Root() + "/slow").c_str(), 0755);
  WriteFileBytes(server->Root() + "/slow/big.bin", std::string(4 << 20, 'n'));
  const std::string local = dir.File("big.bin");
  WriteFileBytes(local, "old content");
  SetMTime(local, 1000000000);  // older than the server's copy

  TKwWebUpdater updater(nullptr);
  updater.SetService(isHTTP);
  updater.SetHost(u"127.0.0.1");
  updater.SetPort(static_cast<std::uint16_t>(server->Port()));
  updater.SetRemoteFileName(u"/slow/big.bin");
  updater.SetLocalFileName(Utf8ToString(local));
  updater.SetLoginPrompt(false);
  updater.SetTimeout(5000);
  updater.StatusDialog()->SetEnabled(true);

  std::vector<int> bar;
  std::vector<QString> labels;
  int steps = 0, clickedAt = -1;
  bool clickQueued = false;
  updater.OnProgress = [&](TObject*, std::int32_t, std::int32_t, bool&) {
    ++steps;
    QDialog* dialog = ShownProgressDialog();
    ASSERT_NE(dialog, nullptr);
    bar.push_back(dialog->findChild<QProgressBar*>("pbStatus")->value());
    labels.push_back(dialog->findChild<QLabel*>("lblStatus")->text());
    if (std::set<int>(bar.begin(), bar.end()).size() < 3 || clickQueued) return;
    // A person clicks Cancel: the click arrives through Qt's event loop,
    // which the transfer runs at its next step.
    clickQueued = true;
    QTimer::singleShot(0, dialog, [&, dialog] {
      // The click arrives inside a step (the transfer handles Qt's events
      // before telling OnProgress): that step is steps + 1.
      clickedAt = steps + 1;
      QTest::mouseClick(dialog->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
    });
  };
  EXPECT_FALSE(updater.Execute());
  ASSERT_GE(clickedAt, 0) << "the click never came";
  EXPECT_LE(steps - clickedAt, 1) << "steps after the click";
  EXPECT_EQ(updater.ErrorText(), u"Download cancelled");
  EXPECT_EQ(ReadFileBytes(local), "old content");
  EXPECT_EQ(ShownProgressDialog(), nullptr);
  // The bar and the text moved forward together.
  EXPECT_TRUE(std::is_sorted(bar.begin(), bar.end()));
  EXPECT_GE(std::set<QString>(labels.begin(), labels.end()).size(), 3u);
  EXPECT_LT(bar.back(), 4 << 20);
}

TEST_F(QtDownloadTest, RemoteImageRefreshesInsideTheApplicationEventLoop) {
  const std::string remote = server->Root() + "/live.png";
  auto publish = [&](int size, time_t time) {
    WriteFileBytes(remote, test::MakePng(size, size));
    SetMTime(remote, time);
  };
  publish(5, 1700000000);

  TCustomForm form(nullptr);
  form.SetClientWidth(40);
  form.SetClientHeight(40);
  auto* image = new TImage(&form);
  image->SetName(u"imgLive");
  image->SetBounds(0, 0, 40, 40);
  form.Show();
  QLabel* shown = ui->DialogOf(form)->findChild<QLabel*>("imgLive");
  ASSERT_NE(shown, nullptr);
  auto shownWidth = [&] { return shown->pixmap().isNull() ? 0 : shown->pixmap().width(); };

  TKwRemoteImage remoteImage(nullptr);
  remoteImage.SetHost(u"127.0.0.1");
  remoteImage.SetPort(static_cast<std::uint16_t>(server->Port()));
  remoteImage.StatusDialog()->SetEnabled(false);
  remoteImage.SetTimeout(5000);
  remoteImage.SetRemoteFileName(u"/live.png");
  remoteImage.SetImage(image);
  remoteImage.SetInterval(200);

  std::vector<int> widthsAtStart;
  int ends = 0;
  bool running = false, overlapped = false;
  remoteImage.OnBeforeExecute = [&](TObject*) {
    overlapped |= running;
    running = true;
    widthsAtStart.push_back(shownWidth());
  };
  remoteImage.OnAfterExecute = [&](TObject*) {
    running = false;
    ++ends;
    // The next refresh finds a newer, larger picture.
    publish(5 + ends, 1700000000 + 100 * ends);
    if (ends == 3) {
      remoteImage.Stop();
      QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    }
  };
  remoteImage.Start();
  QTimer::singleShot(10000, qApp, &QCoreApplication::quit);  // the bound
  QApplication::exec();
  EXPECT_EQ(ends, 3);
  EXPECT_FALSE(overlapped);
  // Each refresh showed the picture of its time, in the dialog.
  EXPECT_EQ(widthsAtStart, (std::vector<int>{0, 5, 6}));
  EXPECT_EQ(shownWidth(), 7);
  form.Hide();
}

}  // namespace
}  // namespace kwinet
