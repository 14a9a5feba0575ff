// DNS resolver: the query message, the answer parser, the UDP and TCP
// exchanges against scripted servers, and dnsmasq serving a small zone.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "kwinet/socket/KwIDNS.h"
#include "peers/Dnsmasq.h"
#include "peers/FakeServer.h"

using namespace kwinet;
using kwinet::test::FakeConnection;
using kwinet::test::FakeServer;

namespace {

class TTestResolver : public TKwIDNSResolver {
 public:
  TTestResolver() : TKwIDNSResolver(nullptr) {}
  using TKwIDNSResolver::CurrentStep;
};

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

std::string Name(const std::vector<std::string>& labels) {
  std::string s;
  for (const auto& l : labels) s += static_cast<char>(l.size()) + l;
  return s + '\0';
}

std::string U16(int v) {
  return Bytes({(v >> 8) & 0xFF, v & 0xFF});
}

std::string RR(const std::string& name, int type, int ttl, const std::string& data) {
  return name + U16(type) + U16(1) + Bytes({(ttl >> 24) & 0xFF, (ttl >> 16) & 0xFF, (ttl >> 8) & 0xFF, ttl & 0xFF}) +
         U16(static_cast<int>(data.size())) + data;
}

// An answer to Request (its identifier and question) with the given records
// and flags.
std::string AnswerTo(const std::string& request, const std::vector<std::string>& records, int flags = 0x8180) {
  std::string a = request.substr(0, 2) + U16(flags) + U16(1) + U16(static_cast<int>(records.size())) + U16(0) + U16(0);
  a += request.substr(12);
  for (const auto& r : records) a += r;
  return a;
}

const std::string kPtrToQuestion = Bytes({0xC0, 0x0C});

std::string U8(const String& s) {
  return StringToUtf8(s);
}

std::vector<std::string> Lines(const std::vector<TKwIDNSRecord>& records) {
  std::vector<std::string> out;
  for (const auto& r : records)
    out.push_back(U8(r.Name + u" " + IntToStr(r.TTL) + u" " + DNSClassName(r.RecordClass) + u" " +
                     DNSTypeName(r.RecordType) + u" " + r.Data));
  return out;
}

}  // namespace

TEST(DnsQuery, MessageLayout) {
  const std::string header = Bytes({0x01, 0x00, 0x00, 0x01, 0, 0, 0, 0, 0, 0});
  struct Case {
    TKwIDNSRequests requests;
    const char16_t* domain;
    int step;
    std::string question;
  } cases[] = {
      {{irA}, u"example.com", 0, Name({"example", "com"}) + U16(1) + U16(1)},
      {{irA}, u"example.com.", 0, Name({"example", "com"}) + U16(1) + U16(1)},
      {{irPTR}, u"192.0.2.1", 0, Name({"1", "2", "0", "192", "in-addr", "arpa"}) + U16(12) + U16(1)},
      {{irAll}, u"a.b", 0, Name({"a", "b"}) + U16(255) + U16(1)},
      {{irTransferRequest}, u"a.b", 0, Name({"a", "b"}) + U16(252) + U16(1)},
      {{irA, irMX}, u"a.b", 0, Name({"a", "b"}) + U16(1) + U16(1)},
      {{irA, irMX}, u"a.b", 1, Name({"a", "b"}) + U16(15) + U16(1)},
      {{irMX, irAll}, u"a.b", 0, Name({"a", "b"}) + U16(255) + U16(1)},
  };
  for (const auto& tc : cases) {
    TTestResolver r;
    EXPECT_EQ(r.Port(), 53);
    r.SetAddress(u"127.0.0.1");
    r.SetRequests(tc.requests);
    r.SetDomain(tc.domain);
    r.CurrentStep = tc.step;
    const std::string q = StringToBytes(r.GetQuery());
    ASSERT_GE(q.size(), 12u);
    EXPECT_EQ(q.substr(2, 10), header) << U8(tc.domain);
    EXPECT_EQ(q.substr(12), tc.question) << U8(tc.domain);
  }
}

