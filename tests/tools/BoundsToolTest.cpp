// Every command that fetches something ends against a server that never
// stops sending, one that drips its answer, and one that says nothing: with
// its reason on one line, exit status 1, and the local file it keeps as it
// was.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "peers/FakeServer.h"
#include "peers/TestSupport.h"
#include "tools/ToolRun.h"

namespace {

using kwinet::test::FakeConnection;
using kwinet::test::FakeServer;
using kwinet::test::OneErrorLine;
using kwinet::test::ProcessResult;
using kwinet::test::ReadFileBytes;
using kwinet::test::Tool;
using kwinet::test::WriteFileBytes;

constexpr const char* kHead = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n";

// The next command line from an FTP client; false when it has gone.
bool NextCommand(FakeConnection& c, std::string& line) {
  for (;;) {
    const std::string& data = c.Data();
    if (const std::size_t eol = data.find("\r\n"); eol != std::string::npos) {
      line = data.substr(0, eol);
      c.Consume(eol + 2);
      return true;
    }
    if (!c.ReadUntil("\r\n", 20000)) return false;
  }
}

// The control side of an FTP server whose listings come from Data: every
// folder exists, and each listing is what Data's handler sends on the data
// connection that EPSV points to.
FakeServer::ConnectionHandler FtpControl(FakeServer& data) {
  auto listings = std::make_shared<std::atomic<std::size_t>>(0);
  return [&data, listings](FakeConnection& c) {
    if (!c.Send("220 fake\r\n")) return;
    std::string line;
    while (NextCommand(c, line)) {
      std::string verb = line.substr(0, line.find(' '));
      std::transform(verb.begin(), verb.end(), verb.begin(), [](unsigned char ch) { return std::toupper(ch); });
      std::string reply = "500 no\r\n";
      if (verb == "USER") reply = "331 password\r\n";
      if (verb == "PASS") reply = "230 in\r\n";
      if (verb == "PWD") reply = "257 \"/\"\r\n";
      if (verb == "CWD" || verb == "TYPE") reply = "250 ok\r\n";
      if (verb == "EPSV") reply = "229 passive (|||" + std::to_string(data.Port()) + "|)\r\n";
      if (verb == "QUIT") {
        c.Send("221 bye\r\n");
        return;
      }
      if (verb == "MLSD") {
        if (!c.Send("150 listing\r\n")) return;
        data.WaitForConnections(++*listings, 20000);
        reply = "226 done\r\n";
      }
      if (!c.Send(reply)) return;
    }
  };
}

// A listing of folders never seen before, with long names.
void NewFolders(FakeConnection& c) {
  static std::atomic<int> next{0};
  std::string listing;
  for (int i = 0; i < 100; ++i) {
    const int n = ++next;
    listing += "type=dir;unique=" + std::to_string(n) + "; d" + std::to_string(n) + std::string(300, 'x') + "\r\n";
  }
  c.Send(listing);
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char ch) { return std::tolower(ch); });
  return s;
}

