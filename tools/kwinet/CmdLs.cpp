// kwinet ls: the remote directory lister, over FTP or in a local folder.
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "DemoSupport.h"
#include "Secret.h"
#include "Target.h"
#include "Tool.h"
#include "kwinet/core/Application.h"
#include "kwinet/web/FtpListing.h"
#include "kwinet/web/kwidir.h"

namespace kwinet::tool {
namespace {

struct TLsArgs {
  std::string Url, Pattern = "*.*", User, Password, CA;
  std::string PasswordFile;
  bool Recursive = false;
  bool FtpTls = false;
  std::int64_t Timeout = 30000;
  std::int64_t MaxTime = 0;
};

// Sets the lister up for URL: an ftp:// URL (user information and port
// allowed) or a local folder (a path, or a file:// URL).
void Target(TKwRemoteFiles& lister, const std::string& url) {
  const TTarget t = ParseTarget(url);
  if (t.Service == isNetwork) {
    const std::string path = StringToUtf8(t.RemoteFileName);
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
      throw ToolError(1, "no such folder: " + path);
    lister.SetService(isNetwork);
    lister.SetDirectory(t.RemoteFileName);
    return;
  }
  if (t.Service != isFTP)
    throw ToolError(
        2, "ls lists ftp:// and ftps:// URLs and local folders, not " + url.substr(0, url.find("://")) + "://");
  SetTarget(lister, t);
  lister.SetDirectory(t.RemoteFileName);
}

// Passes everything to the backend it wraps and counts the message boxes:
// each one is a folder that could not be entered.
class TBoxCounter : public TUIBackend {
 public:
  void SetInner(std::unique_ptr<TUIBackend> inner) { FInner = std::move(inner); }
  std::unique_ptr<TUIBackend> TakeInner() { return std::move(FInner); }
  int Boxes = 0;

  TModalResult ShowModal(TCustomForm& Form) override { return FInner->ShowModal(Form); }
  void ShowForm(TCustomForm& Form) override { FInner->ShowForm(Form); }
  void FormChanged(TCustomForm& Form) override { FInner->FormChanged(Form); }
  void HideForm(TCustomForm& Form) override { FInner->HideForm(Form); }
  int MessageBox(const String& Text, const String& Caption, int Flags) override {
    ++Boxes;
    return FInner->MessageBox(Text, Caption, Flags);
  }
  void ProcessMessages() override { FInner->ProcessMessages(); }
  void Idle(std::chrono::milliseconds Timeout) override { FInner->Idle(Timeout); }
  bool OpenDocument(const String& FileName) override { return FInner->OpenDocument(FileName); }

