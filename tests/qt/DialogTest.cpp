// Each dialog of the library as the Qt backend shows it: the widgets match
// the form model (type, text, geometry, state, tab order), a picture of it
// is kept in the build folder, and clicks and keys reach the model.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>

#include "QtTestSupport.h"
#include "kwinet/graphics/PictureLoader.h"
#include "kwinet/ui/ScriptedBackend.h"
#include "kwinet/ui/qt/QtBackend.h"
#include "kwinet/utils/KwILogOn.h"
#include "kwinet/web/KwInStat.h"
#include "kwinet/web/kwidirect.h"
#include "peers/PictureFiles.h"
#include "peers/TestSupport.h"

namespace kwinet {
namespace {

using test::ExpectMatchesModel;
using test::SaveShot;
using test::WhenModal;

class QtDialogTest : public ::testing::Test {
 protected:
  TBackendScope<TQtBackend> ui;
};

TEST_F(QtDialogTest, LogonPromptMatchesItsModel) {
  TfrmKwILogon form(nullptr);
  form.SetCaption(u"Log on to 127.0.0.1");
  form.edLogin->SetText(u"alice");
  form.edPassword->SetText(u"old secret");
  form.btnOk->SetEnabled(false);
  bool looked = false;
  WhenModal([&](QWidget* w) {
    looked = true;
    auto* dialog = qobject_cast<QDialog*>(w);
    EXPECT_EQ(dialog, ui->DialogOf(form));
    ExpectMatchesModel(dialog, form);
    // The first box in tab order has the focus; the window cannot be resized.
    EXPECT_EQ(dialog->focusWidget() ? dialog->focusWidget()->objectName() : QString(), "edLogin");
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
    SaveShot(dialog, "logon");
    QTest::keyClick(dialog->focusWidget(), Qt::Key_Escape);
  });
  EXPECT_EQ(form.ShowModal(), mrCancel);
  EXPECT_TRUE(looked);
  EXPECT_EQ(ui->DialogOf(form), nullptr);
}

TEST_F(QtDialogTest, ProgressDialogFollowsItsModelWhileShown) {
  TfrmKwInetUpdate form(nullptr);
  form.lblCaption->SetCaption(u"MyApp update");
  form.lblDescription->SetCaption(u"Fetching <b>the</b> new version");
  form.lblRemoteFileName->SetCaption(u"http://127.0.0.1/app.tar");
  form.lblLocalFileName->SetCaption(u"/tmp/app.tar");
  form.imgStep1->SetPicture(form.imgStatus[2]);
  form.imgStep2->SetPicture(form.imgStatus[0]);
  form.Show();
  QDialog* dialog = ui->DialogOf(form);
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog, 5000));
  ExpectMatchesModel(dialog, form);

  // Changes while shown reach the widgets: texts, progress, pictures,
  // visibility and state (at the next frame, or at once for whoever asks
  // the backend for the dialog).
  form.pbStatus->SetMax(2048);
  form.pbStatus->SetPosition(1024);
  form.lblStatus->SetCaption(u"Downloaded 1024 of 2048 bytes (50%)");
  form.imgStep2->SetPicture(form.imgStatus[3]);
  form.imgStep3->SetPicture(form.imgStatus[0]);
  form.lblLocal->SetVisible(false);
  form.btnCancel->SetEnabled(false);
  {
    SCOPED_TRACE("after changes");
    ExpectMatchesModel(ui->DialogOf(form), form);
  }
  // Markup from a server is shown as it is, never interpreted.
  EXPECT_EQ(dialog->findChild<QLabel*>("lblDescription")->textFormat(), Qt::PlainText);
  SaveShot(dialog, "progress");

