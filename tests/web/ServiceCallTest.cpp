// Calls to today's web services: the request as it goes on the wire, the
// one more try after a 429 or 503 that says when, and what is never done
// (following a redirection, reading past the size bound).
#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <mutex>
#include <vector>

#include "kwinet/web/ServiceCall.h"
#include "kwinet/web/kwiupdate.h"
#include "peers/FakeServer.h"

namespace kwinet {
namespace {

using test::FakeConnection;
using test::FakeServer;

class TProbe : public TKwCustomWebComponent {
 public:
  TProbe() : TKwCustomWebComponent(nullptr) { SetTimeout(5000); }

 protected:
  void InternalExecute() override {}
};

// Answers the Nth request with Answers[N] (the last one again past the
// end), and keeps every request.
class TService {
 public:
  explicit TService(std::vector<std::string> answers)
      : FAnswers(std::move(answers)), FServer([this](FakeConnection& c) {
          if (!c.ReadHttpRequest()) return;
          const std::size_t n = FCount++;
          c.Send(FAnswers[n < FAnswers.size() ? n : FAnswers.size() - 1]);
        }) {}
  TServiceOrigin Origin() const {
    TServiceOrigin o;
    o.Secure = false;
    o.Host = u"127.0.0.1";
    o.Port = static_cast<std::uint16_t>(FServer.Port());
    return o;
  }
  std::size_t Requests() const { return FCount; }
  std::string Request(std::size_t i) const { return FServer.Received(i); }