// Names go out in their ASCII form; a name that cannot be one is refused
// before anything is sent.
TEST(DnsQuery, NamesGoOutAsAsciiOrAreRefusedUnsent) {
  FakeServer server([](const std::string& request) { return std::vector<std::string>{AnswerTo(request, {})}; });
  const std::string l63(63, 'a');
  const std::string longest = l63 + "." + l63 + "." + l63 + "." + std::string(61, 'b');  // 255 bytes on the wire
  struct Case {
    std::string name;
    std::vector<std::string> labels;  // empty: refused
    const char* error;
  } cases[] = {
      {"Mixed-Case.example", {"Mixed-Case", "example"}, nullptr},
      {"bücher.example", {"xn--bcher-kva", "example"}, nullptr},
      {"Bücher.Example.", {"xn--bcher-kva", "example"}, nullptr},
      {"faß.de", {"xn--fa-hia", "de"}, nullptr},       // nontransitional: not "fass"
      {"☃.example", {"xn--n3h", "example"}, nullptr},  // transitional fallback
      {l63 + ".test", {l63, "test"}, nullptr},
      {longest + ".", {l63, l63, l63, std::string(61, 'b')}, nullptr},
      {l63 + "a.test", {}, "longer than 63 bytes"},
      {std::string(30, 'a') + "ü" + std::string(28, 'a') + ".test", {}, "not a valid international name"},
      {longest + "b", {}, "longer than 255 bytes"},
      {l63 + "." + l63 + "." + l63 + "." + l63 + "." + l63, {}, "longer than 255 bytes"},
      {"a..b", {}, "empty label"},
      {".a", {}, "empty label"},
      {".", {}, "name is empty"},
      {"\xcc\x81"
       "abc.example",
       {},
       "not a valid international name"},
  };
  for (const auto& tc : cases) {
    TKwIDNSResolver r(nullptr);
    r.SetAddress(u"127.0.0.1");
    r.SetPort(server.Port());
    r.SetTimeout(2000);
    r.SetRequests({irA});
    r.SetDomain(Utf8ToString(tc.name));
    const std::size_t before = server.ConnectionCount();
    const std::string result = U8(r.Execute());
    if (tc.error) {
      EXPECT_NE(result.find(tc.error), std::string::npos) << tc.name << ": " << result;
      EXPECT_EQ(server.ConnectionCount(), before) << tc.name;
      continue;
    }
    ASSERT_TRUE(server.WaitForConnections(before + 1)) << tc.name;
    EXPECT_EQ(server.Received(before).substr(12), Name(tc.labels) + U16(1) + U16(1)) << tc.name;
  }
}

TEST(DnsQuery, EmptyWithoutRequestsDomainOrServerAndRandomIdentifiers) {
  TTestResolver r;
  r.SetDomain(u"a.b");
  r.SetRequests({irA});
  EXPECT_EQ(r.GetQuery(), u"");  // no server
  r.SetAddress(u"127.0.0.1");
  std::set<std::string> ids;
  for (int i = 0; i < 8; ++i) ids.insert(StringToBytes(r.GetQuery()).substr(0, 2));
  EXPECT_GT(ids.size(), 1u);
  r.SetRequests({});
  EXPECT_EQ(r.GetQuery(), u"");
  r.SetRequests({irA});
  r.SetDomain(u"");
  EXPECT_EQ(r.GetQuery(), u"");
  EXPECT_EQ(r.Execute(), u"");  // nothing to ask: no exchange at all
}

TEST(DnsParser, RecordsAsText) {
  const std::string q = Bytes({0x12, 0x34, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0}) + Name({"ex", "test"}) + U16(255) + U16(1);
  const std::string soa = Name({"ns", "ex", "test"}) + kPtrToQuestion.substr(0, 1) + "\x0c" +
                          Bytes({0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 5});
  const std::string msg =
      AnswerTo(q, {RR(kPtrToQuestion, 1, 300, Bytes({192, 0, 2, 10})),
                   RR(kPtrToQuestion, 15, 60, U16(10) + Name({"mail"}).substr(0, 5) + kPtrToQuestion),
                   RR(kPtrToQuestion, 16, 5, Bytes({5}) + "hello" + Bytes({6}) + "a\"b\\c" + "\x01"),
                   RR(kPtrToQuestion, 5, 1, Name({"alias", "ex", "test"})),
                   RR(kPtrToQuestion, 28, 1, std::string(15, '\0') + "\x01"), RR(kPtrToQuestion, 6, 1, soa),
                   RR(Name({"odd.name"}), 99, 7, Bytes({0xAB, 0x01}))});
  std::vector<TKwIDNSRecord> records;
  String error;
  ASSERT_TRUE(ParseDNSAnswer(msg, records, error)) << U8(error);
  EXPECT_EQ(Lines(records), (std::vector<std::string>{
                                "ex.test. 300 IN A 192.0.2.10",
                                "ex.test. 60 IN MX 10 mail.ex.test.",
                                "ex.test. 5 IN TXT \"hello\" \"a\\\"b\\\\c\\001\"",
                                "ex.test. 1 IN CNAME alias.ex.test.",
                                "ex.test. 1 IN AAAA ::1",
                                "ex.test. 1 IN SOA ns.ex.test. ex.test. 1 2 3 4 5",
                                "odd\\.name. 7 IN TYPE99 AB01",
                            }));
}