  form.btnCancel->SetEnabled(true);
  QTest::mouseClick(ui->DialogOf(form)->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
  EXPECT_TRUE(form.IsCanceled);
  form.Hide();
  EXPECT_EQ(ui->DialogOf(form), nullptr);
}

TEST_F(QtDialogTest, NewsTreeShowsNewItemsBoldWithTheirImages) {
  test::TempDir dir;
  test::TEnvScope data{"XDG_DATA_HOME", dir.File("data")};
  TKwWebDirect direct(nullptr);
  direct.SetTitle(u"Product news");
  const std::string local = StringToUtf8(direct.LocalFileName());
  std::filesystem::create_directories(std::filesystem::path(local).parent_path());
  test::WriteFileBytes(StringToUtf8(direct.PreviousFileName()), "[News]\nhttp://x/1=One\n");
  test::WriteFileBytes(local, "[News]\nhttp://x/1=One\nhttp://x/2=Two & more\n[Tips]\nmailto:a@b=Mail us\n");
  bool looked = false;
  WhenModal([&](QWidget* w) {
    looked = true;
    auto* dialog = qobject_cast<QDialog*>(w);
    ASSERT_NE(direct.Form(), nullptr);
    ExpectMatchesModel(dialog, *direct.Form());
    auto* tree = dialog->findChild<QTreeWidget*>("tree");
    ASSERT_NE(tree, nullptr);
    // Sections and old items with the first image, new items with the
    // second: the two differ, and each has the list's size.
    QTreeWidgetItem* news = tree->topLevelItem(0);
    ASSERT_EQ(news->childCount(), 2);
    const QSize size(direct.ImageList()->Width(), direct.ImageList()->Height());
    const QImage oldIcon = news->child(0)->icon(0).pixmap(size).toImage();
    const QImage newIcon = news->child(1)->icon(0).pixmap(size).toImage();
    EXPECT_FALSE(oldIcon.isNull());
    EXPECT_EQ(oldIcon.size(), size);
    EXPECT_NE(oldIcon, newIcon);
    EXPECT_EQ(news->icon(0).pixmap(size).toImage(), oldIcon);
    EXPECT_EQ(tree->currentItem(), news);
    SaveShot(dialog, "news");
    dialog->close();
  });
  direct.ShowModal();
  EXPECT_TRUE(looked);
  EXPECT_EQ(direct.Form(), nullptr);
}

TEST_F(QtDialogTest, AClickOnATreeItemSelectsItsNodeThenClicks) {
  TCustomForm form(nullptr);
  form.SetClientWidth(200);
  form.SetClientHeight(150);
  auto* tree = new TTreeView(&form);
  tree->SetName(u"tree");
  tree->SetBounds(10, 10, 180, 130);
  TTreeNode* root = tree->Items()->Add(nullptr, u"Root");
  tree->Items()->AddChild(root, u"First");
  TTreeNode* second = tree->Items()->AddChild(root, u"Second");
  tree->FullExpand();
  String clicked;
  int clicks = 0;
  tree->OnClick = [&](TObject*) {
    ++clicks;
    clicked = tree->Selected() ? tree->Selected()->Text() : u"(none)";
    // A handler that changes the tree: the widget follows once the click
    // has returned.
    tree->Items()->AddChild(root, u"Third");
  };
  form.Show();
  QDialog* dialog = ui->DialogOf(form);
  ASSERT_NE(dialog, nullptr);
  auto* widget = dialog->findChild<QTreeWidget*>("tree");
  QTreeWidgetItem* item = widget->topLevelItem(0)->child(1);
  QTest::mouseClick(widget->viewport(), Qt::LeftButton, {}, widget->visualItemRect(item).center());
  EXPECT_EQ(clicked, u"Second");
  EXPECT_EQ(tree->Selected(), second);
  QTest::qWait(50);
  EXPECT_EQ(widget->topLevelItem(0)->childCount(), 3);
  EXPECT_EQ(widget->currentItem()->text(0), "Second");
  ExpectMatchesModel(dialog, form);
  // The keys move the selection without a click.
  QTest::keyClick(widget, Qt::Key_Up);
  ASSERT_NE(tree->Selected(), nullptr);
  EXPECT_EQ(tree->Selected()->Text(), u"First");
  EXPECT_EQ(clicks, 1);
  // And the model's selection is shown.
  tree->SetSelected(second);
  ui->DialogOf(form);
  EXPECT_EQ(widget->currentItem()->text(0), "Second");
  form.Hide();
}

TEST_F(QtDialogTest, PictureControlShowsTheDecodedPixels) {
  test::TempDir dir;
  const std::string file = dir.File("quadrants.png");
  test::WriteFileBytes(file, test::MakePng(40, 20));
  TCustomForm form(nullptr);
  form.SetName(u"frmPicture");
  form.SetCaption(u"Camera");
  form.SetBorderStyle(bsSingle);
  form.SetClientWidth(60);
  form.SetClientHeight(40);
  auto* image = new TImage(&form);
  image->SetName(u"imgCamera");
  image->SetBounds(10, 10, 40, 20);
  LoadPictureFromFile(*image->Graphic(), Utf8ToString(file));
  form.Show();
  QDialog* dialog = ui->DialogOf(form);
  ASSERT_NE(dialog, nullptr);
  ExpectMatchesModel(dialog, form);
  auto pixelsMatch = [&](int w, int h) {
    const QImage shown = ui->DialogOf(form)->findChild<QLabel*>("imgCamera")->pixmap().toImage();
    ASSERT_EQ(shown.size(), QSize(w, h));
    for (auto [x, y] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}})
      EXPECT_EQ(shown.pixel(x, y), test::QuadrantColor(x, y, w, h)) << x << "," << y;
  };
  pixelsMatch(40, 20);
  SaveShot(dialog, "picture");
  // A new picture in the model is shown.
  test::WriteFileBytes(file, test::MakePng(8, 6));
  LoadPictureFromFile(*image->Graphic(), Utf8ToString(file));
  pixelsMatch(8, 6);
  form.Hide();
}

