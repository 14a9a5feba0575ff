// The transfer layer against nginx, pyftpdlib and a misbehaving fake.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <vector>

#include "FakeHttp.h"
#include "kwinet/core/DateTime.h"
#include "kwinet/web/InetHandleTable.h"
#include "kwinet/web/KwInet.h"
#include "peers/FtpServer.h"
#include "peers/NginxSuite.h"

namespace kwinet {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(gen());
  return s;
}

// Pulls the whole body in pieces of the given size.
bool ReadAll(HINTERNET h, std::uint32_t piece, std::string& out) {
  std::string buf(piece, '\0');
  for (;;) {
    std::uint32_t n = 0;
    if (!InternetReadFile(h, buf.data(), piece, n)) return false;
    if (n == 0) return true;
    out.append(buf.data(), n);
  }
}

class InetHttpTest : public test::TNginxSuite {
 protected:
  static void SetUpTestSuite() {
    StartNginx({});
    if (server->Started()) {
      body = RandomBytes(3 * 1024 * 1024 + 17, 1);
      WriteFileBytes(server->Root() + "/big.bin", body);
    }
  }
  void SetUp() override {
    TNginxSuite::SetUp();
    if (NoServer()) return;
    root = InternetOpen(u"kwinet-test", INTERNET_OPEN_TYPE_DIRECT, String());
    ASSERT_NE(root, nullptr);
    conn = InternetConnect(root, u"127.0.0.1", static_cast<std::uint16_t>(server->Port()), u"", u"",
                           INTERNET_SERVICE_HTTP);
    ASSERT_NE(conn, nullptr);
  }
  void TearDown() override { InternetCloseHandle(root); }

  static std::string body;
  HINTERNET root = nullptr;
  HINTERNET conn = nullptr;
};
std::string InetHttpTest::body;

TEST_F(InetHttpTest, PullsTheBodyWhateverThePieceSize) {
  for (std::uint32_t piece : {1u << 20, 2050u, 7u}) {
    SCOPED_TRACE(piece);
    HINTERNET req = HttpOpenRequest(conn, u"GET", u"/big.bin", u"HTTP/1.0", INTERNET_FLAG_RELOAD);
    ASSERT_TRUE(HttpSendRequest(req));
    int code = 0;
    String length;
    ASSERT_TRUE(HttpQueryStatusCode(req, code));
    EXPECT_EQ(code, 200);
    ASSERT_TRUE(HttpQueryContentLength(req, length));
    EXPECT_EQ(length, IntToStr(static_cast<std::int64_t>(body.size())));
    std::int64_t modified = 0;
    ASSERT_TRUE(HttpQueryLastModified(req, modified));
    auto mtime = std::filesystem::last_write_time(server->Root() + "/big.bin");
    auto secs =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::file_clock::to_sys(mtime).time_since_epoch())
            .count();
    EXPECT_EQ(modified, TimespecToFileTime({static_cast<time_t>(secs), 0}));
    std::string got;
    if (piece == 7u) {
      // A small-piece read of the first bytes is enough to show the order.
      std::string buf(7, '\0');
      for (int i = 0; i < 1000; ++i) {
        std::uint32_t n = 0;
        ASSERT_TRUE(InternetReadFile(req, buf.data(), 7, n));
        got.append(buf.data(), n);
      }
      EXPECT_EQ(got, body.substr(0, 7000));
    } else {
      ASSERT_TRUE(ReadAll(req, piece, got));
      EXPECT_EQ(got.size(), body.size());
      EXPECT_TRUE(got == body);
    }
    InternetCloseHandle(req);
  }
}

TEST_F(InetHttpTest, ErrorStatusAndMissingHeaders) {
  HINTERNET req = HttpOpenRequest(conn, u"GET", u"/missing.bin", u"HTTP/1.0", 0);
  ASSERT_TRUE(HttpSendRequest(req));
  int code = 0;
  String text;
  std::int64_t modified = 0;
  ASSERT_TRUE(HttpQueryStatusCode(req, code));
  EXPECT_EQ(code, 404);
  ASSERT_TRUE(HttpQueryStatusText(req, text));
  EXPECT_EQ(text, u"Not Found");
  EXPECT_FALSE(HttpQueryLastModified(req, modified));
}

