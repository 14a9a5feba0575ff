// The web component base: service ports, the job frame, actions and status,
// progress and the progress dialog.
#include <gtest/gtest.h>

#include "kwinet/core/Application.h"
#include "kwinet/ui/ScriptedBackend.h"
#include "kwinet/utils/KwInCnst.h"
#include "kwinet/web/kwiupdate.h"
#include "peers/Nginx.h"

namespace kwinet {
namespace {

class TTestWeb : public TKwCustomWebComponent {
 public:
  using TKwCustomWebComponent::ConnectToInet;
  using TKwCustomWebComponent::TKwCustomWebComponent;
  using TKwCustomWebComponent::UpdateProgress;
  bool HasDialog() const { return dlgStatus != nullptr; }
  TfrmKwInetUpdate* Dialog() const { return dlgStatus.get(); }
  HINTERNET Root() const { return hInet; }
  std::function<void(TTestWeb&)> Job;

 protected:
  void InternalExecute() override {
    if (Job) Job(*this);
  }
};

TEST(WebComponentTest, ServiceSetsThePortOfItsProtocol) {
  TTestWeb web(nullptr);
  EXPECT_EQ(web.Port(), 80);
  EXPECT_EQ(web.Agent(), u"Moravelle WebUpdater");
  EXPECT_EQ(web.Timeout(), 30000u);
  struct Step {
    TKwIService service;
    int setPortBefore;  // -1: leave
    int port;
  } steps[] = {{isHTTPS, -1, 443},
               {isNetwork, -1, 443},
               {isFTP, -1, 21},
               {isFTP, 2121, 2121},  // the same service keeps a port set by hand
               {isHTTP, -1, 80}};
  for (const Step& s : steps) {
    if (s.setPortBefore >= 0) web.SetPort(static_cast<std::uint16_t>(s.setPortBefore));
    web.SetService(s.service);
    EXPECT_EQ(web.Port(), s.port) << int(s.service);
  }
}

TEST(WebComponentTest, ExecuteIsTrueUnlessTheJobFailed) {
  TTestWeb web(nullptr);
  std::vector<String> events;
  web.OnBeforeExecute = [&](TObject*) { events.push_back(u"before"); };
  web.OnAfterExecute = [&](TObject*) { events.push_back(u"after"); };
  web.OnStatusChange = [&](TObject*) { events.push_back(KwIStatusName(web.Status())); };
  struct Row {
    int set;  // -1: the job sets nothing
    TKwIStatus status;
    bool result;
  } rows[] = {{-1, isFinished, true},
              {isSkipped, isSkipped, true},
              {isNotFound, isNotFound, true},
              {isFailed, isFailed, false}};
  bool first = true;
  for (const Row& r : rows) {
    web.Job = [&](TTestWeb& w) {
      if (r.set >= 0) w.SetStatus(static_cast<TKwIStatus>(r.set));
    };
    events.clear();
    EXPECT_EQ(web.Execute(), r.result);
    EXPECT_EQ(web.Status(), r.status);
    // isInProgress is reported only when the last job ended otherwise (a
    // new component starts in progress).
    std::vector<String> expected = {u"before", u"isInProgress", KwIStatusName(r.status), u"after"};
    if (first) expected.erase(expected.begin() + 1);
    first = false;
    EXPECT_EQ(events, expected);
  }
}

TEST(WebComponentTest, ActionsReachTheDialogOnlyWhenItIsEnabled) {
  TBackendScope<TScriptedBackend> ui;
  TTestWeb web(nullptr);
  int changes = 0;
  web.OnActionChange = [&](TObject*) { ++changes; };
  std::vector<String> texts;
  web.Job = [&](TTestWeb& w) {
    w.SetAction(iaConnecting);
    w.SetAction(iaConnecting);
    ASSERT_TRUE(w.HasDialog());
    texts.push_back(w.Dialog()->lblStatus->Caption());
    EXPECT_EQ(w.Dialog()->imgStep1->Picture(), u"kwinet_step_busy.png");
    w.SetAction(iaCompared);
    texts.push_back(w.Dialog()->lblStatus->Caption());
    EXPECT_EQ(w.Dialog()->imgStep2->Picture(), u"kwinet_step2_done.png");
    w.SetAction(iaIdle);
    texts.push_back(w.Dialog()->lblStatus->Caption());
  };
  web.StatusDialog()->SetEnabled(true);
  ASSERT_TRUE(web.Execute());
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(texts, (std::vector<String>{u"Connecting...", u"Compared.", u"Compared."}));
  EXPECT_EQ(ui->ProcessMessagesCount, 3);
  ASSERT_EQ(ui->Shown.size() >= 1, true);
  EXPECT_EQ(ui->Shown.front().Caption, u"Software update");
  EXPECT_FALSE(web.HasDialog());
  EXPECT_EQ(ui->HiddenCount, 1);

  // Disabled: the events still fire, but no form and no message processing.
  web.StatusDialog()->SetEnabled(false);
  ui->Shown.clear();
  web.Job = [](TTestWeb& w) {
    w.SetAction(iaConnecting);
    w.SetAction(iaConnected);
    EXPECT_FALSE(w.HasDialog());
  };
  changes = 0;
  ASSERT_TRUE(web.Execute());
  EXPECT_EQ(changes, 2);
  EXPECT_TRUE(ui->Shown.empty());
  EXPECT_EQ(ui->ProcessMessagesCount, 3);
}

TEST(WebComponentTest, ProgressTextAndTheCancelButton) {
  TBackendScope<TScriptedBackend> ui;
  TTestWeb web(nullptr);
  web.StatusDialog()->SetEnabled(true);
  std::vector<std::pair<int, int>> seen;
  web.OnProgress = [&](TObject*, std::int32_t cur, std::int32_t max, bool& abort) {
    seen.emplace_back(cur, max);
    abort = false;  // the button wins over a handler that clears the flag
  };
  // Each new state (bar and text) is one redraw for the backend.
  int redraws = 0;
  ui->OnFormChanged = [&](TCustomForm&) { ++redraws; };
  web.Job = [&](TTestWeb& w) {
    bool abort = true;  // overwritten by the dialog's flag
    redraws = 0;
    w.UpdateProgress(512, 2048, abort);
    EXPECT_EQ(redraws, 1);
    EXPECT_FALSE(abort);
    EXPECT_EQ(w.Dialog()->lblStatus->Caption(), u"Downloaded 512 of 2048 bytes (25%)");
    EXPECT_EQ(w.Dialog()->pbStatus->Max(), 2048);
    EXPECT_EQ(w.Dialog()->pbStatus->Position(), 512);
    w.UpdateProgress(50000000, 100000000, abort);
    EXPECT_EQ(w.Dialog()->lblStatus->Caption(), u"Downloaded 50000000 of 100000000 bytes (50%)");
    w.UpdateProgress(10, 0, abort);
    EXPECT_EQ(w.Dialog()->lblStatus->Caption(), u"Downloaded 10 of 0 bytes (0%)");
    w.Dialog()->btnCancel->Click();
    w.UpdateProgress(20, 40, abort);
    EXPECT_TRUE(w.Dialog()->IsCanceled);
  };
  ASSERT_TRUE(web.Execute());
  EXPECT_EQ(seen.size(), 4u);
  // The last handler call saw Abort True from the button; the handler's own
  // False comes after it.
  bool sawAbort = false;
  web.OnProgress = [&](TObject*, std::int32_t, std::int32_t, bool& abort) { sawAbort = abort; };
  web.Job = [&](TTestWeb& w) {
    w.Dialog()->btnCancel->Click();
    bool abort = false;
    w.UpdateProgress(1, 2, abort);
    EXPECT_TRUE(abort);
  };
  ASSERT_TRUE(web.Execute());
  EXPECT_TRUE(sawAbort);

  // Without the dialog Abort stays as the caller gave it.
  web.StatusDialog()->SetEnabled(false);
  web.Job = [](TTestWeb& w) {
    bool abort = true;
    w.UpdateProgress(1, 2, abort);
    EXPECT_TRUE(abort);
  };
  web.OnProgress = nullptr;
  ASSERT_TRUE(web.Execute());
}

// Past 4 GiB the text and the 64-bit event count the bytes as they are;
// the bar and the 32-bit event get both values scaled alike.
TEST(WebComponentTest, ProgressPastFourGiB) {
  TBackendScope<TScriptedBackend> ui;
  TTestWeb web(nullptr);
  web.StatusDialog()->SetEnabled(true);
  constexpr std::uint64_t k4G = std::uint64_t{1} << 32;
  std::pair<std::int32_t, std::int32_t> scaled;
  std::pair<std::int64_t, std::int64_t> whole;
  web.OnProgress = [&](TObject*, std::int32_t cur, std::int32_t max, bool&) { scaled = {cur, max}; };
  web.OnProgress64 = [&](TObject*, std::int64_t cur, std::int64_t max, bool&) { whole = {cur, max}; };
  web.Job = [&](TTestWeb& w) {
    bool abort = false;
    w.UpdateProgress(k4G + 10, 2 * k4G + 20, abort);
    EXPECT_EQ(w.Dialog()->lblStatus->Caption(), u"Downloaded 4294967306 of 8589934612 bytes (50%)");
    EXPECT_EQ(w.Dialog()->pbStatus->Max(), 0x40000002);
    EXPECT_EQ(w.Dialog()->pbStatus->Position(), 0x20000001);
  };
  ASSERT_TRUE(web.Execute());
  EXPECT_EQ(scaled, std::make_pair(0x20000001, 0x40000002));
  EXPECT_EQ(whole, std::make_pair(std::int64_t(k4G + 10), std::int64_t(2 * k4G + 20)));
}

TEST(WebComponentTest, AnExceptionOutOfTheJobStillReleasesHandlesAndDialog) {
  TBackendScope<TScriptedBackend> ui;
  TTestWeb web(nullptr);
  web.StatusDialog()->SetEnabled(true);
  web.SetHost(u"127.0.0.1");
  HINTERNET root = nullptr;
  web.Job = [&](TTestWeb& w) {
    w.ConnectToInet(false);
    root = w.Root();
    throw EInOutError(u"disk full");
  };
  EXPECT_THROW(web.Execute(), EInOutError);
  EXPECT_NE(root, nullptr);
  EXPECT_EQ(web.Root(), nullptr);
  EXPECT_FALSE(InternetCloseHandle(root));  // already released
  EXPECT_FALSE(web.HasDialog());
  EXPECT_EQ(ui->HiddenCount, 1);
}

TEST(WebComponentTest, DialogNamesTheFilesOfAnUpdaterOnly) {
  TBackendScope<TScriptedBackend> ui;
  TKwWebUpdater updater(nullptr);
  updater.StatusDialog()->SetEnabled(true);
  updater.StatusDialog()->SetTitle(u"MyApp update");
  updater.SetService(isNetwork);
  updater.SetHost(u"fileserver");
  updater.SetRemoteFileName(u"/nonexistent/kwinet/remote.bin");
  updater.SetLocalFileName(u"/nonexistent/kwinet/local.bin");
  EXPECT_TRUE(updater.Execute());
  EXPECT_EQ(updater.Status(), isNotFound);
  ASSERT_FALSE(ui->Shown.empty());
  const TFormSnapshot& shown = ui->Shown.front();
  EXPECT_EQ(shown.Text(u"lblRemoteFileName"), u"fileserver//nonexistent/kwinet/remote.bin");
  EXPECT_EQ(shown.Text(u"lblLocalFileName"), u"/nonexistent/kwinet/local.bin");
  EXPECT_EQ(shown.Text(u"lblCaption"), u"MyApp update");

  ui->Shown.clear();
  TTestWeb web(nullptr);
  web.StatusDialog()->SetEnabled(true);
  web.Job = [](TTestWeb& w) {
    EXPECT_FALSE(w.Dialog()->lblRemoteFileName->Visible());
    EXPECT_FALSE(w.Dialog()->lblLocalFileName->Visible());
    EXPECT_TRUE(w.Dialog()->lblRemote->Visible());
    EXPECT_EQ(w.Dialog()->lblCaption->Caption(), Application->Title());
  };
  EXPECT_TRUE(web.Execute());
}

TEST(WebComponentTest, StatusDialogAssignCopiesContent) {
  TKwInetStatusDialog a, b;
  a.SetEnabled(true);
  a.SetHelpContext(7);
  a.SetTitle(u"T");
  a.SetDescription(u"D");
  a.Picture()->SetData("png-bytes", u"logo.png");
  a.Icon()->SetData("ico-bytes");
  b.Assign(&a);
  EXPECT_TRUE(b.Enabled());
  EXPECT_EQ(b.HelpContext(), 7);
  EXPECT_EQ(b.Title(), u"T");
  EXPECT_EQ(b.Description(), u"D");
  EXPECT_NE(b.Picture(), a.Picture());
  EXPECT_EQ(b.Picture()->Data(), "png-bytes");
  EXPECT_EQ(b.Icon()->Data(), "ico-bytes");
  a.Picture()->Clear();
  EXPECT_EQ(b.Picture()->Data(), "png-bytes");
  TKwInetProxy proxy;
  EXPECT_THROW(b.Assign(&proxy), EConvertError);
}

TEST(WebComponentTest, HttpGetResponseIsTheBodyWhateverTheStatus) {
  test::TNginx nginx;
  KWINET_REQUIRE_PEER(nginx.Started(), nginx.Error());
  test::WriteFileBytes(nginx.Root() + "/page.txt", std::string("caf\xE9\0!", 6));
  test::WriteFileBytes(nginx.Root() + "/empty.txt", "");
  TTestWeb web(nullptr);
  EXPECT_EQ(web.ReadHTTPGetResponseString(Utf8ToString(nginx.Url("/page.txt"))), String(u"caf\u00E9\0!", 6));
  EXPECT_EQ(web.ReadHTTPGetResponseString(Utf8ToString(nginx.Url("/empty.txt"))), u"");
  EXPECT_NE(web.ReadHTTPGetResponseString(Utf8ToString(nginx.Url("/missing"))).find(u"404"), String::npos);
  // A stream is written from position 0 and left there; its old tail stays.
  TStringStream stream(u"0123456789abcdef", teANSI);
  web.ReadHTTPGetResponse(Utf8ToString(nginx.Url("/page.txt")), stream);
  EXPECT_EQ(stream.Position(), 0);
  EXPECT_EQ(stream.DataString(), String(u"caf\u00E9\0!6789abcdef", 16));
  EXPECT_EQ(web.ReadHTTPGetResponseString(u"http://127.0.0.1:1/refused"), u"");
}

}  // namespace
}  // namespace kwinet
