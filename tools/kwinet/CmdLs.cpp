// kwinet ls: the remote directory lister, over FTP or in a local folder.
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "DemoSupport.h"
#include "Tool.h"
#include "kwinet/core/Application.h"
#include "kwinet/web/kwidir.h"

namespace kwinet::tool {
namespace {

struct TLsArgs {
  std::string Url, Pattern = "*.*", User, Password;
  bool Recursive = false;
  std::int64_t Timeout = 30000;
};

std::string PercentDecode(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out.push_back(static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

// Sets the lister up for URL: an ftp:// URL (user information and port
// allowed) or a local folder (a path, or a file:// URL).
void Target(TKwRemoteFiles& lister, const std::string& url) {
  const std::size_t sep = url.find("://");
  std::string scheme = sep == std::string::npos ? std::string() : url.substr(0, sep);
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (scheme.empty() || scheme == "file") {
    const std::string path = scheme.empty() ? url : PercentDecode(url.substr(sep + 3));
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
      throw ToolError(1, "no such folder: " + path);
    lister.SetService(isNetwork);
    lister.SetDirectory(Utf8ToString(path));
    return;
  }
  if (scheme != "ftp") throw ToolError(2, "ls lists ftp:// URLs and local folders, not " + scheme + "://");
  std::string rest = url.substr(sep + 3);
  const std::size_t slash = rest.find('/');
  std::string authority = rest.substr(0, slash);
  std::string path = slash == std::string::npos ? "/" : PercentDecode(rest.substr(slash));
  if (std::size_t at = authority.rfind('@'); at != std::string::npos) {
    const std::string info = authority.substr(0, at);
    authority = authority.substr(at + 1);
    const std::size_t colon = info.find(':');
    lister.SetUser(Utf8ToString(PercentDecode(info.substr(0, colon))));
    if (colon != std::string::npos) lister.SetPassword(Utf8ToString(PercentDecode(info.substr(colon + 1))));
  }
  std::string host = authority;
  long port = 21;
  std::string portText;
  if (!host.empty() && host.front() == '[') {
    const std::size_t close = host.find(']');
    if (close == std::string::npos) throw ToolError(2, "bad IPv6 address in " + url);
    if (close + 1 < host.size() && host[close + 1] == ':') portText = host.substr(close + 2);
    host = host.substr(1, close - 1);
  } else if (const std::size_t colon = host.rfind(':'); colon != std::string::npos) {
    portText = host.substr(colon + 1);
    host.resize(colon);
  }
  if (!portText.empty()) {
    char* end = nullptr;
    port = std::strtol(portText.c_str(), &end, 10);
    if (*end != '\0' || port < 1 || port > 65535) throw ToolError(2, "bad port in " + url);
  }
  if (host.empty()) throw ToolError(2, "no host in " + url);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  lister.SetService(isFTP);
  lister.SetHost(Utf8ToString(host));
  lister.SetPort(static_cast<std::uint16_t>(port));
  lister.SetDirectory(Utf8ToString(path));
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
  if (a.Timeout < 0 || a.Timeout > 0xFFFFFFFFLL) throw ToolError(2, "--timeout must be 0 or more milliseconds");
  if (a.Pattern.empty()) throw ToolError(2, "--pattern must not be empty");
  TKwRemoteFiles lister(nullptr);
  Target(lister, a.Url);
  if (!a.User.empty()) lister.SetUser(Utf8ToString(a.User));
  if (!a.Password.empty()) lister.SetPassword(Utf8ToString(a.Password));
  lister.SetWildCard(Utf8ToString(a.Pattern));
  lister.SetSubFolders(a.Recursive);
  lister.SetTimeout(static_cast<std::uint32_t>(a.Timeout));
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
  for (int i = 0; i < lister.FileList()->Count(); ++i) Print(lister.FileList()->Strings(i));
  std::fflush(stdout);
  if (lister.Status() == isFailed) throw ToolError(1, StringToUtf8(lister.ErrorText()));
  // Each folder that could not be entered was reported on standard error.
  if (scope.Counter->Boxes > 0) return 1;
  if (lister.Status() == isNotFound) throw ToolError(3, StringToUtf8(lister.ErrorText()));
  return 0;
}

void Setup(CLI::App& app) {
  static TLsArgs args;
  args = TLsArgs();
  auto* ls = app.add_subcommand("ls", "List a folder of an FTP server (ftp://HOST[:PORT]/PATH) or a local folder");
  ls->add_flag("-r,--recursive", args.Recursive, "Also list every subfolder whose name matches the pattern");
  ls->add_option("--pattern", args.Pattern,
                 "Names to list, with * ? and [...] as wildcards (default *.*, which matches every name)");
  ls->add_option("--user", args.User, "User name for the FTP server (default: anonymous)");
  ls->add_option("--password", args.Password, "Password for the FTP server");
  ls->add_option("--timeout", args.Timeout, "Milliseconds to wait for a connection or data (0: no bound)");
  ls->add_option("URL", args.Url, "ftp:// URL of a folder, or a local folder")->required();
  ls->footer(
      "One entry a line: over FTP the names of the folder asked for when it is the login folder, paths "
      "otherwise; each folder's entries come before those of its subfolders. A local folder lists its \".\" "
      "and \"..\" too, each subfolder's entries right after its own entry.\n"
      "Exit status: 0 entries were listed, 3 none matched, 1 the server could not be reached or refused the "
      "logon, the local folder does not exist, or a folder could not be entered (each one is named on standard "
      "error; the listing goes on), 2 bad arguments.");
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