TEST_F(QtDialogTest, MessageBoxesHaveTheFlagsButtonsAndIcon) {
  struct Case {
    int Flags;
    QMessageBox::Icon Icon;
    QMessageBox::StandardButtons Buttons;
    int Key;  // pressed on the box; 0 clicks Click
    QMessageBox::StandardButton Click;
    int Answer;
  };
  const Case cases[] = {
      {MB_OK | MB_ICONINFORMATION, QMessageBox::Information, QMessageBox::Ok, Qt::Key_Return, {}, IDOK},
      {MB_OKCANCEL | MB_ICONWARNING, QMessageBox::Warning, QMessageBox::Ok | QMessageBox::Cancel, 0,
       QMessageBox::Cancel, IDCANCEL},
      {MB_OKCANCEL, QMessageBox::NoIcon, QMessageBox::Ok | QMessageBox::Cancel, Qt::Key_Return, {}, IDOK},
      {MB_YESNO | MB_ICONQUESTION, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, 0, QMessageBox::Yes,
       IDYES},
      {MB_YESNO | MB_ICONERROR, QMessageBox::Critical, QMessageBox::Yes | QMessageBox::No, Qt::Key_Escape, {}, IDNO},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Flags);
    WhenModal([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->windowTitle(), "Updater");
      EXPECT_EQ(box->text(), "Replace <the> file?");
      EXPECT_EQ(box->textFormat(), Qt::PlainText);
      EXPECT_EQ(box->icon(), c.Icon);
      EXPECT_EQ(box->standardButtons(), c.Buttons);
      if (c.Flags == (MB_YESNO | MB_ICONQUESTION)) SaveShot(box, "message");
      if (c.Key)
        QTest::keyClick(box, static_cast<Qt::Key>(c.Key));
      else
        box->button(c.Click)->click();
    });
    EXPECT_EQ(Application->MessageBox(u"Replace <the> file?", u"Updater", c.Flags), c.Answer);
  }
}

TEST_F(QtDialogTest, AnExceptionInAClickHandlerComesOutOfShowModal) {
  TCustomForm form(nullptr);
  form.SetClientWidth(100);
  form.SetClientHeight(40);
  auto* b = new TButton(&form);
  b->SetName(u"btnGo");
  b->SetCaption(u"&Go");
  b->SetBounds(10, 8, 80, 25);
  b->SetModalResult(mrOk);
  b->OnClick = [](TObject*) { throw EInvalidOperation(u"no way"); };
  WhenModal([](QWidget* w) { w->findChild<QPushButton*>("btnGo")->click(); });
  try {
    form.ShowModal();
    ADD_FAILURE() << "no exception";
  } catch (const EInvalidOperation& e) {
    EXPECT_EQ(e.Message(), u"no way");
  }
  EXPECT_FALSE(form.Visible());
}

TEST_F(QtDialogTest, AnExceptionFromATimerEndsTheModalDialogAndComesOutOfIt) {
  TfrmKwILogon form(nullptr);
  TTimer timer(nullptr);
  timer.SetInterval(30);
  timer.OnTimer = [](TObject*) { throw EInvalidOperation(u"timer failed"); };
  try {
    form.ShowModal();
    ADD_FAILURE() << "no exception";
  } catch (const EInvalidOperation& e) {
    EXPECT_EQ(e.Message(), u"timer failed");
  }
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(QtDialogTest, ShowModalOfAShownFormIsRefusedAndLeavesItsDialog) {
  TCustomForm form(nullptr);
  form.SetCaption(u"Shown");
  form.Show();
  QDialog* shown = ui->DialogOf(form);
  ASSERT_NE(shown, nullptr);
  {
    // Should a modal dialog open all the same, it is ended, not waited for.
    QObject guard;
    QTimer::singleShot(500, &guard, [] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isModal() && d->isVisible()) d->done(QDialog::Rejected);
    });
    EXPECT_THROW(form.ShowModal(), EInvalidOperation);
  }
  EXPECT_TRUE(form.Visible());
  EXPECT_EQ(ui->DialogOf(form), shown);
  EXPECT_TRUE(shown->isVisible());
  form.Hide();
  EXPECT_EQ(ui->DialogOf(form), nullptr);
}

TEST_F(QtDialogTest, OnlyWebAndMailLinksAndLocalFilesAreOpened) {
  // Refused before the desktop is asked: nothing opens in a test run.
  for (const char16_t* name : {u"javascript:alert(1)", u"file:///nonexistent/x", u"/nonexistent/file", u"x-foo:bar",
                               u"relative-missing.txt", u""})
    EXPECT_FALSE(Application->Backend().OpenDocument(name)) << StringToUtf8(name);
}

}  // namespace
}  // namespace kwinet