TEST_F(InetHttpTest, FilePointerContinuesWithARangeOrReportsAFullBody) {
  HINTERNET req = HttpOpenRequest(conn, u"GET", u"/big.bin", u"HTTP/1.0", 0);
  ASSERT_TRUE(HttpSendRequest(req));
  EXPECT_EQ(InternetSetFilePointer(req, 1000), 1000);
  std::string got;
  ASSERT_TRUE(ReadAll(req, 65536, got));
  EXPECT_TRUE(got == body.substr(1000));
  EXPECT_TRUE(server->WaitForLogLine("GET /big.bin 206 bytes=1000-"));

  // Past the end the server refuses the range: the whole body comes again.
  EXPECT_EQ(InternetSetFilePointer(req, static_cast<std::int64_t>(body.size()) + 5), 0);
  got.clear();
  ASSERT_TRUE(ReadAll(req, 65536, got));
  EXPECT_EQ(got.size(), body.size());
}

TEST_F(InetHttpTest, ClosingARootClosesItsChildrenAndHeaderLinesStaySingle) {
  HINTERNET req = HttpOpenRequest(conn, u"GET", u"/big.bin", u"HTTP/1.0", 0);
  EXPECT_FALSE(HttpAddRequestHeaders(req, u"X-A: 1\r\nX-Injected: 2"));
  EXPECT_TRUE(HttpAddRequestHeaders(req, u"X-A: 1"));
  ASSERT_TRUE(HttpSendRequest(req));
  EXPECT_TRUE(InternetCloseHandle(root));
  root = nullptr;
  char buf[16];
  std::uint32_t n = 0;
  EXPECT_FALSE(InternetReadFile(req, buf, sizeof buf, n));
  EXPECT_FALSE(InternetCloseHandle(conn));
}

TEST(InetFaultTest, AStalledBodyFailsWithinTheTimeout) {
  const std::string body(100000, 'x');
  test::TFakeHttp fake("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n", body, 5000, test::TFakeHttp::fmStallAfter);
  HINTERNET root = InternetOpen(u"t", INTERNET_OPEN_TYPE_DIRECT, String());
  InternetSetOption(root, INTERNET_OPTION_TIMEOUT, u"400");
  HINTERNET conn =
      InternetConnect(root, u"127.0.0.1", static_cast<std::uint16_t>(fake.Port()), u"", u"", INTERNET_SERVICE_HTTP);
  HINTERNET req = HttpOpenRequest(conn, u"GET", u"/f", u"HTTP/1.0", 0);
  ASSERT_TRUE(HttpSendRequest(req));
  std::string got;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ReadAll(req, 2050, got));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(got.size(), 5000u);
  EXPECT_LT(waited, std::chrono::seconds(10));  // bounded, not a speed goal
  InternetCloseHandle(root);
}

TEST(InetFaultTest, ABodyCutShortIsAFailureNotAnEnd) {
  const std::string body(100000, 'y');
  test::TFakeHttp fake("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n", body, 3000, test::TFakeHttp::fmCloseAfter);
  HINTERNET root = InternetOpen(u"t", INTERNET_OPEN_TYPE_DIRECT, String());
  HINTERNET conn =
      InternetConnect(root, u"127.0.0.1", static_cast<std::uint16_t>(fake.Port()), u"", u"", INTERNET_SERVICE_HTTP);
  HINTERNET req = HttpOpenRequest(conn, u"GET", u"/f", u"HTTP/1.0", 0);
  ASSERT_TRUE(HttpSendRequest(req));
  std::string got;
  EXPECT_FALSE(ReadAll(req, 2050, got));
  EXPECT_EQ(got.size(), 3000u);
  InternetCloseHandle(root);
}

class InetFtpTest : public ::testing::TestWithParam<bool> {};

