// kwinet news: the news dialog's tree on the terminal, and a click on one of
// its items.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "DemoSupport.h"
#include "Gui.h"
#include "Target.h"
#include "Tool.h"
#include "kwinet/core/Application.h"
#include "kwinet/ui/ConsoleBackend.h"
#include "kwinet/web/kwidirect.h"

namespace kwinet::tool {
namespace {

struct TNewsArgs {
  std::string Url;
  int Open = 0;
  std::int64_t Timeout = 30000;
  std::int64_t MaxTime = kFetchMaxTime;
};

// The console backend while the dialog stands: the tool prints the tree
// itself, and a refused link or an opener that failed becomes the tool's
// one line on standard error.
class TNewsBackend : public TConsoleBackend {
 public:
  void ShowForm(TCustomForm&) override {}
  void FormChanged(TCustomForm&) override {}
  void HideForm(TCustomForm&) override {}
  int MessageBox(const String& Text, const String&, int) override {
    Refused = Text;
    return IDOK;
  }
  bool OpenDocument(const String& FileName) override {
    Opened = TConsoleBackend::OpenDocument(FileName);
    return Opened;
  }
  String Refused;
  bool Opened = false;
};

int RunNews(const TNewsArgs& a) {
  const std::uint32_t timeout = Milliseconds("--timeout", a.Timeout);
  const std::uint32_t maxTime = Milliseconds("--max-time", a.MaxTime);
  if (a.Open < 0) throw ToolError(2, "--open takes an item number from 1");
  if (a.Open > 0 && GuiActive()) throw ToolError(2, "--open does not go with --gui: click the item in the dialog");
  TKwWebDirect web(nullptr);
  ApplyTarget(ParseTarget(a.Url), web);
  web.SetTimeout(timeout);
  web.SetMaxTime(maxTime);
  web.SetShowMode(omNever);
  UseDialogs(web);
  web.Execute();
  const TKwIStatus status = web.Status();
  if (status == isFailed || status == isNotFound) {
    const std::string reason = StringToUtf8(web.ErrorText());
    throw ToolError(status == isFailed ? 1 : 3, !reason.empty()      ? reason
                                                : status == isFailed ? "download failed"
                                                                     : "news file not found");
  }

  // On the desktop the dialog itself shows the tree, until it is closed; a
  // click opens a link there or tells why not. A desktop without a screen
  // gets the tree as text: no one could close the dialog there.
  if (GuiActive() && Application->Backend().Attended()) {
    web.ShowModal();
    return 0;
  }

  auto owned = std::make_unique<TNewsBackend>();
  TNewsBackend* backend = owned.get();
  auto previous = Application->SetBackend(std::move(owned));
  // The dialog goes before the terminal's own backend comes back.
  struct TRestore {
    TKwWebDirect& web;
    std::unique_ptr<TUIBackend>& backend;
    ~TRestore() {
      if (web.Form()) web.Form()->Close();
      Application->SetBackend(std::move(backend));
    }
  } restore{web, previous};

  web.Show();
  // Categories flush left, items indented and numbered, new ones marked.
  std::vector<TTreeNode*> items;
  for (TTreeNode* n = web.Tree()->Items()->GetFirstNode(); n; n = n->GetNext()) {
    if (n->Level() == 0) {
      std::printf("%s\n", OneLineValue(n->Text()).c_str());
      continue;
    }
    items.push_back(n);
    const auto* data = dynamic_cast<TKwINodeData*>(n->Data());
    std::printf("%s%d. %s  %s\n", n->Bold() ? "  * " : "    ", static_cast<int>(items.size()),
                OneLineValue(n->Text()).c_str(), OneLineValue(data ? data->Url : String()).c_str());
  }
  std::fflush(stdout);
  if (a.Open == 0) return 0;
  if (a.Open > static_cast<int>(items.size()))
    throw ToolError(
        2, "--open " + std::to_string(a.Open) + ": the news file has " + std::to_string(items.size()) + " item(s)");
  const auto* data = dynamic_cast<TKwINodeData*>(items[static_cast<std::size_t>(a.Open - 1)]->Data());
  web.Tree()->SetSelected(items[static_cast<std::size_t>(a.Open - 1)]);
  web.Tree()->Click();
  if (!backend->Refused.empty()) throw ToolError(1, StringToUtf8(backend->Refused));
  if (!backend->Opened)
    throw ToolError(1, "xdg-open could not open " + (data ? StringToUtf8(data->Url) : std::string("the link")));
  return 0;
}

void Setup(CLI::App& app) {
  static TNewsArgs args;
  args = TNewsArgs();
  auto* news = app.add_subcommand(
      "news",
      "Bring the news file up to date from URL (http://, https://, ftp://, ftps:// or a file path) and print its tree");
  news->add_option("--open", args.Open, "Open item N as a click would (http, https, ftp and mailto links only)");
  news->add_option("--timeout", args.Timeout, "Milliseconds to wait for a connection or data (0: no bound)");
  news->add_option("--max-time", args.MaxTime, MaxTimeHelp(kFetchMaxTime));
  news->add_option("URL", args.Url, "The remote news file")->required();
  news->footer(
      "The news file is kept as $XDG_DATA_HOME/kwinet/kwinet.sin (~/.local/share when XDG_DATA_HOME is not set), "
      "the copy before the last run beside it as kwinet.~sin; items it did not have are marked with \"*\".\n"
      "Exit status: 0 the tree was printed (and item N handed to xdg-open), 1 the download failed (an error "
      "answer, a broken or timed-out exchange, one that took longer than --max-time or dripped slower than 1024 "
      "bytes a second for a minute, a news file larger than 16 MiB; the kept news file is then unchanged) or item N "
      "was refused or could not be opened, 3 no such news file (or the server could not be reached or its "
      "certificate was refused), 2 bad arguments. "
      "The reason of 1 and 3 is printed on standard error.\n"
      "With --gui (kwinet --gui news URL) the news dialog shows the tree on the desktop instead, until it is closed; "
      "a click on an item opens it (--open does not go with --gui). On a desktop without a screen, such as Qt's "
      "offscreen platform, the tree is printed as without --gui.");
  news->callback([] { ExitCode() = RunNews(args); });
  OffersGui(news);
}

// --- demo -------------------------------------------------------------------

int Demo() {
  support::TNginx nginx;
  if (!nginx.Started()) {
    std::printf("%s\n", nginx.Error().c_str());
    return 1;
  }
  support::TempDir dir("kwinet-demo");
  // The demo's news files stay in its own folder.
  const char* oldXdg = std::getenv("XDG_DATA_HOME");
  const std::string savedXdg = oldXdg ? oldXdg : "";
  ::setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);
  const std::string news = nginx.Root() + "/news.sin";
  std::ofstream(news) << "[Releases]\nhttp://example.com/2.0=Version 2.0 is out\n"
                         "[Tips]\nmailto:support@example.com=Write to support\nfile:///etc/passwd=Not a web link\n";
  int failures = 0;
  failures += !Show({"news", nginx.Url("/news.sin")});
  std::ofstream(news, std::ios::app) << "[Releases]\nhttp://example.com/2.1=Version 2.1 fixes the updater\n";
  failures += !Show({"news", nginx.Url("/news.sin")});
  failures += !Show({"news", nginx.Url("/news.sin"), "--open", "4"}, 1);
  if (oldXdg)
    ::setenv("XDG_DATA_HOME", savedXdg.c_str(), 1);
  else
    ::unsetenv("XDG_DATA_HOME");
  return failures;
}

Register reg({"news", 44, Setup, Demo});

}  // namespace
}  // namespace kwinet::tool