TEST(DnsParser, RejectsMalformedMessages) {
  const std::string head = Bytes({0x12, 0x34, 0x81, 0x80, 0, 0, 0, 1, 0, 0, 0, 0});
  const std::string fixed = U16(1) + U16(1) + Bytes({0, 0, 0, 1}) + U16(4) + Bytes({1, 2, 3, 4});
  struct Case {
    const char* what;
    std::string msg;
  } cases[] = {
      {"short header", head.substr(0, 11)},
      {"pointer to itself", head + Bytes({0xC0, 12}) + fixed},
      {"forward pointer", head + Bytes({0xC0, 14}) + fixed + Bytes({0})},
      {"pointer loop through a label", head + Bytes({1, 'a', 0xC0, 12}) + fixed},
      {"pointer outside", head + Bytes({0xFF, 0xFF}) + fixed},
      {"label past the end", head + Bytes({40, 'a'})},
      {"record cut short", head + Bytes({0}) + fixed.substr(0, 6)},
      {"data past the end", head + Bytes({0}) + U16(1) + U16(1) + Bytes({0, 0, 0, 1}) + U16(9) + Bytes({1})},
      {"name data past its record",
       head + Bytes({0}) + U16(2) + U16(1) + Bytes({0, 0, 0, 1}) + U16(2) + Bytes({3, 'a', 'b', 'c', 0})},
      {"reserved label type", head + Bytes({0x40, 0}) + fixed},
      {"name longer than 255", head +
                                   [] {
                                     std::string n;
                                     for (int i = 0; i < 5; ++i) n += Bytes({63}) + std::string(63, 'x');
                                     return n + Bytes({0});
                                   }() +
                                   fixed},
  };
  for (const auto& tc : cases) {
    std::vector<TKwIDNSRecord> records;
    String error;
    EXPECT_FALSE(ParseDNSAnswer(tc.msg, records, error)) << tc.what;
    EXPECT_FALSE(error.empty()) << tc.what;
    EXPECT_TRUE(records.empty()) << tc.what;
  }
}

TEST(DnsExchange, UdpAnswerWithTheSameIdentifierAndQuestionIsTaken) {
  FakeServer server([](const std::string& request) -> std::vector<std::string> {
    std::string wrongId = AnswerTo(request, {RR(kPtrToQuestion, 1, 1, Bytes({10, 0, 0, 1}))});
    wrongId[0] ^= 0x55;
    std::string otherName = AnswerTo(request, {});
    otherName[13] ^= 0x01;
    return {wrongId, otherName, AnswerTo(request, {RR(kPtrToQuestion, 1, 1, Bytes({192, 0, 2, 7}))})};
  });
  TKwIDNSResolver r(nullptr);
  r.SetAddress(u"127.0.0.1");
  r.SetPort(server.Port());
  r.SetTimeout(2000);
  r.SetDomain(u"host.test");
  r.SetRequests({irA, irMX});
  std::vector<std::string> afterTexts;
  r.SetOnAfterExecute([&](TObject*, String& t) { afterTexts.push_back(StringToBytes(t)); });
  const std::string result = StringToBytes(r.Execute());
  ASSERT_TRUE(server.WaitForConnections(2));
  // One message per type, A first; the result is the two answers joined.
  const std::string q0 = server.Received(0), q1 = server.Received(1);
  EXPECT_EQ(q0.substr(q0.size() - 4, 2), U16(1));
  EXPECT_EQ(q1.substr(q1.size() - 4, 2), U16(15));
  ASSERT_EQ(afterTexts.size(), 2u);
  EXPECT_EQ(result, afterTexts[0] + afterTexts[1]);
  EXPECT_EQ(afterTexts[0].substr(0, 2), q0.substr(0, 2));
  EXPECT_EQ(Lines(r.Answers()),
            (std::vector<std::string>{"host.test. 1 IN A 192.0.2.7", "host.test. 1 IN A 192.0.2.7"}));
}