TEST_P(InetFtpTest, FindsReadsAndResumesFiles) {
  test::TFtpOptions options;
  options.Mlsd = GetParam();
  test::TFtpServer ftp(options);
  KWINET_REQUIRE_PEER(ftp.Started(), ftp.Error());
  std::filesystem::create_directories(ftp.Root() + "/sub dir");
  const std::string data = RandomBytes(200000, 2);
  WriteFileBytes(ftp.Root() + "/sub dir/file one.bin", data);
  WriteFileBytes(ftp.Root() + "/sub dir/other.txt", "hello");
  // 2024-03-05 06:07:08 UTC
  struct timespec times[2] = {{1709618828, 0}, {1709618828, 0}};
  ::utimensat(AT_FDCWD, (ftp.Root() + "/sub dir/file one.bin").c_str(), times, 0);

  HINTERNET root = InternetOpen(u"t", INTERNET_OPEN_TYPE_DIRECT, String());
  InternetSetOption(root, INTERNET_OPTION_TIMEOUT, u"10000");
  EXPECT_EQ(InternetConnect(root, u"127.0.0.1", static_cast<std::uint16_t>(ftp.Port()), u"ftpuser", u"wrong",
                            INTERNET_SERVICE_FTP),
            nullptr);
  HINTERNET conn = InternetConnect(root, u"127.0.0.1", static_cast<std::uint16_t>(ftp.Port()), u"ftpuser", u"ftppass",
                                   INTERNET_SERVICE_FTP);
  ASSERT_NE(conn, nullptr);

  String dir;
  ASSERT_TRUE(FtpGetCurrentDirectory(conn, dir));
  EXPECT_EQ(dir, u"/");
  EXPECT_FALSE(FtpSetCurrentDirectory(conn, u"no such dir"));
  ASSERT_TRUE(FtpSetCurrentDirectory(conn, u"sub dir"));
  ASSERT_TRUE(FtpGetCurrentDirectory(conn, dir));
  EXPECT_EQ(dir, u"/sub dir");

  TInetFindData d;
  HINTERNET find = FtpFindFirstFile(conn, u"*.bin", d);
  ASSERT_NE(find, nullptr);
  EXPECT_EQ(d.FileName, u"file one.bin");
  EXPECT_EQ(d.FileSize, data.size());
  if (GetParam()) {
    EXPECT_EQ(d.LastWriteTime, TimespecToFileTime(times[1]));
  } else {
    EXPECT_EQ(FileTimeToTimespec(d.LastWriteTime).tv_sec / 86400, 1709618828 / 86400);  // LIST shows the day
  }
  EXPECT_FALSE(InternetFindNextFile(find, d));
  InternetCloseHandle(find);
  EXPECT_EQ(FtpFindFirstFile(conn, u"/sub dir/none*", d), nullptr);

  HINTERNET file = FtpOpenFile(conn, u"file one.bin", 0, FTP_TRANSFER_TYPE_BINARY);
  ASSERT_NE(file, nullptr);
  std::string got;
  ASSERT_TRUE(ReadAll(file, 2050, got));
  EXPECT_TRUE(got == data);
  EXPECT_EQ(InternetSetFilePointer(file, 150000), 150000);
  got.clear();
  ASSERT_TRUE(ReadAll(file, 4096, got));
  EXPECT_TRUE(got == data.substr(150000));
  EXPECT_EQ(FtpOpenFile(conn, u"/missing.bin", 0, FTP_TRANSFER_TYPE_BINARY), nullptr);
  InternetCloseHandle(root);
}

INSTANTIATE_TEST_SUITE_P(MlsdOrList, InetFtpTest, ::testing::Bool());

}  // namespace
}  // namespace kwinet

