// kwinet http: one HTTP/1.0 request with the socket HTTP client.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>

#include "DemoSupport.h"
#include "Secret.h"
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
  std::string Proxy, ProxyUser, ProxyPassword, ProxyPasswordFile;
  bool ProxyPasswordGiven = false;
  int Timeout = 30000;
  std::string Url;
};

HttpOptions& Options() {
  static HttpOptions o;
  return o;
}

// host[:port] into its parts, an IPv6 address in brackets; a missing port
// keeps Port as it is, and a port must be digits alone.
void SplitHostPort(const std::string& text, std::string& host, int& port, const char* what) {
  host = text;
  std::string portText;
  bool hasPort = false;
  if (!text.empty() && text[0] == '[') {
    const auto close = text.find(']');
    if (close == std::string::npos || (close + 1 < text.size() && text[close + 1] != ':'))
      throw ToolError(2, std::string("bad host in ") + what + ": " + text);
    host = text.substr(1, close - 1);
    hasPort = close + 1 < text.size();
    if (hasPort) portText = text.substr(close + 2);
  } else if (const auto colon = text.rfind(':'); colon != std::string::npos) {
    host = text.substr(0, colon);
    portText = text.substr(colon + 1);
    hasPort = true;
  }
  if (hasPort) {
    const bool digits =
        !portText.empty() && portText.size() <= 5 && portText.find_first_not_of("0123456789") == std::string::npos;
    const int p = digits ? std::stoi(portText) : 0;
    if (p <= 0 || p > 65535) throw ToolError(2, std::string("bad port in ") + what + ": " + text);
    port = p;
  }
  if (host.empty()) throw ToolError(2, std::string("no host in ") + what + ": " + text);
}

// The path and query of the URL for the request line: bytes past ASCII
// percent-encoded, the fragment dropped (it never goes to the server).
std::string RequestTarget(const std::string& rest) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string target;
  for (const char ch : rest.substr(0, rest.find('#'))) {
    const auto b = static_cast<unsigned char>(ch);
    if (b < 0x80) {
      target.push_back(ch);
    } else {
      target += {'%', kHex[b >> 4], kHex[b & 0x0F]};
    }
  }
  if (target.empty() || target[0] == '?') target.insert(0, 1, '/');
  return target;
}

void Fetch() {
  const HttpOptions& o = Options();
  std::string url = o.Url;
  // Nothing the user typed may split the request line: a space or a line
  // break would let one URL smuggle in headers or a second request.
  for (const char ch : url) {
    const auto b = static_cast<unsigned char>(ch);
    if (b <= 0x20 || b == 0x7F)
      throw ToolError(2, "the URL holds a space or a control character; write it percent-encoded (%20 for a space)");
  }
  if (url.rfind("https://", 0) == 0) throw ToolError(2, "this client speaks plain HTTP; for https:// use 'kwinet get'");
  if (url.rfind("http://", 0) != 0) throw ToolError(2, "the URL must begin with http://: " + url);
  url.erase(0, 7);
  const auto pathStart = std::min(url.find_first_of("/?#"), url.size());
  const std::string authority = url.substr(0, pathStart);
  if (authority.find('@') != std::string::npos) throw ToolError(2, "a user name in the URL is not supported: " + o.Url);
  std::string host;
  int port = 80;
  SplitHostPort(authority, host, port, "the URL");
  auto http = std::make_unique<TKwIHTTPClient>(nullptr);
  http->SetHost(Utf8ToString(host));
  http->SetPort(port);
  http->SetRequest(BytesToString(RequestTarget(url.substr(pathStart))));
  http->SetAction(o.Method == "HEAD" ? haHead : o.Method == "POST" ? haPost : haGet);
  http->SetTimeout(o.Timeout);
  for (const auto& h : o.Headers) {
    if (h.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
      throw ToolError(2, "a header line may not hold a line break or a NUL");
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
    // A password of the environment goes only with a named user.
    const std::string password =
        o.ProxyPasswordGiven || o.ProxyUser.empty()
            ? o.ProxyPassword
            : ReadSecret("--proxy-password", "", o.ProxyPasswordFile, kProxyPasswordEnv);
    http->Proxy()->SetPassword(Utf8ToString(password));
    // A user without a password is asked for it on the terminal, unseen.
    http->SetLoginPrompt(!o.ProxyUser.empty() && !o.ProxyPasswordGiven && password.empty());
  }
  if (o.Follow) http->SetOnRedirect([](TObject*, String&, bool& Abort) { Abort = false; });
  const String body = http->Execute();
  // An error that ended the exchange, an answer that is not HTTP and a body
  // cut short of its Content-Length are failures, never printed as a body.
  const String& error = http->ResponseError();
  if (!error.empty()) throw ToolError(error == strKwInEFileNotFound ? 3 : 1, StringToUtf8(error));
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
  cmd->add_option("--proxy-password", o.ProxyPassword,
                  "Password for the proxy (other users can read it in the process list: prefer "
                  "--proxy-password-file or " + std::string(kProxyPasswordEnv) + ")")
      ->each([&o](const std::string&) { o.ProxyPasswordGiven = true; });
  cmd->add_option("--proxy-password-file", o.ProxyPasswordFile,
                  "A file whose first line is the password for the proxy; refused (exit status 2) when its group or "
                  "others may read it. Without --proxy-password or --proxy-password-file, the password comes from " +
                      std::string(kProxyPasswordEnv) + ", else it is asked for on the terminal");
  cmd->add_option("--timeout", o.Timeout, "Milliseconds to wait for the server at most (0: no bound)")
      ->capture_default_str()
      ->check(CLI::Range(0, std::numeric_limits<int>::max()));
  cmd->add_option("URL", o.Url, "http://host[:port]/path; a space or control character in it must be percent-encoded")
      ->required();
  cmd->footer(
      "Exit status: 0 when a whole HTTP answer came, also a 4xx or 5xx one (its body is printed, as curl does "
      "without --fail), except 401 and 407 (1) and 404 (3); 1 when the server cannot be reached or does not "
      "answer in time, the answer is not HTTP or its body is shorter than its Content-Length; 2 for a usage "
      "error (a URL that is not http://, a bad port, a space or control character in the URL).");
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