 private:
  const std::vector<std::string> FAnswers;
  std::atomic<std::size_t> FCount{0};
  FakeServer FServer;
};

std::string Answer(const std::string& status, const std::string& body, const std::string& extra = std::string()) {
  return "HTTP/1.1 " + status + "\r\nContent-Type: application/json\r\nConnection: close\r\n" + extra +
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST(ServiceCall, TheRequestGoesAsGivenAndTheAnswerComesWhole) {
  const std::string body = "[{\"Text\":\"a & b \xc3\xa9\"}]";
  TService service({Answer("200 OK", "[{\"translations\":[]}]")});
  TProbe probe;
  TServiceRequest request;
  request.Origin = service.Origin();
  request.Method = u"POST";
  request.Path = u"/translate?api-version=3.0&to=de";
  request.Headers = {{u"Ocp-Apim-Subscription-Key", u"k3y"}, {u"Content-Type", u"application/json; charset=UTF-8"}};
  request.Body = body;
  TServiceAnswer answer;
  ASSERT_TRUE(probe.CallService(request, answer)) << StringToUtf8(probe.ErrorText());
  EXPECT_EQ(answer.Status, 200);
  EXPECT_EQ(answer.Body, "[{\"translations\":[]}]");
  EXPECT_EQ(answer.ContentType, u"application/json");
  EXPECT_FALSE(answer.Retried);
  const std::string sent = service.Request(0);
  EXPECT_EQ(sent.rfind("POST /translate?api-version=3.0&to=de HTTP/1.1\r\n", 0), 0u) << sent;
  EXPECT_NE(sent.find("\r\nOcp-Apim-Subscription-Key: k3y\r\n"), std::string::npos) << sent;
  EXPECT_NE(sent.find("\r\nContent-Length: " + std::to_string(body.size()) + "\r\n"), std::string::npos) << sent;
  EXPECT_EQ(sent.substr(sent.find("\r\n\r\n") + 4), body);
}

TEST(ServiceCall, ABusyServiceIsAskedOnceMoreOnlyWhenItSaysWhenWithinTheBound) {
  const std::string ok = Answer("200 OK", "{}");
  struct TCase {
    const char* name;
    std::string first;
    std::size_t requests;
    int status;
  } cases[] = {
      {"429 with seconds", Answer("429 Too Many Requests", "{}", "Retry-After: 1\r\n"), 2, 200},
      {"503 with zero", Answer("503 Service Unavailable", "{}", "Retry-After: 0\r\n"), 2, 200},
      {"429 without Retry-After", Answer("429 Too Many Requests", "{\"m\":1}"), 1, 429},
      {"429 past the cap", Answer("429 Too Many Requests", "{}", "Retry-After: 60\r\n"), 1, 429},
      {"429 unreadable", Answer("429 Too Many Requests", "{}", "Retry-After: soon\r\n"), 1, 429},
      {"500 is not retried", Answer("500 Internal Server Error", "{}", "Retry-After: 0\r\n"), 1, 500},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TService service({c.first, ok});
    TProbe probe;
    TServiceRequest request;
    request.Origin = service.Origin();
    request.Path = u"/languages";
    TServiceAnswer answer;
    ASSERT_TRUE(probe.CallService(request, answer)) << StringToUtf8(probe.ErrorText());
    EXPECT_EQ(service.Requests(), c.requests);
    EXPECT_EQ(answer.Status, c.status);
    EXPECT_EQ(answer.Retried, c.requests == 2);
  }
  // A service that stays busy is asked twice in all, and its answer stands.
  TService busy({Answer("429 Too Many Requests", "{\"error\":1}", "Retry-After: 0\r\n")});
  TProbe probe;
  TServiceRequest request;
  request.Origin = busy.Origin();
  request.Path = u"/";
  TServiceAnswer answer;
  ASSERT_TRUE(probe.CallService(request, answer));
  EXPECT_EQ(busy.Requests(), 2u);
  EXPECT_EQ(answer.Status, 429);
  EXPECT_EQ(answer.Body, "{\"error\":1}");
}

TEST(ServiceCall, ARedirectionIsNotFollowedAndABodyPastTheBoundFails) {
  TService elsewhere({"HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/steal\r\nContent-Length: 0\r\n\r\n"});
  TProbe probe;
  TServiceRequest request;
  request.Origin = elsewhere.Origin();
  request.Path = u"/token";
  request.Headers = {{u"Authorization", u"Bearer t0ken"}};
  TServiceAnswer answer;
  EXPECT_FALSE(probe.CallService(request, answer));
  EXPECT_NE(probe.ErrorText().find(u"redirection"), String::npos) << StringToUtf8(probe.ErrorText());
  EXPECT_EQ(probe.ErrorText().find(u"t0ken"), String::npos);
  EXPECT_EQ(elsewhere.Requests(), 1u);

  TService large({Answer("200 OK", std::string(4096, 'x'))});
  request.Origin = large.Origin();
  probe.SetMaxResponseSize(1024);
  EXPECT_FALSE(probe.CallService(request, answer));
  EXPECT_FALSE(probe.ErrorText().empty());
}

TEST(ServiceCall, OriginsAndRetryAfterValuesAreReadStrictly) {
  struct TOrigin {
    const char16_t* text;
    bool ok;
    bool secure;
    const char16_t* host;
    int port;
  } origins[] = {
      {u"https://api.example.com", true, true, u"api.example.com", 443},
      {u"http://127.0.0.1:8080/", true, false, u"127.0.0.1", 8080},
      {u"https://[::1]:8443", true, true, u"::1", 8443},
      {u"HTTPS://Host", true, true, u"Host", 443},
      {u"ftp://host", false, false, u"", 0},
      {u"https://user:pw@host", false, false, u"", 0},
      {u"https://host/path", false, false, u"", 0},
      {u"https://host:0", false, false, u"", 0},
      {u"https://host:65536", false, false, u"", 0},
      {u"https://host:", false, false, u"", 0},
      {u"https://ho st", false, false, u"", 0},
      {u"https://host\r\nX: y", false, false, u"", 0},
      {u"https://", false, false, u"", 0},
      {u"https://[::1", false, false, u"", 0},
  };
  for (const TOrigin& o : origins) {
    SCOPED_TRACE(StringToUtf8(o.text));
    TServiceOrigin origin;
    ASSERT_EQ(ParseServiceOrigin(o.text, origin), o.ok);
    if (!o.ok) continue;
    EXPECT_EQ(origin.Secure, o.secure);
    EXPECT_EQ(origin.Host, o.host);
    EXPECT_EQ(origin.Port, o.port);
  }
  TServiceOrigin v6;
  ASSERT_TRUE(ParseServiceOrigin(u"https://[::1]:8443", v6));
  EXPECT_EQ(ServiceOriginText(v6), u"https://[::1]:8443");

  const std::int64_t now = 1765447200;  // Thu, 11 Dec 2025 10:00:00 GMT
  EXPECT_EQ(RetryAfterSeconds(u"7", now), 7);
  EXPECT_EQ(RetryAfterSeconds(u" 0 ", now), 0);
  EXPECT_EQ(RetryAfterSeconds(u"Thu, 11 Dec 2025 10:00:05 GMT", now), 5);
  EXPECT_EQ(RetryAfterSeconds(u"Thu, 11 Dec 2025 09:00:00 GMT", now), 0);
  EXPECT_GT(RetryAfterSeconds(u"99999999999999999999", now), kMaxRetryAfterSeconds);
  EXPECT_EQ(RetryAfterSeconds(u"", now), -1);
  EXPECT_EQ(RetryAfterSeconds(u"-3", now), -1);
  EXPECT_EQ(RetryAfterSeconds(u"soon", now), -1);
}

}  // namespace
}  // namespace kwinet