TEST(DnsExchange, TruncatedAnswerIsAskedAgainOverTcpWithTheLengthField) {
  FakeServer udp([](const std::string& request) -> std::vector<std::string> {
    return {AnswerTo(request, {}, 0x8380)};  // TC set
  });
  std::string tcpAnswer;
  FakeServer tcp(
      [&](FakeConnection& c) {
        if (!c.ReadCount(2)) return;
        const std::size_t len = (std::uint8_t(c.Data()[0]) << 8) | std::uint8_t(c.Data()[1]);
        if (!c.ReadCount(2 + len)) return;
        const std::string request = c.Data().substr(2, len);
        std::vector<std::string> records;
        for (int i = 0; i < 30; ++i) records.push_back(RR(kPtrToQuestion, 16, 1, Bytes({40}) + std::string(40, 't')));
        tcpAnswer = AnswerTo(request, records);
        c.Send(U16(static_cast<int>(tcpAnswer.size())) + tcpAnswer);
      },
      "127.0.0.1", udp.Port());
  TKwIDNSResolver r(nullptr);
  r.SetAddress(u"127.0.0.1");
  r.SetPort(udp.Port());
  r.SetTimeout(2000);
  r.SetDomain(u"big.test");
  r.SetRequests({irText});
  const std::string result = StringToBytes(r.Execute());
  ASSERT_TRUE(tcp.WaitForConnections(1));
  const std::string framed = tcp.Received(0);
  ASSERT_GT(framed.size(), 2u);
  EXPECT_EQ(framed.substr(0, 2), U16(static_cast<int>(framed.size() - 2)));
  EXPECT_EQ(framed.substr(2), udp.Received(0));
  EXPECT_EQ(result, tcpAnswer);
  EXPECT_EQ(r.Answers().size(), 30u);
  EXPECT_FALSE(r.Connected());
}

TEST(DnsExchange, UseTcpSkipsUdp) {
  FakeServer udp([](const std::string&) { return std::vector<std::string>{}; });
  FakeServer tcp(
      [](FakeConnection& c) {
        if (!c.ReadCount(2)) return;
        const std::size_t len = (std::uint8_t(c.Data()[0]) << 8) | std::uint8_t(c.Data()[1]);
        if (!c.ReadCount(2 + len)) return;
        const std::string a = AnswerTo(c.Data().substr(2, len), {RR(kPtrToQuestion, 1, 9, Bytes({1, 2, 3, 4}))});
        c.Send(U16(static_cast<int>(a.size())) + a.substr(0, 5));
        c.Send(a.substr(5));  // in two pieces: read until the whole answer is in
      },
      "127.0.0.1", udp.Port());
  TKwIDNSResolver r(nullptr);
  r.SetAddress(u"127.0.0.1");
  r.SetPort(udp.Port());
  r.SetUseTCP(true);
  r.SetDomain(u"x.test");
  r.SetRequests({irA});
  r.Execute();
  EXPECT_EQ(Lines(r.Answers()), std::vector<std::string>{"x.test. 9 IN A 1.2.3.4"});
  EXPECT_EQ(udp.ConnectionCount(), 0u);
}

TEST(DnsExchange, TcpAnswerCutShortOrMismatchedIsAnError) {
  struct Case {
    bool cut;
    std::string expected;
  } cases[] = {{true, "closed the connection before the whole answer"}, {false, "does not match the query"}};
  for (const auto& tc : cases) {
    FakeServer tcp([&](FakeConnection& c) {
      if (!c.ReadCount(14)) return;
      std::string a = AnswerTo(c.Data().substr(2), {});
      if (!tc.cut) a[0] ^= 1;
      c.Send(U16(static_cast<int>(a.size()) + (tc.cut ? 10 : 0)) + a);
    });
    TKwIDNSResolver r(nullptr);
    r.SetAddress(u"127.0.0.1");
    r.SetPort(tcp.Port());
    r.SetUseTCP(true);
    r.SetDomain(u"x.test");
    r.SetRequests({irA});
    const std::string result = U8(r.Execute());
    EXPECT_NE(result.find(tc.expected), std::string::npos) << result;
  }
}

