// Daytime and SNTP clients: parsing, the packet, and exchanges with an
// in-process daytime server, a scripted UDP server and chronyd.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <optional>

#include "kwinet/socket/KwISNTP.h"
#include "kwinet/socket/KwITime.h"
#include "peers/Chrony.h"
#include "peers/FakeServer.h"
#include "peers/ServerProcess.h"

using namespace kwinet;
using kwinet::test::FakeServer;

namespace {

class TTestSNTP : public TKwInetSNTP {
 public:
  TTestSNTP() : TKwInetSNTP(nullptr) {}
  using TKwInetSNTP::NTPTimestamp2DateTime;
  using TKwInetSNTP::SwapBytes;
  using TKwInetSNTP::TimeZoneBias;
};

// Sets TZ for the life of the scope.
class ZoneScope {
 public:
  explicit ZoneScope(const char* zone) {
    if (const char* old = std::getenv("TZ")) FOld = old;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~ZoneScope() {
    if (FOld)
      ::setenv("TZ", FOld->c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }

 private:
  std::optional<std::string> FOld;
};

const std::string kNistLine = "\n60000 23-02-25 18:39:37 00 0 0 345.3 UTC(NIST) *\n";
constexpr std::uint32_t kNtpToUnix = 2208988800u;

std::string Packet(int leap, int stratum, std::uint32_t seconds, std::uint32_t fraction,
                   const std::string& originate = std::string(8, '\0')) {
  std::string p(48, '\0');
  p[0] = static_cast<char>((leap << 6) | (4 << 3) | 4);
  p[1] = static_cast<char>(stratum);
  p.replace(24, 8, originate);
  for (int i = 0; i < 4; ++i) {
    p[40 + i] = static_cast<char>(seconds >> (24 - 8 * i));
    p[44 + i] = static_cast<char>(fraction >> (24 - 8 * i));
  }
  return p;
}

String Iso(TDateTime t) {
  return DateTimeToISOString(t);
}

}  // namespace

TEST(Daytime, TextToDateTime) {
  struct Case {
    std::string text;
    const char16_t* expected;
  } cases[] = {
      {kNistLine, u"2023-02-25 18:39:37"},
      {"\n60000 99-02-25 18:39:37 00 0 0", u"2099-02-25 18:39:37"},
      {"\n60000 7-02-25 18:39:37 00", u"2007-02-25 18:39:37"},
      {"\n60000 123-02-25 18:39:37 00", u"2123-02-25 18:39:37"},
      {"x 23-02-25 18:39:37", u"2023-02-25 18:39:03"},  // the last character is never read
      {"", u"2001-01-01 01:01:01"},
  };
  for (const auto& tc : cases)
    EXPECT_EQ(Iso(TKwInetDateTime::DateTimeFromText(BytesToString(tc.text))), tc.expected) << tc.text;
  EXPECT_THROW(TKwInetDateTime::DateTimeFromText(u"x 23-13-01 00:00:00 z"), EConvertError);
  EXPECT_THROW(TKwInetDateTime::DateTimeFromText(u"x 23-01-01 25:00:00 z"), EConvertError);
}

TEST(Daytime, StrictReadingTellsADaytimeLineFromOtherText) {
  struct Case {
    std::string text;
    const char16_t* expected;  // nullptr: not a daytime line
  } cases[] = {
      {kNistLine, u"2023-02-25 18:39:37"},
      {"x 2023-02-25 18:39:37 z", u"2023-02-25 18:39:37"},
      {"", nullptr},
      {"hello world, this is no time server\n", nullptr},
      {"Registrant: ACME, Suite 401\r\n", nullptr},
      {"HTTP/1.0 404 Not Found\r\n\r\n", nullptr},
      {"x 23-02-25 18:39:37", nullptr},     // the seconds may be cut short
      {"x 23-02-25 18:39:3a z", nullptr},   // a group that is not digits alone
      {"x 23--02-25 18:39:37 z", nullptr},  // an empty group
      {"x 23-13-01 00:00:00 z", nullptr},
      {"x 23-01-01 25:00:00 z", nullptr},
      {"x 99999-01-01 00:00:00 z", nullptr},
  };
  for (const auto& tc : cases) {
    TDateTime value = 42;
    const bool ok = TKwInetDateTime::TryDateTimeFromText(BytesToString(tc.text), value);
    EXPECT_EQ(ok, tc.expected != nullptr) << tc.text;
    if (tc.expected)
      EXPECT_EQ(Iso(value), tc.expected) << tc.text;
    else
      EXPECT_EQ(value, 42) << tc.text;
  }
}

TEST(Daytime, ReadsTheServersLineOnANewConnectionEachTime) {
  FakeServer server(FakeServer::SendOnConnect(kNistLine));
  TKwInetDateTime d(nullptr);
  EXPECT_EQ(d.Port(), 13);
  EXPECT_EQ(d.Host(), KwDefaultDaytimeServer);
  d.SetAddress(u"127.0.0.1");
  d.SetPort(server.Port());
  EXPECT_EQ(Iso(d.DateTime()), u"2023-02-25 18:39:37");
  EXPECT_EQ(Iso(d.DateTime()), u"2023-02-25 18:39:37");
  ASSERT_TRUE(server.WaitForConnections(2));
  EXPECT_EQ(server.Received(0), "");  // nothing is sent to a daytime server
}

TEST(SNTP, TimestampConversion) {
  ZoneScope utc("UTC0");
  TTestSNTP s;
  EXPECT_EQ(TTestSNTP::SwapBytes(0x12345678), 0x78563412);
  EXPECT_EQ(TTestSNTP::SwapBytes(TTestSNTP::SwapBytes(-2)), -2);
  EXPECT_DOUBLE_EQ(s.TimeZoneBias(), 0.0);

  // A seconds field with its top bit set is read unsigned.
  const std::uint32_t secs = 3886133955u;
  const TDateTime t = s.NTPTimestamp2DateTime(static_cast<std::int32_t>(secs), 0);
  EXPECT_EQ(Iso(t), Iso(UnixToDateTime(std::int64_t(secs) - kNtpToUnix)));

  // Only the top bit of the fraction: just below half a second.
  const TDateTime half = s.NTPTimestamp2DateTime(static_cast<std::int32_t>(secs), INT32_MIN);
  int h, m, sec, ms;
  DecodeTime(half, h, m, sec, ms);
  EXPECT_EQ(ms, 499);
}

TEST(SNTP, LocalTimeUsesTheZoneBias) {
  ZoneScope plusOne("XXX-1");  // UTC+1 without daylight saving
  TTestSNTP s;
  EXPECT_NEAR(s.TimeZoneBias(), -60.0 / 1440, 1e-12);
  // 2023-02-25 12:00:00 UTC.
  const std::uint32_t noon = static_cast<std::uint32_t>(DateTimeToUnix(EncodeDate(2023, 2, 25) + 0.5)) + kNtpToUnix;
  EXPECT_EQ(Iso(s.DateTimeFromReply(BytesToString(Packet(0, 2, noon, 0)))), u"2023-02-25 13:00:00");
}

TEST(SNTP, ReplyValidity) {
  ZoneScope utc("UTC0");
  TTestSNTP s;
  const std::uint32_t t = 3886133955u;
  struct Case {
    std::string reply;
    bool valid;
  } cases[] = {
      {Packet(0, 2, t, 0), true},
      {Packet(0, 15, t, 0), true},
      {Packet(0, 16, t, 0), false},
      {Packet(0, 0, t, 0), false},
      {Packet(3, 2, t, 0), false},
      {Packet(0, 2, t, 0).substr(0, 47), false},
      // A zero transmit timestamp: the server has no time to give.
      {Packet(0, 2, 0, 0), false},
  };
  for (const auto& tc : cases) EXPECT_EQ(s.DateTimeFromReply(BytesToString(tc.reply)) != 0, tc.valid);
}

TEST(SNTP, QueryIsTheClientPacketStampedNow) {
  TTestSNTP s;
  EXPECT_EQ(s.Port(), 123);
  EXPECT_EQ(s.Host(), KwDefaultNTPServer);
  const String q = s.GetQuery();
  ASSERT_EQ(q.size(), 48u);
  EXPECT_EQ(q[0], 0x1B);
  for (int i = 1; i < 40; ++i) EXPECT_EQ(q[i], 0) << i;
  auto field = [&](int o) {
    return static_cast<std::int32_t>((std::uint32_t(q[o]) << 24) | (std::uint32_t(q[o + 1]) << 16) |
                                     (std::uint32_t(q[o + 2]) << 8) | std::uint32_t(q[o + 3]));
  };
  EXPECT_NEAR(s.NTPTimestamp2DateTime(field(40), field(44)), Now(), 2.0 / 86400);
}

TEST(SNTP, AcceptsOnlyTheAnswerToItsOwnPacketOverUDP) {
  ZoneScope utc("UTC0");
  const std::uint32_t t = 3886133955u;
  FakeServer server([&](const std::string& request) -> std::vector<std::string> {
    if (request.size() != 48) return {};
    // A stray answer first, then the real one echoing the transmit time.
    return {Packet(0, 2, t + 100, 0, std::string(8, 'z')), Packet(0, 2, t, 0, request.substr(40, 8))};
  });
  TTestSNTP s;
  // A name: when it gives ::1 first, the refusal there leads on to 127.0.0.1.
  s.SetHost(u"localhost");
  s.SetPort(server.Port());
  s.SetTimeout(2000);
  EXPECT_EQ(Iso(s.DateTime()), Iso(UnixToDateTime(std::int64_t(t) - kNtpToUnix)));
  ASSERT_TRUE(server.WaitForConnections(1));
  EXPECT_EQ(server.Received(0).size(), 48u);  // the packet alone, no header lines
}

TEST(SNTP, SilentServerGivesZeroAfterOneRetryWithinTimeout) {
  FakeServer server([](const std::string&) { return std::vector<std::string>{}; });
  TTestSNTP s;
  s.SetAddress(u"127.0.0.1");
  s.SetPort(server.Port());
  s.SetTimeout(400);
  const String text = s.Execute();
  EXPECT_NE(StringToUtf8(text).find("timed out after 400 ms"), std::string::npos) << StringToUtf8(text);
  EXPECT_EQ(s.DateTime(), 0);
  ASSERT_TRUE(server.WaitForConnections(4));
  EXPECT_EQ(server.ConnectionCount(), 4u);  // two tries for each of the two exchanges
}

TEST(SNTP, ChronydTimeIsTheLocalClock) {
  kwinet::test::Chrony chrony;
  if (!chrony.Ok()) {
    if (kwinet::test::InCI()) FAIL() << chrony.Error();
    GTEST_SKIP() << chrony.Error();
  }
  TKwInetSNTP s(nullptr);
  s.SetAddress(u"127.0.0.1");
  s.SetPort(chrony.Port());
  s.SetTimeout(3000);
  const TDateTime t = s.DateTime();
  EXPECT_NEAR(t, Now(), 2.0 / 86400) << StringToUtf8(Iso(t));
}
