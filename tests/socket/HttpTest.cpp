#include <gtest/gtest.h>

#include <atomic>

#include "kwinet/socket/KwIHTTP.h"
#include "kwinet/socket/KwIWeath.h"
#include "kwinet/socket/KwWhoIs.h"
#include "peers/FakeServer.h"
#include "peers/Nginx.h"
#include "peers/Tinyproxy.h"

using namespace kwinet;
using kwinet::test::FakeConnection;
using kwinet::test::FakeServer;

namespace {

std::unique_ptr<TKwIHTTPClient> MakeClient(int port, const String& request = u"/index.html") {
  auto http = std::make_unique<TKwIHTTPClient>(nullptr);
  http->SetHost(u"127.0.0.1");
  http->SetPort(port);
  http->SetTimeout(5000);
  http->SetAction(haGet);
  http->SetRequest(request);
  return http;
}

// The client's reading of a response, without a server.
class TResponseReader : public TKwIHTTPClient {
 public:
  TResponseReader() : TKwIHTTPClient(nullptr) {}
  void Read(String& text) { AfterExecute(text); }
};

const char kResponse[] = "HTTP/1.0 200 OK\r\nServer: x\r\n\r\nbody1\r\nbody2";

}  // namespace

TEST(HttpClient, RequestOnTheWireHasEveryHeaderInsideTheBlock) {
  FakeServer server(FakeServer::ReplyAndClose(kResponse, "\r\n\r\n"));
  auto http = MakeClient(server.Port());
  http->Headers()->Add(u"Accept: */*");
  http->Headers()->Add(u"X-A: 1");
  http->Execute();
  ASSERT_TRUE(server.WaitForConnections(1));
  EXPECT_EQ(server.Received(0), "GET /index.html HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) +
                                    "\r\nAccept: */*\r\nX-A: 1\r\nProxy-Connection: Keep-Alive\r\n\r\n");
}

// An empty Request is the server's root, not a request line without a path.
TEST(HttpClient, AnEmptyRequestAsksForTheRoot) {
  FakeServer server(FakeServer::ReplyAndClose(kResponse, "\r\n\r\n"));
  auto http = MakeClient(server.Port());
  http->SetRequest(u"");
  http->Execute();
  ASSERT_TRUE(server.WaitForConnections(1));
  const std::string sent = server.Received(0);
  EXPECT_EQ(sent.substr(0, sent.find("\r\n")), "GET / HTTP/1.0");
}

TEST(HttpClient, ResponseIsSplitIntoHeadersAndTheExactBody) {
  FakeServer server(FakeServer::ReplyAndClose(kResponse, "\r\n\r\n"));
  auto http = MakeClient(server.Port());
  String seen;
  http->SetOnAfterExecute([&](TObject*, String& text) { seen = text; });
  EXPECT_EQ(http->Execute(), u"body1\r\nbody2");
  EXPECT_EQ(seen, BytesToString(kResponse));
  ASSERT_EQ(http->ResponseHeaders()->Count(), 2);
  EXPECT_EQ(http->ResponseHeaders()->Strings(0), u"HTTP/1.0 200 OK");
  EXPECT_EQ(http->GetResponse(u"server"), u"Server: x");
  EXPECT_EQ(http->GetResponse(u"Content-Length"), u"");
  http->SetRemoveHeaders(false);
  EXPECT_EQ(http->Execute(), BytesToString(kResponse));
  // A binary body keeps its bytes, lone line feeds included.
  FakeServer binary(FakeServer::ReplyAndClose(std::string("HTTP/1.0 200 OK\r\n\r\n\x00\n\r\xFF", 23), "\r\n\r\n"));
  auto b = MakeClient(binary.Port());
  EXPECT_EQ(b->Execute(), BytesToString(std::string("\x00\n\r\xFF", 4)));
}

TEST(HttpClient, HeadEndsAtTheFirstEmptyLineWhateverTheLineEnds) {
  struct Case {
    std::string response;
    std::vector<String> headers;
    std::string body;
  } cases[] = {
      {"HTTP/1.0 200 OK\nA: b\n\nbody\n", {u"HTTP/1.0 200 OK", u"A: b"}, "body\n"},
      {"HTTP/1.0 200 OK\r\nA: b\n\r\n\r\nbody", {u"HTTP/1.0 200 OK", u"A: b"}, "\r\nbody"},
      // Without an empty line the last line is the separator; no body.
      {"HTTP/1.0 200 OK\r\nA: b\r\n", {u"HTTP/1.0 200 OK"}, ""},
      {"HTTP/1.0 200 OK\r\nA: b", {u"HTTP/1.0 200 OK"}, ""},
      {"", {}, ""},
      {"\r\nbody", {}, "body"},
      {"not http\r\n\r\nbody", {u"not http"}, "body"},
  };
  for (const auto& c : cases) {
    TResponseReader reader;
    String text = BytesToString(c.response);
    reader.Read(text);
    EXPECT_EQ(StringToBytes(text), c.body) << c.response;
    std::vector<String> headers;
    for (int i = 0; i < reader.ResponseHeaders()->Count(); ++i) headers.push_back(reader.ResponseHeaders()->Strings(i));
    EXPECT_EQ(headers, c.headers) << c.response;
  }
}