TEST(DnsExchange, ClosedPortIsRefusedAtOnce) {
  int port;
  {
    FakeServer gone([](const std::string&) { return std::vector<std::string>{}; });
    port = gone.Port();
  }
  TKwIDNSResolver r(nullptr);
  r.SetAddress(u"127.0.0.1");
  r.SetPort(port);
  r.SetTimeout(60000);
  r.SetDomain(u"x.test");
  r.SetRequests({irA});
  const std::string result = U8(r.Execute());
  EXPECT_NE(result.find("refused"), std::string::npos) << result;
}

TEST(DnsExchange, SilentServerGivesTheTimeoutMessage) {
  FakeServer server([](const std::string&) { return std::vector<std::string>{}; });
  TKwIDNSResolver r(nullptr);
  r.SetAddress(u"127.0.0.1");
  r.SetPort(server.Port());
  r.SetTimeout(400);
  r.SetDomain(u"x.test");
  r.SetRequests({irA});
  const std::string result = U8(r.Execute());
  EXPECT_NE(result.find("timed out after 400 ms"), std::string::npos) << result;
  ASSERT_TRUE(server.WaitForConnections(2));
  EXPECT_EQ(server.Received(0), server.Received(1));  // the retry repeats the message
}

class DnsmasqTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server = new kwinet::test::Dnsmasq(); }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  void SetUp() override {
    if (!server->Ok()) {
      if (kwinet::test::InCI()) FAIL() << server->Error();
      GTEST_SKIP() << server->Error();
    }
  }
  std::vector<std::string> Ask(const char16_t* domain, TKwIDNSRequests requests, bool tcp = false,
                               std::string* raw = nullptr) {
    TKwIDNSResolver r(nullptr);
    r.SetAddress(u"127.0.0.1");
    r.SetPort(server->Port());
    r.SetTimeout(3000);
    r.SetUseTCP(tcp);
    r.SetDomain(domain);
    r.SetRequests(requests);
    const String text = r.Execute();
    if (raw) *raw = StringToBytes(text);
    return Lines(r.Answers());
  }
  static kwinet::test::Dnsmasq* server;
};

kwinet::test::Dnsmasq* DnsmasqTest::server = nullptr;

TEST_F(DnsmasqTest, AnswersOfTheZone) {
  EXPECT_EQ(Ask(u"www.kwinet.test", {irA}), std::vector<std::string>{"www.kwinet.test. 0 IN A 192.0.2.10"});
  EXPECT_EQ(Ask(u"kwinet.test", {irMX}), std::vector<std::string>{"kwinet.test. 0 IN MX 10 mail.kwinet.test."});
  EXPECT_EQ(Ask(u"kwinet.test", {irText}), std::vector<std::string>{"kwinet.test. 0 IN TXT \"hello world\""});
  EXPECT_EQ(Ask(u"192.0.2.10", {irPTR}),
            std::vector<std::string>{"10.2.0.192.in-addr.arpa. 0 IN PTR www.kwinet.test."});
  EXPECT_EQ(Ask(u"www.kwinet.test", {irA}, true), std::vector<std::string>{"www.kwinet.test. 0 IN A 192.0.2.10"});
}

TEST_F(DnsmasqTest, AnswerTooLargeForUdpArrivesOverTcp) {
  std::string raw;
  const auto lines = Ask(u"big.kwinet.test", {irText}, false, &raw);
  EXPECT_GT(raw.size(), 512u);
  EXPECT_EQ(std::uint8_t(raw[2]) & 0x02, 0);  // the full answer, not the truncated one
  ASSERT_EQ(lines.size(), 6u);
  for (const auto& l : lines) EXPECT_EQ(l, "big.kwinet.test. 0 IN TXT \"" + kwinet::test::Dnsmasq::BigText() + "\"");
}
