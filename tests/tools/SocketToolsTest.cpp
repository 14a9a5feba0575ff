// kwinet whois, time and dns against in-process servers, dnsmasq and chronyd.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>

#include "peers/Chrony.h"
#include "peers/Dnsmasq.h"
#include "peers/FakeServer.h"
#include "peers/TestSupport.h"
#include "tools/ToolRun.h"

using kwinet::test::FakeConnection;
using kwinet::test::FakeServer;
using kwinet::test::OneErrorLine;
using kwinet::test::ProcessResult;
using kwinet::test::Tool;

TEST(SocketTools, WhoisSendsTheDomainLineAndPrintsTheText) {
  FakeServer server(FakeServer::ReplyAndClose("Domain Name: EXAMPLE.COM\r\n", "\r\n"));
  auto r = Tool({"whois", "--host", "127.0.0.1", "--port", std::to_string(server.Port()), "example.com"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "Domain Name: EXAMPLE.COM\r\n");
  ASSERT_TRUE(server.WaitForConnections(1));
  EXPECT_EQ(server.Received(0), "example.com\r\n");
}

TEST(SocketTools, FailuresGiveOneLineAndNonZeroStatus) {
  int closedPort;
  {
    FakeServer gone(FakeServer::Stall());
    closedPort = gone.Port();
  }
  FakeServer stall(FakeServer::Stall());
  struct Case {
    std::vector<std::string> args;
    int code;
    const char* text;
  } cases[] = {
      {{"whois", "--host", "127.0.0.1", "--port", std::to_string(closedPort), "example.com"}, 1, "Cannot connect"},
      {{"whois", "--host", "127.0.0.1", "--port", std::to_string(stall.Port()), "--timeout", "300", "x.com"},
       1,
       "timed out after 300 ms"},
      {{"time", "--host", "127.0.0.1"}, 2, "--sntp,--daytime"},
      {{"time", "--sntp", "--daytime"}, 2, "--sntp,--daytime"},
      {{"dns", "-t", "BOGUS", "x.test"}, 2, "unknown record type BOGUS"},
      {{"dns", "--server", "127.0.0.1", "--port", std::to_string(stall.Port()), "a..test"}, 2, "empty label"},
      {{"dns", "--server", "127.0.0.1", "--port", std::to_string(stall.Port()), std::string(64, 'a') + ".test"},
       2,
       "longer than 63 bytes"},
      {{"dns", "--server", "127.0.0.1", "--port", std::to_string(stall.Port()),
        "\xcc\x81"
        "bad.test"},
       2,
       "not a valid international name"},
      {{"dns", "--server", "127.0.0.1", "--port", std::to_string(stall.Port()), "--tcp", "--timeout", "300", "x.test"},
       1,
       "timed out after 300 ms"},
  };
  for (const auto& tc : cases) {
    auto r = Tool(tc.args);
    EXPECT_EQ(r.ExitCode, tc.code) << tc.args[0] << " " << r.Err;
    EXPECT_TRUE(r.Out.empty() && OneErrorLine(r)) << r.Out << r.Err;
    EXPECT_NE(r.Err.find(tc.text), std::string::npos) << r.Err;
  }
}

// A server that sends one byte every 200 ms for as long as the client stays:
// --timeout bounds the whole exchange, so the command ends soon after it.
TEST(SocketTools, TricklingServerEndsTheCommandAtItsTimeout) {
  FakeServer trickle([](FakeConnection& c) {
    for (int i = 0; i < 50 && c.Send("x") && c.Sleep(200); ++i) {  // 10 s: without the bound a test fails, not hangs
    }
  });
  const std::string port = std::to_string(trickle.Port());
  const std::vector<std::string> cases[] = {
      {"whois", "--host", "127.0.0.1", "--port", port, "--timeout", "1000", "x.com"},
      {"dns", "--server", "127.0.0.1", "--port", port, "--tcp", "--timeout", "1000", "x.test"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args[0]);
    const auto start = std::chrono::steady_clock::now();
    auto r = Tool(args);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_TRUE(r.Out.empty() && OneErrorLine(r)) << r.Out << "|" << r.Err;
    EXPECT_NE(r.Err.find("timed out after 1000 ms"), std::string::npos) << r.Err;
  }
}

TEST(SocketTools, DaytimePrintsTheServersTimeAsLocalTime) {
  FakeServer server(FakeServer::SendOnConnect("\n60000 23-02-25 18:39:37 00 0 0 345.3 UTC(NIST) *\n"));
  ProcessResult r;
  {
    kwinet::test::TEnvScope zone("TZ", "XXX-1");  // the tool inherits a zone of UTC+1
    r = Tool({"time", "--daytime", "--host", "127.0.0.1", "--port", std::to_string(server.Port())});
  }
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "2023-02-25 19:39:37\n");
}