namespace kwinet {
namespace {

TEST(InetListingTest, ParsesBothListingFormats) {
  struct Case {
    const char* line;
    bool mlsd;
    bool ok;
    const char16_t* name;
    std::uint64_t size;
    std::uint32_t attributes;
    const char* utc;  // "YYYY-MM-DD HH:MM:SS", or "" when not checked
  } cases[] = {
      {"type=file;size=1234;modify=20240305060708;perm=r; a b.txt", true, true, u"a b.txt", 1234,
       FILE_ATTRIBUTE_READONLY, "2024-03-05 06:07:08"},
      {"type=dir;modify=20240305060708; sub", true, true, u"sub", 0, FILE_ATTRIBUTE_DIRECTORY, ""},
      {"type=cdir; .", true, false, u"", 0, 0, ""},
      {"garbage-without-space", true, false, u"", 0, 0, ""},
      {"-rw-r--r--   1 owner group    98765 Jan 02  2021 my file.bin", false, true, u"my file.bin", 98765,
       FILE_ATTRIBUTE_NORMAL, "2021-01-02 00:00:00"},
      {"lrwxrwxrwx 1 o g 7 Jan 02 2021 link -> target", false, true, u"link", 7, FILE_ATTRIBUTE_NORMAL, ""},
      {"drwxr-xr-x 2 o g 4096 Jan 02 2021 ..", false, false, u"", 0, 0, ""},
      {"total 12", false, false, u"", 0, 0, ""},
      {"-rw-r--r-- 1 o g", false, false, u"", 0, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    TInetFindData d;
    ASSERT_EQ(InetParseListingLine(c.line, c.mlsd, d), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(d.FileName, c.name);
    EXPECT_EQ(d.FileSize, c.size);
    EXPECT_EQ(d.Attributes, c.attributes);
    if (*c.utc) {
      EXPECT_EQ(StringToUtf8(DateTimeToISOString(FileTimeToDateTime(d.LastWriteTime))), c.utc);
    }
  }
}

}  // namespace
}  // namespace kwinet

namespace kwinet {
namespace {

// A closed handle stays refused once its slot serves a new handle: first in
// the table itself, then through the public operations.
TEST(InetHandleTest, AStaleHandleIsRefusedAfterItsSlotIsReused) {
  TInetHandleTable table;
  const HINTERNET parent = table.Add(std::make_unique<TInetNode>(nkRoot, nullptr));
  const HINTERNET child = table.Add(std::make_unique<TInetNode>(nkConnection, table.Find(parent)));
  ASSERT_TRUE(table.Close(parent));
  EXPECT_EQ(table.Find(child), nullptr);  // closed with its parent
  std::vector<HINTERNET> fresh;
  while (fresh.size() < 100 &&
         (fresh.empty() || TInetHandleTable::SlotOf(fresh.back()) != TInetHandleTable::SlotOf(parent)))
    fresh.push_back(table.Add(std::make_unique<TInetNode>(nkRoot, nullptr)));
  ASSERT_EQ(TInetHandleTable::SlotOf(fresh.back()), TInetHandleTable::SlotOf(parent));
  EXPECT_NE(fresh.back(), parent);
  EXPECT_EQ(table.Find(parent), nullptr);
  EXPECT_FALSE(table.Close(parent));
  EXPECT_FALSE(table.Close(child));
  EXPECT_NE(table.Find(fresh.back()), nullptr);

  HINTERNET stale = InternetOpen(u"t", INTERNET_OPEN_TYPE_DIRECT, String());
  ASSERT_TRUE(InternetCloseHandle(stale));
  std::vector<TInternetHandle> roots;
  while (roots.size() < 100 &&
         (roots.empty() || TInetHandleTable::SlotOf(roots.back()) != TInetHandleTable::SlotOf(stale)))
    roots.emplace_back(InternetOpen(u"t", INTERNET_OPEN_TYPE_DIRECT, String()));
  ASSERT_EQ(TInetHandleTable::SlotOf(roots.back()), TInetHandleTable::SlotOf(stale));
  EXPECT_FALSE(InternetSetOption(stale, INTERNET_OPTION_TIMEOUT, u"1"));
  EXPECT_EQ(InternetConnect(stale, u"127.0.0.1", 80, u"", u"", INTERNET_SERVICE_HTTP), nullptr);
  EXPECT_FALSE(InternetCloseHandle(stale));
  EXPECT_TRUE(InternetSetOption(roots.back(), INTERNET_OPTION_TIMEOUT, u"1"));
}

TEST(InetHandleTest, AnOwningHandleClosesOnceAndHandsOver) {
  HINTERNET raw = nullptr;
  {
    TInternetHandle owner(InternetOpen(u"t", INTERNET_OPEN_TYPE_DIRECT, String()));
    ASSERT_TRUE(owner);
    TInternetHandle moved(std::move(owner));
    EXPECT_EQ(owner, nullptr);
    raw = moved;
    TInternetHandle released(InternetOpen(u"t", INTERNET_OPEN_TYPE_DIRECT, String()));
    HINTERNET kept = released.Release();
    EXPECT_TRUE(InternetCloseHandle(kept));  // released: still open until closed by hand
  }
  EXPECT_FALSE(InternetCloseHandle(raw));  // closed when its owner went
}

}  // namespace
}  // namespace kwinet
