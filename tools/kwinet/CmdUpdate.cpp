// kwinet update / get: the web updater and the one-shot HTTP GET.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "DemoSupport.h"
#include "Gui.h"
#include "Secret.h"
#include "Target.h"
#include "Tool.h"
#include "kwinet/core/Application.h"
#include "kwinet/core/Streams.h"
#include "kwinet/utils/KwInCnst.h"
#include "kwinet/utils/RedactUrl.h"
#include "kwinet/utils/kwiutil.h"
#include "kwinet/web/KwInStat.h"
#include "kwinet/web/kwiupdate.h"

namespace kwinet::tool {
namespace {

// Standard output as a stream: writes pass through, positioning is ignored.
class TStdoutStream : public TStream {
 public:
  std::int64_t Read(void*, std::int64_t) override { return 0; }
  std::int64_t Write(const void* Buffer, std::int64_t Count) override {
    std::fflush(stdout);
    const char* p = static_cast<const char*>(Buffer);
    std::int64_t done = 0;
    while (done < Count) {
      ssize_t n = ::write(1, p + done, static_cast<std::size_t>(Count - done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw ToolError(1, std::string("cannot write standard output: ") + std::strerror(errno));
      done += n;
    }
    return Count;
  }
  std::int64_t Seek(std::int64_t, TSeekOrigin) override { return 0; }
  void SetSize(std::int64_t) override {}
  std::int64_t Size() override { return 0; }
};

// A stream that passes writes on and shows how much has come in the
// progress dialog, whose Cancel button stops the transfer at the next write.
// The total is not known beforehand: the text counts bytes.
class TProgressStream : public TStream {
 public:
  TProgressStream(TStream& inner, const std::string& url, const std::string& output) : FInner(inner) {
    FDialog.lblRemoteFileName->SetCaption(RedactUrl(Utf8ToString(url)));
    FDialog.lblLocalFileName->SetCaption(Utf8ToString(output.empty() ? "(standard output)" : output));
    FDialog.lblCaption->SetCaption(Application->Title());
    FDialog.lblStatus->SetCaption(strKwInDownloading);
    FDialog.Show();
    Application->ProcessMessages();
  }
  ~TProgressStream() override { FDialog.Hide(); }

  std::int64_t Read(void* Buffer, std::int64_t Count) override { return FInner.Read(Buffer, Count); }
  std::int64_t Write(const void* Buffer, std::int64_t Count) override {
    if (FDialog.IsCanceled) throw ToolError(1, "cancelled");
    const std::int64_t n = FInner.Write(Buffer, Count);
    FDone += n;
    FDialog.lblStatus->SetCaption(u"Downloaded " + Utf8ToString(std::to_string(FDone)) + u" bytes");
    Application->ProcessMessages();
    if (FDialog.IsCanceled) throw ToolError(1, "cancelled");
    return n;
  }
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override { return FInner.Seek(Offset, Origin); }
  void SetSize(std::int64_t NewSize) override { FInner.SetSize(NewSize); }
  std::int64_t Size() override { return FInner.Size(); }

 private:
  TStream& FInner;
  TfrmKwInetUpdate FDialog{nullptr};
  std::int64_t FDone = 0;
};

// The body of Url into out, through the progress dialog with --gui.
bool ReadBody(TKwWebUpdater& web, const std::string& url, const std::string& output, TStream& out) {
  if (!GuiActive()) return web.ReadHTTPGetResponse(Utf8ToString(url), out);
  TProgressStream shown(out, url, output);
  return web.ReadHTTPGetResponse(Utf8ToString(url), shown);
}

struct TUpdateArgs {
  bool Resume = false;
  bool FtpTls = false;
  std::string User, Password, CA, Proxy, Url, Local;
  std::string PasswordFile;
  std::int64_t Timeout = 30000;
  std::int64_t MaxTime = 0;
};

int RunUpdate(const TUpdateArgs& a) {
  const std::uint32_t timeout = Milliseconds("--timeout", a.Timeout);
  const std::uint32_t maxTime = Milliseconds("--max-time", a.MaxTime);
  CheckCredential("--user", a.User);
  TTarget t = ParseTarget(a.Url);
  if (!a.User.empty()) t.User = Utf8ToString(a.User);
  // Whichever gives it (the option, its file, the environment), a password
  // is checked as one on the command line is.
  const std::string password = ServerPassword(a.Password, a.PasswordFile, StringToUtf8(t.User), StringToUtf8(t.Password));
  CheckCredential("the password", password);
  t.Password = Utf8ToString(password);
  if (a.FtpTls && t.FtpTLS == ftNone) t.FtpTLS = ftExplicit;
  TKwWebUpdater u(nullptr);
  ApplyTarget(t, u);
  u.SetLocalFileName(Utf8ToString(a.Local));
  u.SetResumeDownload(a.Resume);
  u.SetTimeout(timeout);
  u.SetMaxTime(maxTime);
  if (!a.CA.empty()) u.SetCACertFile(Utf8ToString(a.CA));
  if (!a.Proxy.empty()) {
    u.Proxy()->SetUseProxy(true);
    u.Proxy()->SetServer(Utf8ToString(a.Proxy));
  }
  // The dialog and the logon prompt only where a person can see and answer.
  UseDialogs(u);
  u.Execute();
  const TKwIStatus status = u.Status();
  if (status == isFailed || status == isNotFound) {
    const String& reason = u.ErrorText();
    std::fprintf(stderr, "kwinet: %s\n",
                 reason.empty() ? (status == isFailed ? "update failed" : "remote file not found")
                                : OneLineValue(reason).c_str());
  }
  Print(KwIStatusName(status));
  switch (status) {
    case isFinished:
    case isSkipped:
      return 0;
    case isNotFound:
      return 3;
    default:
      return 1;
  }
}

struct TGetArgs {
  std::string Url, CA, Output;
  std::string User, PasswordFile;
  std::int64_t Timeout = 30000;
  std::int64_t MaxTime = 0;
  bool OutputGiven = false;  // -o, even with an empty name
};

// The URL with --user and the password of --password-file or
// KWINET_PASSWORD in its user info, for the transfer layer: nothing secret
// need stand on the command line.
std::string WithCredentials(const TGetArgs& a) {
  const std::size_t start = a.Url.find("://") + 3;
  const std::size_t end = std::min(a.Url.find_first_of("/?#", start), a.Url.size());
  const std::string authority = a.Url.substr(start, end - start);
  const std::size_t at = authority.rfind('@');
  const std::string info = at == std::string::npos ? std::string() : authority.substr(0, at);
  const std::size_t colon = info.find(':');
  const std::string user = a.User.empty() ? PercentDecode(info.substr(0, colon)) : a.User;
  const std::string urlPassword = colon == std::string::npos ? std::string() : PercentDecode(info.substr(colon + 1));
  const std::string password = ServerPassword(std::string(), a.PasswordFile, user, urlPassword);
  CheckCredential("--user", a.User);
  CheckCredential("the password", password);
  if (a.User.empty() && password == urlPassword) return a.Url;
  std::string out = a.Url.substr(0, start) + PercentEncode(user);
  if (!password.empty()) out += ":" + PercentEncode(password);
  return out + "@" + authority.substr(at == std::string::npos ? 0 : at + 1) + a.Url.substr(end);
}

int RunGet(const TGetArgs& a) {
  const std::uint32_t timeout = Milliseconds("--timeout", a.Timeout);
  const std::uint32_t maxTime = Milliseconds("--max-time", a.MaxTime);
  // Only what the transfer layer speaks; anything else would open nothing.
  const std::size_t sep = a.Url.find("://");
  std::string scheme = sep == std::string::npos ? std::string() : a.Url.substr(0, sep);
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (scheme != "http" && scheme != "https" && scheme != "ftp" && scheme != "ftps")
    throw ToolError(2, "unsupported URL \"" + a.Url + "\" (http://, https://, ftp:// or ftps://)");
  // Checked as every URL argument is (a control character, a bad port...).
  ParseTarget(a.Url);
  if (a.OutputGiven) CheckOutput(a.Output);
  const std::string url = WithCredentials(a);
  TKwWebUpdater web(nullptr);
  if (!a.CA.empty()) web.SetCACertFile(Utf8ToString(a.CA));
  web.SetTimeout(timeout);
  web.SetMaxTime(maxTime);
  bool whole = false;
  if (!a.OutputGiven) {
    TStdoutStream out;
    whole = ReadBody(web, url, std::string(), out);
    std::fflush(stdout);
  } else {
    // The body goes to OUTPUT.part and takes OUTPUT's place only when it is
    // whole: a failed or cancelled download leaves the old file as it was.
    // A body that did not come whole is no failure to write: the reason
    // follows below.
    struct TIncomplete {};
    try {
      WriteOutputFile(a.Output, [&](TStream& out) {
        whole = ReadBody(web, url, a.Output, out);
        if (!whole) throw TIncomplete{};
      });
    } catch (const TIncomplete&) {
    }
  }
  if (!whole) throw ToolError(1, StringToUtf8(web.ErrorText()));
  return 0;
}

void Setup(CLI::App& app) {
  // Setup runs for every parse (the demo parses many command lines in one
  // process): options left out must not keep an earlier line's values.
  static TUpdateArgs args;
  args = TUpdateArgs();
  auto* update = app.add_subcommand(
      "update",
      "Bring LOCALFILE up to date from URL (http://, https://, ftp://, ftps:// or a file path); prints the status");
  update->add_flag("--resume", args.Resume,
                   "Continue the partial download LOCALFILE.part when it holds the version the server still has "
                   "(else the file is fetched whole)");
  update->add_option("--user", args.User, "User name for the server");
  AddServerPasswordOptions(update, args.Password, args.PasswordFile, "password for the server");
  update->add_option("--ca", args.CA, "CA certificates (PEM) to check an HTTPS or FTPS server against");
  update->add_flag("--ftp-tls", args.FtpTls,
                   "FTP: log on and download over TLS (AUTH TLS); a server that refuses it is refused, nothing goes "
                   "in clear (ftps:// speaks TLS from the first byte)");
  update->add_option("--proxy", args.Proxy, "HTTP proxy as HOST:PORT");
  update->add_option("--timeout", args.Timeout, "Milliseconds to wait for a connection or data (0: no bound)");
  update->add_option("--max-time", args.MaxTime, "Milliseconds that the whole update may take (0: no bound)");
  update->add_option("URL", args.Url, "The remote file")->required();
  update->add_option("LOCALFILE", args.Local, "The local copy")->required();
  update->footer(
      "Exit status: 0 isFinished (downloaded) or isSkipped (the local file is current), 3 isNotFound (the server "
      "answered 404 or 410, no such FTP or local file, or the server could not be reached), 1 isFailed (any other "
      "error answer, a refused authorization, a broken, malformed or timed-out exchange, an FTP server that refused "
      "TLS or whose certificate is not trusted, a local path that is a directory or not a regular file; the local "
      "file is kept) or a LOCALFILE.part that is a symbolic link, not a regular file or another process's (left as "
      "it is), 2 bad arguments (a control character in a user, password, host or FTP path among them). The reason "
      "of 3 and 1 is printed on standard error.\n"
      "The progress dialog is shown and a 401 or 407 asks for a user and password when standard error (and, for "
      "the logon, standard input) is a terminal, or always with --gui (kwinet --gui update ...), on the desktop.");
  update->callback([] { ExitCode() = RunUpdate(args); });
  OffersGui(update);

  static TGetArgs getArgs;
  getArgs = TGetArgs();
  auto* get = app.add_subcommand("get", "Write the body of an HTTP(S) or FTP(S) URL, whatever its status");
  get->add_option("--ca", getArgs.CA, "CA certificates (PEM) to check an HTTPS or FTPS server against");
  get->add_option("--user", getArgs.User, "User name for the server (in place of the URL's)");
  get->add_option("--password-file", getArgs.PasswordFile,
                  "A file whose first line is the password for the server; refused (exit status 2) when its group "
                  "or others may read it. Without it, the password is the URL's, or KWINET_PASSWORD's when a user "
                  "is named (by --user or the URL)");
  static CLI::Option* output;
  output = get->add_option(
      "-o,--output", getArgs.Output,
      "Write to this file instead of standard output (through FILE.part, which replaces it when whole)");
  get->add_option("--timeout", getArgs.Timeout, "Milliseconds to wait for a connection or data (0: no bound)");
  get->add_option("--max-time", getArgs.MaxTime, "Milliseconds that the whole transfer may take (0: no bound)");
  get->add_option("URL", getArgs.Url, "The URL")->required();
  get->footer(
      "With --gui (kwinet --gui get ...) the progress dialog counts the bytes and its Cancel button stops the "
      "transfer; there is no logon prompt, as the body of any answer is written.\n"
      "Exit status: 0 the whole body was written (an HTTP error page too), 1 no body or only part of it, or "
      "cancelled (the reason is printed on standard error; with -o the old file is kept), or a FILE.part that is a "
      "symbolic link, not a regular file or another process's (left as it is), 2 bad arguments.");
  OffersGui(get);
  get->callback([] {
    getArgs.OutputGiven = output->count() > 0;
    ExitCode() = RunGet(getArgs);
  });
}

// --- demo -------------------------------------------------------------------

int Demo() {
  support::TNginx nginx;
  if (!nginx.Started()) {
    std::printf("%s\n", nginx.Error().c_str());
    return 1;
  }
  support::TempDir dir("kwinet-demo");
  {
    std::mt19937 gen(7);
    std::string data(3 * 1024 * 1024, '\0');
    for (auto& c : data) c = static_cast<char>(gen());
    std::ofstream(nginx.Root() + "/app-2.0.bin", std::ios::binary) << data;
    std::ofstream(nginx.Root() + "/hello.txt") << "Hello from a local nginx.\n";
  }
  const std::string base = nginx.Url("");
  const std::string local = dir.File("app.bin");
  int failures = 0;
  failures += !Show({"update", base + "/app-2.0.bin", local});
  failures += !Show({"update", base + "/app-2.0.bin", local});
  failures += !Show({"update", base + "/app-3.0.bin", local}, 3);
  failures += !Show({"get", base + "/hello.txt"});
  return failures;
}

Register reg({"update", 40, Setup, Demo});

}  // namespace
}  // namespace kwinet::tool
