// The news dialog against nginx: which items count as new after each kind of
// run, when the dialog shows, what a click opens, and how the dialog lives
// and goes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "kwinet/ui/ConsoleBackend.h"
#include "kwinet/ui/ScriptedBackend.h"
#include "kwinet/web/kwidirect.h"
#include "peers/NginxSuite.h"
#include "peers/TestSupport.h"

namespace kwinet {
namespace {

using test::ReadFileBytes;
using test::SetMTime;
using test::WriteFileBytes;

// The data folder points into the test's own folder: nothing is written in
// the user's real one.
class TWebDirectScene {
 protected:
  // The tree of the dialog as the backend showed it modally, last showing.
  std::string LastModalTree() const {
    return backend->ModalForms.empty() ? "(not shown)" : StringToUtf8(backend->ModalForms.back().Text(u"tree"));
  }

  test::TempDir dir;
  TBackendScope<TScriptedBackend> backend;
  test::TEnvScope data{"XDG_DATA_HOME", dir.File("data")};
};

class WebDirectTest : public ::testing::Test, protected TWebDirectScene {};

class WebDirectHttpTest : public test::TNginxSuite, protected TWebDirectScene {
 protected:
  std::unique_ptr<TKwWebDirect> Direct(TKwIShowMode mode) {
    auto web = std::make_unique<TKwWebDirect>(nullptr);
    web->SetHost(u"127.0.0.1");
    web->SetPort(static_cast<std::uint16_t>(server->Port()));
    web->SetRemoteFileName(u"/news.sin");
    web->SetTimeout(5000);
    web->SetShowMode(mode);
    return web;
  }
  // The remote news file, with a time so that each version is newer.
  void Publish(const std::string& text, time_t time) {
    WriteFileBytes(server->Root() + "/news.sin", text);
    SetMTime(server->Root() + "/news.sin", time);
  }
};

TEST_F(WebDirectHttpTest, MarksWhatThePreviousCopyDidNotHave) {
  auto web = Direct(omAlways);
  const std::string folder = dir.File("data") + "/test_web";
  EXPECT_EQ(StringToUtf8(web->LocalFileName()), folder + "/test_web.sin");
  EXPECT_EQ(StringToUtf8(web->PreviousFileName()), folder + "/test_web.~sin");

  // First run: no copy before, so everything is new.
  Publish("[News]\nhttp://x/1=One\nhttp://x/2=Two\n[Empty]\n[Tips]\nmailto:a@b=Mail us\n", 1700000000);
  EXPECT_TRUE(web->Execute());
  EXPECT_EQ(web->Status(), isFinished);
  EXPECT_EQ(LastModalTree(), "News\n  *One\n  *Two\nEmpty\nTips\n  *Mail us");
  EXPECT_EQ(web->Form(), nullptr) << "a modal dialog frees itself when closed";
  EXPECT_EQ(::access((folder + "/test_web.sin").c_str(), R_OK), 0);

  // Unchanged: skipped, nothing new.
  EXPECT_TRUE(web->Execute());
  EXPECT_EQ(web->Status(), isSkipped);
  EXPECT_EQ(LastModalTree(), "News\n  One\n  Two\nEmpty\nTips\n  Mail us");

  // One item added to one section and a caption changed under the same
  // link: only the added item is new.
  Publish("[News]\nhttp://x/1=One, revised\nhttp://x/3=Three\nhttp://x/2=Two\n[Empty]\n[Tips]\nmailto:a@b=Mail us\n",
          1700000100);
  EXPECT_TRUE(web->Execute());
  EXPECT_EQ(web->Status(), isFinished);
  EXPECT_EQ(LastModalTree(), "News\n  One, revised\n  *Three\n  Two\nEmpty\nTips\n  Mail us");

  // A failed download keeps the news file and shows it; nothing is new.
  web->SetRemoteFileName(u"/gone.sin");
  EXPECT_TRUE(web->Execute());
  EXPECT_EQ(web->Status(), isNotFound);
  EXPECT_EQ(LastModalTree(), "News\n  One, revised\n  Three\n  Two\nEmpty\nTips\n  Mail us");
  EXPECT_EQ(backend->ModalForms.size(), 4u);
  EXPECT_EQ(StringToUtf8(backend->ModalForms.back().Caption), "Moravelle WebDirect");
}

TEST_F(WebDirectHttpTest, ShowModeDecidesWhenTheDialogShows) {
  Publish("[News]\nhttp://x/1=One\n", 1700000000);
  auto web = Direct(omIfChanged);
  EXPECT_TRUE(web->Execute());  // downloaded: shown
  EXPECT_EQ(backend->ModalForms.size(), 1u);
  EXPECT_TRUE(web->Execute());  // skipped: not shown
  EXPECT_EQ(web->Status(), isSkipped);
  EXPECT_EQ(backend->ModalForms.size(), 1u);
  web->SetRemoteFileName(u"/gone.sin");
  EXPECT_TRUE(web->Execute());  // nothing downloaded: not shown
  EXPECT_EQ(backend->ModalForms.size(), 1u);

  Publish("[News]\nhttp://x/1=One\nhttp://x/2=Two\n", 1700000100);
  web->SetRemoteFileName(u"/news.sin");
  web->SetShowMode(omNever);
  EXPECT_TRUE(web->Execute());
  EXPECT_EQ(web->Status(), isFinished);
  EXPECT_EQ(backend->ModalForms.size(), 1u);
  EXPECT_TRUE(backend->Shown.empty());
}

// The dialog's model, built from a news file written in place.
class WebDirectDialogTest : public WebDirectTest {
 protected:
  void WriteNews(const std::string& current, const char* previous) {
    TKwWebDirect probe(nullptr);
    std::filesystem::create_directories(StringToUtf8(ExtractFilePath(probe.LocalFileName())));
    WriteFileBytes(StringToUtf8(probe.LocalFileName()), current);
    if (previous) WriteFileBytes(StringToUtf8(probe.PreviousFileName()), previous);
  }
};

TEST_F(WebDirectDialogTest, ClickOpensOnlyWebAndMailLinks) {
  WriteNews(
      "[Links]\nhttp://example.test/a=Web\nHTTPS://example.test/b=Secure\nftp://example.test/c=Files\n"
      "mailto:news@example.test=Mail\nfile:///etc/passwd=Local file\n/usr/bin/xterm=Program\n"
      "javascript:alert(1)=Script\nhttp:=Bare scheme\n-help=Option\n",
      "[Links]\nhttp://example.test/a=Web\n");
  TKwWebDirect web(nullptr);
  web.Show();
  ASSERT_NE(web.Form(), nullptr);
  TKwITreeView* tree = web.Tree();
  ASSERT_NE(tree, nullptr);
  EXPECT_TRUE(tree->HotTrack());
  EXPECT_TRUE(tree->ReadOnly());
  ASSERT_EQ(web.ImageList()->Count(), 2);
  EXPECT_EQ(web.ImageList()->Width(), 16);
  EXPECT_EQ(web.ImageList()->Height(), 16);
  EXPECT_EQ(web.ImageList()->MaskColor(1), 0xFFFFFFu);

  // The first node is selected; the category keeps image 0, a new item has
  // image 1 and is bold.
  TTreeNode* category = tree->Items()->GetFirstNode();
  ASSERT_EQ(tree->Selected(), category);
  EXPECT_EQ(category->ImageIndex(), 0);
  EXPECT_TRUE(category->Expanded());
  EXPECT_FALSE(category->Item(0)->Bold());
  EXPECT_EQ(category->Item(0)->ImageIndex(), 0);
  EXPECT_TRUE(category->Item(1)->Bold());
  EXPECT_EQ(category->Item(1)->ImageIndex(), 1);
  EXPECT_EQ(category->Item(1)->SelectedIndex(), 1);

  tree->Click();  // a category: nothing
  for (int i = 0; i < category->Count(); ++i) {
    tree->SetSelected(category->Item(i));
    tree->Click();
  }
  std::vector<std::string> opened;
  for (const String& d : backend->OpenedDocuments) opened.push_back(StringToUtf8(d));
  EXPECT_EQ(opened, (std::vector<std::string>{"http://example.test/a", "HTTPS://example.test/b", "ftp://example.test/c",
                                              "mailto:news@example.test"}));
  ASSERT_EQ(backend->Messages.size(), 5u);
  EXPECT_NE(StringToUtf8(backend->Messages[0].Text).find("file:///etc/passwd"), std::string::npos);
  EXPECT_NE(StringToUtf8(backend->Messages[1].Text).find("/usr/bin/xterm"), std::string::npos);
  EXPECT_EQ(backend->Messages[0].Caption, u"Moravelle WebDirect");

  // A link with a line break is refused too.
  EXPECT_FALSE(web.OpenLink(u"http://example.test/\nrm -rf"));
  EXPECT_EQ(backend->OpenedDocuments.size(), 4u);

  web.Form()->Close();
  EXPECT_EQ(web.Form(), nullptr);
  EXPECT_EQ(web.Tree(), nullptr);
  EXPECT_EQ(web.ImageList(), nullptr);
}

TEST_F(WebDirectDialogTest, EmbeddedDialogFillsItsHostAndGoesWithIt) {
  WriteNews("[A]\nhttp://x/1=One\n[B]\n", nullptr);
  TCustomForm host(nullptr);
  auto* panel = new TPanel(&host);
  panel->SetBounds(0, 0, 300, 200);
  TKwWebDirect web(nullptr);
  web.SetParentControl(panel);
  web.ShowModal();  // embedded: shown without waiting
  EXPECT_TRUE(backend->ModalForms.empty());
  ASSERT_EQ(backend->Shown.size(), 1u);
  EXPECT_EQ(StringToUtf8(backend->Shown[0].Text(u"tree")), "A\n  *One\nB");
  ASSERT_NE(web.Form(), nullptr);
  EXPECT_EQ(web.Form()->Parent(), panel);
  EXPECT_EQ(web.Form()->BorderStyle(), bsNone);
  EXPECT_EQ(web.Form()->Align(), alClient);
  EXPECT_EQ(web.Form()->ClientWidth(), 300);

  // A second showing replaces the first dialog.
  web.Show();
  EXPECT_NE(web.Form(), nullptr);
  EXPECT_EQ(backend->HiddenCount, 1);
  EXPECT_EQ(backend->Shown.size(), 2u);

  delete panel;
  EXPECT_EQ(web.Form(), nullptr);
  EXPECT_EQ(web.ParentControl(), nullptr);
}

TEST_F(WebDirectDialogTest, ConsoleShowsTheTreeAsText) {
  WriteNews("[A]\nhttp://x/1=One\n[B]\nhttp://x/2=Two\n", "[B]\nhttp://x/2=Two\n");
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  auto previous = Application->SetBackend(std::make_unique<TConsoleBackend>(-1, out));
  {
    TKwWebDirect web(nullptr);
    web.ShowModal();
    EXPECT_EQ(web.Form(), nullptr);
  }
  Application->SetBackend(std::move(previous));
  std::rewind(out);
  char text[256] = {};
  const std::size_t n = std::fread(text, 1, sizeof text - 1, out);
  std::fclose(out);
  EXPECT_EQ(std::string(text, n), "Moravelle WebDirect\nA\n  *One\nB\n  Two\n");
}

TEST_F(WebDirectDialogTest, MissingNewsFileGivesAnEmptyTree) {
  TKwWebDirect web(nullptr);
  web.ShowModal();
  ASSERT_EQ(backend->ModalForms.size(), 1u);
  EXPECT_EQ(backend->ModalForms[0].Text(u"tree"), u"");
  // An open dialog goes with its component.
  web.Show();
  EXPECT_NE(web.Form(), nullptr);
}

}  // namespace
}  // namespace kwinet