 private:
  std::unique_ptr<TUIBackend> FInner;
};

int RunLs(const TLsArgs& a) {
  const std::uint32_t timeout = Milliseconds("--timeout", a.Timeout);
  const std::uint32_t maxTime = Milliseconds("--max-time", a.MaxTime);
  if (a.Pattern.empty()) throw ToolError(2, "--pattern must not be empty");
  CheckCredential("--user", a.User);
  TKwRemoteFiles lister(nullptr);
  Target(lister, a.Url);
  if (!a.User.empty()) lister.SetUser(Utf8ToString(a.User));
  // Whichever gives it (the option, its file, the environment), a password
  // is checked as one on the command line is.
  const std::string password =
      ServerPassword(a.Password, a.PasswordFile, StringToUtf8(lister.User()), StringToUtf8(lister.Password()));
  CheckCredential("the password", password);
  lister.SetPassword(Utf8ToString(password));
  if (a.FtpTls && lister.FtpTLS() == ftNone) lister.SetFtpTLS(ftExplicit);
  if (!a.CA.empty()) lister.SetCACertFile(Utf8ToString(a.CA));
  lister.SetWildCard(Utf8ToString(a.Pattern));
  lister.SetSubFolders(a.Recursive);
  lister.SetTimeout(timeout);
  lister.SetMaxTime(maxTime);
  lister.SetLoginPrompt(false);

  // The backend goes back in place however the listing ends.
  struct TCounterScope {
    TBoxCounter* Counter;
    TCounterScope() {
      auto counter = std::make_unique<TBoxCounter>();
      Counter = counter.get();
      Counter->SetInner(Application->SetBackend(std::move(counter)));
    }
    ~TCounterScope() { Application->SetBackend(Counter->TakeInner()); }
  } scope;
  lister.Execute();
  for (int i = 0; i < lister.FileList()->Count(); ++i)
    std::printf("%s\n", OneLineValue(lister.FileList()->Strings(i)).c_str());
  std::fflush(stdout);
  if (lister.Status() == isFailed) throw ToolError(1, StringToUtf8(lister.ErrorText()));
  // A walk cut short (too deep, too many folders) listed what it found, not
  // all that was asked.
  if (lister.Status() == isFinished && !lister.ErrorText().empty())
    throw ToolError(1, StringToUtf8(lister.ErrorText()));
  // Each folder that could not be entered was reported on standard error.
  if (scope.Counter->Boxes > 0) return 1;
  if (lister.Status() == isNotFound) throw ToolError(3, StringToUtf8(lister.ErrorText()));
  return 0;
}

void Setup(CLI::App& app) {
  static TLsArgs args;
  args = TLsArgs();
  auto* ls = app.add_subcommand(
      "ls",
      "List a folder of an FTP server (ftp://HOST[:PORT]/PATH, ftps:// for TLS from the first byte) or a local "
      "folder");
  ls->add_flag("-r,--recursive", args.Recursive, "Also list every subfolder whose name matches the pattern");
  ls->add_option("--pattern", args.Pattern,
                 "Names to list, with * ? and [...] as wildcards (default *.*, which matches every name)");
  ls->add_option("--user", args.User, "User name for the FTP server (default: anonymous)");
  AddServerPasswordOptions(ls, args.Password, args.PasswordFile, "password for the FTP server");
  ls->add_flag("--ftp-tls", args.FtpTls,
               "Log on and list over TLS (AUTH TLS); a server that refuses it is refused, nothing goes in clear");
  ls->add_option("--ca", args.CA, "CA certificates (PEM) to check an FTPS server against");
  ls->add_option("--timeout", args.Timeout, "Milliseconds to wait for a connection or data (0: no bound)");
  ls->add_option("--max-time", args.MaxTime, MaxTimeHelp(0) + "; a large tree may take long");
  ls->add_option("URL", args.Url, "ftp:// or ftps:// URL of a folder, or a local folder")->required();
  ls->footer(
      "One entry a line: over FTP the names of the folder asked for when it is the login folder, paths "
      "otherwise; each folder's entries come before those of its subfolders. A local folder lists its \".\" "
      "and \"..\" too, each subfolder's entries right after its own entry.\n"
      "Exit status: 0 entries were listed, 3 none matched, 1 the server could not be reached or refused the "
      "logon or TLS (its certificate not trusted, or AUTH TLS refused with --ftp-tls), the local folder does not "
      "exist, a folder could not be entered or listed (a listing larger than 16 MiB, one that took longer than "
      "--max-time or dripped slower than 1024 bytes a second for a minute; each one is named on standard error; the "
      "listing goes on), or with -r the walk was cut short: folders more than " +
      std::to_string(kFtpWalkMaxDepth) + " levels below the start, or past the " + std::to_string(kFtpWalkMaxFolders) +
      "th, are listed but not entered, and a walk ends after " + std::to_string(kWalkMaxEntries) +
      " entries or 16 MiB of them (one line on standard error says which), 2 bad arguments (a control character in "
      "the user, password, host or path among them).");
  ls->callback([] { ExitCode() = RunLs(args); });
}

// --- demo -------------------------------------------------------------------

int Demo() {
  support::TFtpServer ftp;
  if (!ftp.Started()) {
    std::printf("%s\n", ftp.Error().c_str());
    return 1;
  }
  namespace fs = std::filesystem;
  const std::string root = ftp.Root();
  fs::create_directories(root + "/pub/tools");
  fs::create_directories(root + "/docs");
  for (const char* f : {"/readme.txt", "/pub/release-notes.txt", "/pub/tools/kwinet.tar.gz", "/docs/guide.txt"})
    std::ofstream(root + f) << "demo\n";
  const std::string url = "ftp://127.0.0.1:" + std::to_string(ftp.Port());
  int failures = 0;
  failures += !Show({"ls", url + "/"});
  failures += !Show({"ls", "-r", url + "/"});
  failures += !Show({"ls", "-r", "--pattern", "*.txt", "--user", "ftpuser", "--password", "ftppass", url + "/pub"});
  failures += !Show({"ls", "--pattern", "*.exe", url + "/"}, 3);
  failures += !Show({"ls", "-r", root + "/pub"});
  return failures;
}

Register reg({"ls", 45, Setup, Demo});

}  // namespace
}  // namespace kwinet::tool
