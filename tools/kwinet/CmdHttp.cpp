// kwinet http: one HTTP/1.0 request with the socket HTTP client.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "DemoSupport.h"
#include "Tool.h"
#include "kwinet/socket/KwIHTTP.h"
#include "kwinet/utils/KwInCnst.h"

namespace kwinet::tool {
namespace {

struct HttpOptions {
  std::string Method = "GET";
  std::vector<std::string> Headers;
  bool Include = false;
  bool Follow = false;
  std::string Proxy, ProxyUser, ProxyPassword;
  bool ProxyPasswordGiven = false;
  int Timeout = 30000;
  std::string Url;
};

HttpOptions& Options() {
  static HttpOptions o;
  return o;
}

// host[:port] into its parts; a missing port keeps Port as it is.
void SplitHostPort(const std::string& text, std::string& host, int& port, const char* what) {
  host = text;
  const auto colon = text.rfind(':');
  if (colon != std::string::npos && text.find(']') == std::string::npos) {
    host = text.substr(0, colon);
    int p = 0;
    if (!TryStrToInt(Utf8ToString(text.substr(colon + 1)), p) || p <= 0 || p > 65535)
      throw ToolError(2, std::string("bad port in ") + what + ": " + text);
    port = p;
  }
  if (host.empty()) throw ToolError(2, std::string("no host in ") + what + ": " + text);
}

void Fetch() {
  const HttpOptions& o = Options();
  std::string url = o.Url;
  if (url.rfind("https://", 0) == 0) throw ToolError(2, "this client speaks plain HTTP; for https:// use 'kwinet get'");
  if (url.rfind("http://", 0) != 0) throw ToolError(2, "the URL must begin with http://: " + url);
  url.erase(0, 7);
  const auto slash = url.find('/');
  std::string host;
  int port = 80;
  SplitHostPort(url.substr(0, slash), host, port, "the URL");
  auto http = std::make_unique<TKwIHTTPClient>(nullptr);
  http->SetHost(Utf8ToString(host));
  http->SetPort(port);
  http->SetRequest(slash == std::string::npos ? String(u"/") : Utf8ToString(url.substr(slash)));
  http->SetAction(o.Method == "HEAD" ? haHead : o.Method == "POST" ? haPost : haGet);
  http->SetTimeout(o.Timeout);
  for (const auto& h : o.Headers) {
    if (h.find_first_of("\r\n") != std::string::npos) throw ToolError(2, "a header line may not hold a line break");
    http->Headers()->Add(Utf8ToString(h));
  }
  http->SetLoginPrompt(false);
  if (!o.Proxy.empty()) {
    std::string proxyHost;
    int proxyPort = 8080;
    SplitHostPort(o.Proxy, proxyHost, proxyPort, "--proxy");
    http->Proxy()->SetUseProxy(true);
    http->Proxy()->SetServer(Utf8ToString(proxyHost));
    http->Proxy()->SetPort(proxyPort);
    http->Proxy()->SetUser(Utf8ToString(o.ProxyUser));
    http->Proxy()->SetPassword(Utf8ToString(o.ProxyPassword));
    // A user without a password is asked for it on the terminal, unseen.
    http->SetLoginPrompt(!o.ProxyUser.empty() && !o.ProxyPasswordGiven);
  }
  if (o.Follow) http->SetOnRedirect([](TObject*, String&, bool& Abort) { Abort = false; });
  bool answered = false;
  http->SetOnAfterExecute([&answered](TObject*, String&) { answered = true; });
  const String body = http->Execute();
  if (!answered) throw ToolError(body == strKwInEFileNotFound ? 3 : 1, StringToUtf8(body));
  if (o.Include) {
    for (int i = 0; i < http->ResponseHeaders()->Count(); ++i)
      PrintBytes(StringToBytes(http->ResponseHeaders()->Strings(i)) + "\r\n");
    PrintBytes("\r\n");
  }
  PrintBytes(StringToBytes(body));
}

void Setup(CLI::App& app) {
  // The demo runs the tool several times in one process: start afresh.
  HttpOptions& o = Options() = HttpOptions{};
  auto* cmd = app.add_subcommand("http", "Make one HTTP/1.0 request and print the response body");
  cmd->add_option("--method", o.Method, "GET, HEAD or POST (no body is sent)")
      ->check(CLI::IsMember({"GET", "HEAD", "POST"}));
  cmd->add_option("-H,--header", o.Headers, "An extra request header line, e.g. 'Accept: text/html' (repeat)");
  cmd->add_flag("-i,--include", o.Include, "Print the status line and the response header lines first");
  cmd->add_flag("--follow", o.Follow, "Follow a redirect (one at most)");
  cmd->add_option("--proxy", o.Proxy, "Go through this HTTP proxy, HOST:PORT");
  cmd->add_option("--proxy-user", o.ProxyUser, "User name for the proxy");
  cmd->add_option("--proxy-password", o.ProxyPassword, "Password for the proxy (asked for when absent)")
      ->each([&o](const std::string&) { o.ProxyPasswordGiven = true; });
  cmd->add_option("--timeout", o.Timeout, "Milliseconds to wait for the server at most (0: no bound)");
  cmd->add_option("URL", o.Url, "http://host[:port]/path")->required();
  cmd->callback(Fetch);
}

int Demo() {
  support::TempDir dir("kwinet-demo");
  const int port = support::FreePort();
  std::filesystem::create_directories(dir.File("www"));
  std::ofstream(dir.File("www/hello.txt")) << "Hello over HTTP/1.0.\n";
  std::ofstream(dir.File("nginx.conf"))
      << "daemon off;\nmaster_process off;\npid " << dir.File("nginx.pid") << ";\nerror_log " << dir.File("error.log")
      << ";\nevents { worker_connections 16; }\nhttp {\n  access_log off;\n  client_body_temp_path " << dir.Path()
      << ";\n  proxy_temp_path " << dir.Path() << ";\n  fastcgi_temp_path " << dir.Path() << ";\n  uwsgi_temp_path "
      << dir.Path() << ";\n  scgi_temp_path " << dir.Path() << ";\n  server {\n    listen 127.0.0.1:" << port
      << ";\n    root " << dir.File("www") << ";\n    location = /old { return 302 /hello.txt; }\n  }\n}\n";
  support::TServerProcess nginx;
  if (!nginx.Start({"/usr/sbin/nginx", "-p", dir.Path(), "-c", dir.File("nginx.conf"), "-e", dir.File("error.log")},
                   dir.File("nginx.out")) ||
      !nginx.WaitForPort(port)) {
    std::printf("nginx could not be started on loopback (Debian package nginx); skipping.\n");
    return 1;
  }
  const std::string base = "http://127.0.0.1:" + std::to_string(port);
  bool ok = Show({"http", "-i", base + "/hello.txt"});
  ok = Show({"http", "--follow", base + "/old"}) && ok;
  ok = Show({"http", base + "/missing.txt"}, 3) && ok;
  return ok ? 0 : 1;
}

Register reg({"http", 30, Setup, Demo});

}  // namespace
}  // namespace kwinet::tool