TEST(HttpClient, RedirectIsFollowedOnlyWhenTheHandlerAgrees) {
  FakeServer server([](FakeConnection& c) {
    c.ReadUntil("\r\n\r\n");
    if (c.Data().rfind("GET /moved ", 0) == 0)
      c.Send("HTTP/1.0 200 OK\r\nServer: second\r\n\r\nnew body");
    else
      c.Send("HTTP/1.0 302 Found\r\nLocation: /moved\r\n\r\nold");
  });
  auto http = MakeClient(server.Port());
  EXPECT_EQ(http->Execute(), u"old");  // no handler: not followed
  String url;
  http->SetOnRedirect([&](TObject*, String& URL, bool& Abort) {
    url = URL;
    Abort = false;
  });
  EXPECT_EQ(http->Execute(), u"new body");
  EXPECT_EQ(url, u"/moved");
  EXPECT_EQ(http->Request(), u"/moved");
  EXPECT_EQ(http->GetResponse(u"Server:"), u"Server: second");
  ASSERT_TRUE(server.WaitForConnections(3));
  EXPECT_EQ(server.Received(2).substr(0, 21), "GET /moved HTTP/1.0\r\n");
}

TEST(HttpClient, ResponseErrorTellsAWholeHttpAnswerFromAFailure) {
  struct Case {
    TKwIHTTPAction action;
    std::string reply;
    int status;
    const char* error;  // a part of ResponseError; "" for a whole answer
  } cases[] = {
      {haGet, "HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\nbody", 200, ""},
      {haGet, "HTTP/1.0 200 OK\r\n\r\nno length", 200, ""},
      {haGet, "HTTP/1.1 500 Oops\r\nContent-Length: 3\r\n\r\nbad", 500, ""},
      {haHead, "HTTP/1.0 200 OK\r\nContent-Length: 99\r\n\r\n", 200, ""},
      {haGet, "HTTP/1.0 304 Not Modified\r\nContent-Length: 99\r\n\r\n", 304, ""},
      {haGet, "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nabc", 200, "ended after 3 of the 10 bytes"},
      {haGet, "HTTP/1.0 200 OK\r\nContent-Length: -1\r\n\r\nabc", 200, "Content-Length is not a number"},
      {haGet, "HTTP/1.0 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n", 200, "Content-Length is not a number"},
      {haGet, "HTTP/1.0 200 OK\r\nServer: x", 200, "inside its header lines"},
      {haGet, "SSH-2.0-OpenSSH_9.2\r\n", 0, "not HTTP: SSH-2.0-OpenSSH_9.2"},
      {haGet, "hello 404 world\r\n\r\n", 0, "not HTTP"},
      {haGet, "", 0, "without an answer"},
      {haGet, "HTTP/1.0 404 Not Found\r\n\r\n", 0, "File not found"},
  };
  for (const auto& tc : cases) {
    FakeServer server(FakeServer::ReplyAndClose(tc.reply, "\r\n\r\n"));
    auto http = MakeClient(server.Port());
    http->SetAction(tc.action);
    http->Execute();
    EXPECT_EQ(http->StatusCode(), tc.status) << tc.reply;
    const std::string error = StringToUtf8(http->ResponseError());
    if (*tc.error == 0)
      EXPECT_EQ(error, "") << tc.reply;
    else
      EXPECT_NE(error.find(tc.error), std::string::npos) << tc.reply << " gave: " << error;
  }
}