TEST(SocketTools, SntpAgainstChronyd) {
  kwinet::test::Chrony chrony;
  if (!chrony.Ok()) {
    if (kwinet::test::InCI()) FAIL() << chrony.Error();
    GTEST_SKIP() << chrony.Error();
  }
  const std::time_t before = std::time(nullptr);
  auto r = Tool({"time", "--sntp", "--host", "127.0.0.1", "--port", std::to_string(chrony.Port())});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  std::tm tm{};
  ASSERT_NE(::strptime(r.Out.c_str(), "%Y-%m-%d %H:%M:%S\n", &tm), nullptr) << r.Out;
  tm.tm_isdst = -1;
  EXPECT_LE(std::abs(static_cast<long>(std::mktime(&tm) - before)), 3L) << r.Out;
}

TEST(SocketTools, DnsPrintsOneLinePerAnswerRecord) {
  kwinet::test::Dnsmasq dnsmasq;
  if (!dnsmasq.Ok()) {
    if (kwinet::test::InCI()) FAIL() << dnsmasq.Error();
    GTEST_SKIP() << dnsmasq.Error();
  }
  const std::string port = std::to_string(dnsmasq.Port());
  struct Case {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{"www.kwinet.test"}, "www.kwinet.test. 0 IN A 192.0.2.10\n"},
      {{"--tcp", "-t", "a", "www.kwinet.test"}, "www.kwinet.test. 0 IN A 192.0.2.10\n"},
      {{"-t", "TXT", "-t", "MX", "kwinet.test"},
       "kwinet.test. 0 IN MX 10 mail.kwinet.test.\nkwinet.test. 0 IN TXT \"hello world\"\n"},
      {{"-t", "PTR", "192.0.2.10"}, "10.2.0.192.in-addr.arpa. 0 IN PTR www.kwinet.test.\n"},
  };
  for (auto tc : cases) {
    tc.args.insert(tc.args.begin(), {"dns", "--server", "127.0.0.1", "--port", port});
    auto r = Tool(tc.args);
    EXPECT_EQ(r.ExitCode, 0) << tc.args.back() << ": " << r.Err;
    EXPECT_EQ(r.Out, tc.out) << tc.args.back();
  }
  auto big = Tool({"dns", "--server", "127.0.0.1", "--port", port, "-t", "TXT", "big.kwinet.test"});
  EXPECT_EQ(big.ExitCode, 0) << big.Err;
  EXPECT_EQ(kwinet::test::Lines(big.Out), 6);
}

TEST(SocketTools, HelpNamesTheOptions) {
  for (const char* cmd : {"whois", "time", "dns"}) {
    auto r = Tool({cmd, "--help"});
    EXPECT_EQ(r.ExitCode, 0) << cmd;
    EXPECT_NE(r.Out.find("--port"), std::string::npos) << cmd;
  }
}