TEST(BoundsTool, EveryFetchEndsWithItsReasonAndKeepsTheOldFile) {
  kwinet::test::TempDir dir;
  kwinet::test::TEnvScope data{"XDG_DATA_HOME", dir.File("data")};
  const std::string news = dir.File("data") + "/kwinet/kwinet.sin";
  std::filesystem::create_directories(dir.File("data") + "/kwinet");
  const std::string picture = dir.File("cam.png"), audio = dir.File("hello.wav"), copy = dir.File("copy.bin");
  enum TKind { kEndless, kDrip, kSilent, kNewFolders };
  struct Server {
    TKind kind;
    const char* what;
    FakeServer::ConnectionHandler http, ftpData;
    std::vector<std::string> bound;  // the options that give the bound its turn
    const char* says;
  } servers[] = {
      {kEndless,
       "an endless answer",
       FakeServer::Endless(std::uint64_t(1) << 32, kHead, "\r\n\r\n"),
       FakeServer::Endless(),
       {},
       "larger than 16777216 bytes"},
      {kDrip, "a drip", FakeServer::Drip(kHead, 200), FakeServer::Drip("", 200, ""), {"--max-time", "1500"}, "time"},
      {kSilent, "silence", FakeServer::Stall(30000), nullptr, {"--timeout", "1000"}, "time"},
      {kNewFolders, "ever new folders", nullptr, NewFolders, {}, "listing cut short"},
  };
  for (Server& s : servers) {
    SCOPED_TRACE(s.what);
    FakeServer http(s.http ? s.http : FakeServer::Stall(1));
    FakeServer ftpData(s.ftpData ? s.ftpData : FakeServer::Stall(1));
    FakeServer ftp(s.kind == kSilent ? FakeServer::Stall(30000) : FtpControl(ftpData));
    const std::string url = "http://127.0.0.1:" + std::to_string(http.Port());
    const std::string ftpUrl = "ftp://127.0.0.1:" + std::to_string(ftp.Port()) + "/";
    struct Row {
      std::vector<std::string> args;
      std::string kept;  // a file that must keep its old content
      FakeServer* server;
    };
    std::vector<Row> rows;
    if (s.kind == kNewFolders) {
      rows.push_back({{"ls", "-r", ftpUrl}, "", &ftp});
    } else {
      rows = {
          {{"rss", url + "/feed.xml"}, "", &http},
          {{"image", "-o", picture, url + "/cam.png"}, picture, &http},
          {{"links", url + "/page.html"}, "", &http},
          {{"news", url + "/news.sin"}, news, &http},
          {{"translate", "--host", url, "--to", "de", "Hello"}, "", &http},
          {{"languages", "--service", "microsoft", "--host", url}, "", &http},
          {{"speak", "--host", url, "--to", "en", "-o", audio, "Hello"}, audio, &http},
          {{"track", "ups", "1Z", "--host", url}, "", &http},
          {{"ls", ftpUrl}, "", &ftp},
      };
      // A download has no bound on its size, only on its time.
      if (s.kind != kEndless) rows.push_back({{"get", "-o", copy, url + "/file.bin"}, copy, &http});
    }
    for (Row& row : rows) {
      row.args.insert(row.args.begin() + 1, s.bound.begin(), s.bound.end());
      const std::string what = row.args[0];
      for (const std::string& f : {news, picture, audio, copy}) WriteFileBytes(f, "old");
      const std::size_t before = row.server->ConnectionCount();
      const ProcessResult r = Tool(row.args);
      EXPECT_EQ(r.ExitCode, 1) << what << ": " << r.Err;
      EXPECT_TRUE(OneErrorLine(r)) << what << ": " << r.Err;
      EXPECT_NE(Lower(r.Err).find(s.says), std::string::npos) << what << ": " << r.Err;
      if (!row.kept.empty()) {
        EXPECT_EQ(ReadFileBytes(row.kept), "old") << what;
      }
      // A silent server is asked once: its silence costs one --timeout.
      if (s.kind == kSilent) {
        EXPECT_EQ(row.server->ConnectionCount() - before, 1u) << what;
      }
    }
  }
}

// A download has no bound on its size, but the listing that finds the file
// is held in memory: it keeps a bound of its own.
TEST(BoundsTool, AnEndlessListingEndsADownloadThatHasNoSizeBound) {
  kwinet::test::TempDir dir;
  const std::string copy = dir.File("copy.bin");
  WriteFileBytes(copy, "old");
  FakeServer ftpData(FakeServer::Endless());
  FakeServer ftp(FtpControl(ftpData));
  const ProcessResult r =
      Tool({"update", "ftp://127.0.0.1:" + std::to_string(ftp.Port()) + "/file.bin", copy});
  EXPECT_EQ(r.ExitCode, 1) << r.Out;
  EXPECT_TRUE(OneErrorLine(r)) << r.Err;
  EXPECT_NE(Lower(r.Err).find("larger than"), std::string::npos) << r.Err;
  EXPECT_EQ(ReadFileBytes(copy), "old");
}

TEST(BoundsTool, TheFetchingCommandsSayTheirDefaultTotalBound) {
  for (const char* cmd : {"rss", "image", "links", "news", "translate", "languages", "speak", "track"}) {
    const ProcessResult r = Tool({cmd, "--help"});
    EXPECT_NE(r.Out.find("--max-time"), std::string::npos) << cmd;
    EXPECT_NE(r.Out.find("2 minutes"), std::string::npos) << cmd;
  }
}

}  // namespace