TEST(HttpClient, NothingThatWouldSplitTheRequestGoesOut) {
  struct Case {
    String request, host, header;
  } cases[] = {
      {u"/x HTTP/1.0\r\nX-Injected: yes\r\n\r\nGET /smuggled", u"", u""},
      {u"/a b", u"", u""},
      {String(u"/a\0b", 4), u"", u""},
      {u"/a\tb", u"", u""},
      {u"/a\x7F", u"", u""},
      {u"/\u20AC", u"", u""},
      {u"/", u"example.com\r\nX: y", u""},
      {u"/", u"", u"X-A: 1\r\nX-B: 2"},
      {u"/", u"", String(u"X-A: \0", 6)},
  };
  FakeServer server(FakeServer::ReplyAndClose("HTTP/1.0 200 OK\r\n\r\n", "\r\n\r\n"));
  for (const auto& tc : cases) {
    auto http = MakeClient(server.Port(), tc.request);
    if (!tc.host.empty()) http->SetHost(tc.host);
    if (!tc.header.empty()) http->Headers()->Add(tc.header);
    EXPECT_THROW(http->Execute(), Exception) << StringToUtf8(tc.request + tc.host + tc.header);
    EXPECT_FALSE(http->ResponseError().empty());
  }
  EXPECT_EQ(server.ConnectionCount(), 0u);
  // Bytes past ASCII are bytes: they go through.
  auto http = MakeClient(server.Port(), u"/caf\u00E9?q=1");
  http->Execute();
  EXPECT_EQ(http->ResponseError(), u"");
  ASSERT_TRUE(server.WaitForConnections(1));
  const std::string sent = server.Received(0);
  EXPECT_EQ(sent.substr(0, sent.find("\r\n")), "GET /caf\xE9?q=1 HTTP/1.0");
}

TEST(HttpClient, LocationIsPercentEncodedOrRefused) {
  struct Case {
    std::string location;
    std::string secondRequestLine;  // empty: the redirect is refused
    const char* error;
  } cases[] = {
      {"/new path", "GET /new%20path HTTP/1.0", ""},
      {std::string("/a\x01\x00\xFF#frag", 9), "GET /a%01%00%FF HTTP/1.0", ""},
      {"rel x", "GET /dir/rel%20x HTTP/1.0", ""},
      {"http://127.0.0.1:PORT?q", "GET /?q HTTP/1.0", ""},
      {"http://127.0.0.1:abc/", "", "bad port"},
      {"http://127.0.0.1:80x/", "", "bad port"},
      {"http://:80/", "", "bad host"},
      {"http://u@127.0.0.1/", "", "bad host"},
      {"http://[::1/", "", "bad host"},
      {"https://127.0.0.1/", "", "plain HTTP only"},
  };
  for (const auto& tc : cases) {
    std::atomic<int> port{0};  // set before the first connection comes
    FakeServer server([&tc, &port](FakeConnection& c) {
      c.ReadUntil("\r\n\r\n");
      if (c.Data().rfind("GET /dir/start ", 0) != 0) {
        c.Send("HTTP/1.0 200 OK\r\n\r\nsecond");
        return;
      }
      std::string location = tc.location;
      if (const auto at = location.find("PORT"); at != std::string::npos)
        location.replace(at, 4, std::to_string(port.load()));
      c.Send("HTTP/1.0 302 Found\r\nLocation: " + location + "\r\n\r\nfirst");
    });
    port = server.Port();
    auto http = MakeClient(server.Port(), u"/dir/start");
    http->SetOnRedirect([](TObject*, String&, bool& Abort) { Abort = false; });
    const std::string result = StringToUtf8(http->Execute());
    if (tc.secondRequestLine.empty()) {
      EXPECT_NE(result.find(tc.error), std::string::npos) << tc.location << " gave: " << result;
      EXPECT_EQ(http->ResponseError(), Utf8ToString(result));
      continue;
    }
    EXPECT_EQ(result, "second") << tc.location;
    ASSERT_TRUE(server.WaitForConnections(2)) << tc.location;
    const std::string second = server.Received(1);
    EXPECT_EQ(second.substr(0, second.find("\r\n")), tc.secondRequestLine) << tc.location;
  }
}

TEST(HttpClient, AgainstNginx) {
  kwinet::test::TNginx nginx({false, {{"kwuser", "kwpass"}}, "location = /old { return 302 /a.txt; }"});
  KWINET_REQUIRE_PEER(nginx.Started(), nginx.Error());
  kwinet::test::WriteFileBytes(nginx.Root() + "/a.txt", "static content\n");
  auto http = MakeClient(nginx.Port(), u"/a.txt");
  EXPECT_EQ(http->Execute(), u"static content\n");
  EXPECT_NE(http->GetResponse(u"Content-Length:"), u"");
  http->SetAction(haHead);
  EXPECT_EQ(http->Execute(), u"");
  EXPECT_EQ(http->GetResponse(u"Content-Length:"), u"Content-Length: 15");
  http->SetAction(haGet);
  http->SetRequest(u"/missing.txt");
  EXPECT_EQ(http->Execute(), u"File not found");
  http->SetRequest(u"/old");
  http->SetOnRedirect([](TObject*, String&, bool& Abort) { Abort = false; });
  EXPECT_EQ(http->Execute(), u"static content\n");
}