TEST(SocketTools, ServerTextIsPrintedOrRefusedByWhatItIsNotByTheDigitsInIt) {
  struct Case {
    std::vector<std::string> args;  // the server's port follows
    std::string reply;
    int code;
    std::string text;  // the output, or a part of the error line
  } cases[] = {
      {{"whois", "x.com"}, "Registrant: ACME, Suite 401\r\n", 0, "Registrant: ACME, Suite 401\r\n"},
      {{"whois", "x.com"}, "% 404 no match for x.com\r\n", 0, "% 404 no match for x.com\r\n"},
      {{"time", "--daytime"}, "hello, this is no time server\r\n", 1, "not a daytime line"},
      {{"time", "--daytime"}, "", 1, "in NIST's format: (nothing)"},
      {{"time", "--daytime"}, "Suite 401 404\r\n", 1, "in NIST's format: Suite 401 404\n"},
      {{"time", "--daytime"}, "\n60000 23-13-25 18:39:37 00 0 0 345.3 UTC(NIST) *\n", 1, "not a daytime line"},
  };
  for (const auto& tc : cases) {
    FakeServer server(tc.args[0] == "whois" ? FakeServer::ReplyAndClose(tc.reply, "\r\n")
                                            : FakeServer::SendOnConnect(tc.reply));
    auto args = tc.args;
    args.insert(args.end(), {"--host", "127.0.0.1", "--port", std::to_string(server.Port())});
    auto r = Tool(args);
    EXPECT_EQ(r.ExitCode, tc.code) << tc.reply << r.Err;
    if (tc.code == 0) {
      EXPECT_EQ(r.Out, tc.text);
    } else {
      EXPECT_TRUE(r.Out.empty() && OneErrorLine(r)) << r.Out << r.Err;
      EXPECT_NE(r.Err.find(tc.text), std::string::npos) << r.Err;
    }
  }
}

TEST(SocketTools, SntpAnswerWithoutAValidTimeIsAnError) {
  // Answers echo the client's transmit time, as a server does.
  auto answer = [](int leap, int stratum, std::uint32_t seconds) {
    return [=](const std::string& request) -> std::vector<std::string> {
      if (request.size() != 48) return {};
      std::string p(48, '\0');
      p[0] = static_cast<char>((leap << 6) | (4 << 3) | 4);
      p[1] = static_cast<char>(stratum);
      p.replace(24, 8, request.substr(40, 8));
      for (int i = 0; i < 4; ++i) p[40 + i] = static_cast<char>(seconds >> (24 - 8 * i));
      return {p};
    };
  };
  const std::uint32_t t = 3886133955u;  // 2023-02-25 18:39:15 UTC
  struct Case {
    FakeServer::DatagramHandler handler;
    int code;
  } cases[] = {
      {answer(0, 2, t), 0},
      {answer(0, 2, 0), 1},  // a zero transmit time
      {answer(3, 2, t), 1},
      {answer(0, 0, t), 1},
  };
  for (auto& tc : cases) {
    FakeServer server(tc.handler);
    auto r =
        Tool({"time", "--sntp", "--host", "127.0.0.1", "--port", std::to_string(server.Port()), "--timeout", "2000"});
    EXPECT_EQ(r.ExitCode, tc.code) << r.Out << r.Err;
    if (tc.code != 0) {
      EXPECT_TRUE(r.Out.empty() && OneErrorLine(r)) << r.Out << r.Err;
      EXPECT_NE(r.Err.find("no valid time"), std::string::npos) << r.Err;
    }
  }
}

TEST(SocketTools, NegativeTimeoutIsAUsageErrorForEveryCommand) {
  const std::vector<std::vector<std::string>> commands = {
      {"whois", "x.com"},
      {"time", "--daytime"},
      {"time", "--sntp"},
      {"dns", "x.test"},
      {"http", "http://127.0.0.1:1/"},
      {"mail", "--server", "127.0.0.1", "--from", "a@x.test", "--to", "b@x.test", "--body-file", "/dev/null"},
  };
  for (auto args : commands) {
    args.insert(args.end(), {"--timeout", "-5"});
    auto r = Tool(args);
    EXPECT_EQ(r.ExitCode, 2) << args[0] << ": " << r.Err;
    EXPECT_TRUE(r.Out.empty() && OneErrorLine(r)) << r.Out << r.Err;
    EXPECT_NE(r.Err.find("--timeout"), std::string::npos) << r.Err;
  }
}