TEST(HttpClient, ThroughTinyproxyWithBasicAuth) {
  kwinet::test::TNginx nginx;
  KWINET_REQUIRE_PEER(nginx.Started(), nginx.Error());
  kwinet::test::TTinyproxy proxy("proxyuser", "proxypass");
  KWINET_REQUIRE_PEER(proxy.Started(), proxy.Error());
  kwinet::test::WriteFileBytes(nginx.Root() + "/a.txt", "via proxy\n");
  auto http = MakeClient(nginx.Port(), u"/a.txt");
  http->SetLoginPrompt(false);
  http->Proxy()->SetUseProxy(true);
  http->Proxy()->SetServer(u"127.0.0.1");
  http->Proxy()->SetPort(proxy.Port());
  EXPECT_EQ(http->Execute(), u"Proxy Server authorization required");
  http->Proxy()->SetUser(u"proxyuser");
  http->Proxy()->SetPassword(u"proxypass");
  EXPECT_EQ(http->Execute(), u"via proxy\n");
  // Host and Port still name the target, not the proxy.
  EXPECT_EQ(http->Address(), u"127.0.0.1");
  EXPECT_EQ(http->Port(), nginx.Port());

  // Whois reaches its server through the proxy's CONNECT tunnel.
  FakeServer whoisServer(FakeServer::ReplyAndClose("Domain: example.com\r\n", "\r\n"));
  TKwWhoIs whois(nullptr);
  whois.SetDomain(u"example.com");  // before the host: the domain picks a server of its own
  whois.SetHost(u"127.0.0.1");
  whois.SetPort(whoisServer.Port());
  whois.SetTimeout(5000);
  whois.SetLoginPrompt(false);
  whois.Proxy()->Assign(http->Proxy());
  EXPECT_EQ(whois.Execute(), u"Domain: example.com\r\n");
  ASSERT_TRUE(whoisServer.WaitForConnections(1));
  EXPECT_EQ(whoisServer.Received(0), "example.com\r\n");
}

TEST(Weather, RequestLineAndTemperature) {
  FakeServer server(
      FakeServer::ReplyAndClose("HTTP/1.0 200 OK\r\n\r\n<td CLASS=obsTempTextA>-5&deg;F</td>", "\r\n\r\n"));
  TKwWeatherInfo weather(nullptr);
  weather.SetHost(u"127.0.0.1");
  weather.SetPort(server.Port());
  weather.SetTimeout(5000);
  weather.SetZip(u"New York");
  weather.Execute();
  EXPECT_EQ(weather.Temperature(), -5);
  ASSERT_TRUE(server.WaitForConnections(1));
  const std::string sent = server.Received(0);
  EXPECT_EQ(sent.substr(0, sent.find("\r\n")),
            "GET /weather/local/New%20York?lswe=New%20York&lswa=WeatherLocalUndeclared&GO=GO&whatprefs=   HTTP/1.0");
  EXPECT_EQ(sent.substr(sent.size() - 4), "\r\n\r\n");
}

TEST(Weather, ScrapingCases) {
  struct Case {
    const char* page;
    int temperature;
  } cases[] = {{"x CLASS=obsTempTextA>72", 72},
               {"class=obsTempTextA>72", 0},
               {"CLASS=obsTempTextA>-", 0},
               {"CLASS=obsTempTextA>1-2", 0},
               {"no marker", 0},
               // The page is the body: a header line does not count.
               {"HTTP/1.0 200 OK\r\nX-Note: CLASS=obsTempTextA>9\r\n\r\nCLASS=obsTempTextA>72", 72},
               {"HTTP/1.0 200 OK\r\nX-Note: CLASS=obsTempTextA>9\r\n\r\nno marker", 0}};
  for (const auto& c : cases) {
    FakeServer server(FakeServer::ReplyAndClose(c.page, "\r\n\r\n"));
    TKwWeatherInfo weather(nullptr);
    weather.SetHost(u"127.0.0.1");
    weather.SetPort(server.Port());
    weather.SetTimeout(5000);
    weather.Execute();
    EXPECT_EQ(weather.Temperature(), c.temperature) << c.page;
  }
  TKwWeatherInfo w(nullptr);
  w.SetZip(u"10001");
  w.SetZip(u"10001");
  EXPECT_EQ(w.TrackingType(), wttZip);
}
