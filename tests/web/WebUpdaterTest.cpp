// The web updater's outcomes against nginx, tinyproxy, pyftpdlib, a plain
// folder and a misbehaving fake; the local copy must never be damaged.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "FakeHttp.h"
#include "kwinet/core/DateTime.h"
#include "kwinet/ui/ScriptedBackend.h"
#include "kwinet/utils/KwILogOn.h"
#include "kwinet/web/kwiupdate.h"
#include "peers/FakeServer.h"
#include "peers/FtpServer.h"
#include "peers/NginxSuite.h"
#include "peers/Tinyproxy.h"

namespace kwinet {
namespace {

using test::ClearProxyEnvironment;
using test::ReadFileBytes;
using test::SetMTime;
using test::WriteFileBytes;

constexpr time_t kRemoteTime = 1700000000;  // 2023-11-14 22:13:20 UTC

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(gen());
  return s;
}

time_t MTime(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mtim.tv_sec : 0;
}

bool Exists(const std::string& path) {
  return std::filesystem::exists(path);
}

class UpdaterHttpTest : public test::TNginxSuite {
 protected:
  static void SetUpTestSuite() {
    test::TNginxOptions options;
    options.Https = true;
    StartNginx(options);
  }

  // An updater for a file of the nginx root.
  std::unique_ptr<TKwWebUpdater> Updater(const std::string& remotePath, const std::string& local,
                                         TKwIService service = isHTTP) {
    auto u = std::make_unique<TKwWebUpdater>(nullptr);
    u->SetService(service);
    if (service == isNetwork) {
      u->SetRemoteFileName(Utf8ToString(server->Root() + remotePath));
    } else {
      u->SetHost(service == isHTTPS ? u"localhost" : u"127.0.0.1");
      u->SetPort(static_cast<std::uint16_t>(service == isHTTPS ? server->HttpsPort() : server->Port()));
      u->SetRemoteFileName(Utf8ToString(remotePath));
    }
    u->SetLocalFileName(Utf8ToString(local));
    u->SetLoginPrompt(false);
    u->SetTimeout(5000);
    return u;
  }

  test::TempDir dir;
};

// Every row of the outcome table, over HTTP and over a file path.
class UpdaterOutcomeTest : public UpdaterHttpTest, public ::testing::WithParamInterface<TKwIService> {};

TEST_P(UpdaterOutcomeTest, EachRowOfTheOutcomeTable) {
  const std::string remote = "0123456789";
  WriteFileBytes(server->Root() + "/ten.bin", remote);
  SetMTime(server->Root() + "/ten.bin", kRemoteTime);
  WriteFileBytes(server->Root() + "/zero.bin", "");
  SetMTime(server->Root() + "/zero.bin", kRemoteTime);
  struct Row {
    const char* name;
    const char* remotePath;
    const char* local;  // nullptr: no local file
    long localTimeShift;
    int compare;  // -1 no handler, else the Equal the handler sets
    TKwIStatus status;
    bool downloaded;
  } rows[] = {
      {"absent local", "/ten.bin", nullptr, 0, -1, isFinished, true},
      {"same size, later", "/ten.bin", "abcdefghij", 3600, -1, isSkipped, false},
      {"same size, same time", "/ten.bin", "abcdefghij", 0, -1, isSkipped, false},
      {"same size, earlier", "/ten.bin", "abcdefghij", -3600, -1, isFinished, true},
      {"other size, later", "/ten.bin", "abc", 3600, -1, isFinished, true},
      {"handler says equal", "/ten.bin", nullptr, 0, 1, isSkipped, false},
      {"handler says differ", "/ten.bin", "abcdefghij", 3600, 0, isFinished, true},
      {"remote size 0", "/zero.bin", "old", 0, -1, isSkipped, false},
      {"remote size 0, forced", "/zero.bin", "old", 0, 0, isFinished, true},
      {"not found", "/missing.bin", "old", 0, -1, isNotFound, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::string local = dir.File("local.bin");
    std::filesystem::remove(local);
    if (r.local) {
      WriteFileBytes(local, r.local);
      ::chmod(local.c_str(), 0750);  // a program: it must stay one
      SetMTime(local, kRemoteTime + r.localTimeShift);
    }
    const std::string before = r.local ? r.local : "";
    auto u = Updater(r.remotePath, local, GetParam());
    if (r.compare >= 0) u->OnFileCompare = [&](TObject*, bool& equal) { equal = r.compare == 1; };
    EXPECT_EQ(u->Execute(), r.status != isFailed);
    EXPECT_EQ(u->Status(), r.status) << StringToUtf8(KwIStatusName(u->Status()));
    EXPECT_EQ(u->Action(), iaDisconnected);
    EXPECT_FALSE(Exists(local + ".part"));
    if (r.downloaded) {
      EXPECT_EQ(ReadFileBytes(local), std::string(r.remotePath) == "/zero.bin" ? "" : remote);
      EXPECT_EQ(MTime(local), kRemoteTime);
      struct stat st {};
      ::stat(local.c_str(), &st);
      if (r.local) {
        EXPECT_EQ(st.st_mode & 0777, 0750u);
      }
    } else if (r.local) {
      EXPECT_EQ(ReadFileBytes(local), before);
      EXPECT_EQ(MTime(local), kRemoteTime + r.localTimeShift);
    } else {
      EXPECT_FALSE(Exists(local));
    }
    if (r.status != isNotFound) {
      EXPECT_EQ(u->RemoteFileSize(), std::string(r.remotePath) == "/zero.bin" ? 0u : 10u);
      EXPECT_EQ(u->RemoteFileCreated(), TimespecToFileTime({kRemoteTime, 0}));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(HttpAndPath, UpdaterOutcomeTest, ::testing::Values(isHTTP, isNetwork),
                         [](const auto& info) { return info.param == isHTTP ? "Http" : "Network"; });

TEST_F(UpdaterHttpTest, NoConnectionFails) {
  auto u = Updater("/ten.bin", dir.File("x"));
  u->SetHost(u"");
  EXPECT_FALSE(u->Execute());
  EXPECT_EQ(u->Status(), isFailed);
}

TEST_F(UpdaterHttpTest, CancelKeepsTheOldCopyAndResumeFinishesIt) {
  for (TKwIService service : {isHTTP, isNetwork}) {
    SCOPED_TRACE(int(service));
    const std::string remote = RandomBytes(300000, 3);
    WriteFileBytes(server->Root() + "/big.bin", remote);
    SetMTime(server->Root() + "/big.bin", kRemoteTime);
    const std::string local = dir.File("big.bin");
    const std::string old = "the previous good copy";
    WriteFileBytes(local, old);
    SetMTime(local, 1600000000);

    auto u = Updater("/big.bin", local, service);
    int calls = 0;
    u->OnProgress = [&](TObject*, std::int32_t cur, std::int32_t max, bool& abort) {
      EXPECT_EQ(max, 300000);
      abort = ++calls == 50;
      (void)cur;
    };
    EXPECT_FALSE(u->Execute());
    EXPECT_EQ(u->Status(), isFailed);
    EXPECT_EQ(ReadFileBytes(local), old);
    EXPECT_EQ(MTime(local), 1600000000);
    const std::string part = ReadFileBytes(local + ".part");
    EXPECT_EQ(part, remote.substr(0, 50 * 2050));

    // Resume: only the rest travels, and the progress counts only it.
    std::int32_t first = -1, last = 0;
    u->OnProgress = [&](TObject*, std::int32_t cur, std::int32_t, bool&) {
      if (first < 0) first = cur;
      last = cur;
    };
    u->SetResumeDownload(true);
    EXPECT_TRUE(u->Execute());
    EXPECT_EQ(u->Status(), isFinished);
    EXPECT_TRUE(ReadFileBytes(local) == remote);
    EXPECT_FALSE(Exists(local + ".part"));
    EXPECT_EQ(MTime(local), kRemoteTime);
    EXPECT_LE(first, 2050);
    EXPECT_EQ(last, 300000 - 50 * 2050);
    if (service == isHTTP) {
      EXPECT_TRUE(server->WaitForLogLine("GET /big.bin 206 bytes=102500-"));
    }
  }
}

TEST_F(UpdaterHttpTest, ResumeStartsOverForAPartialThatDoesNotFit) {
  const std::string remote = RandomBytes(50000, 5);
  WriteFileBytes(server->Root() + "/v2.bin", remote);
  SetMTime(server->Root() + "/v2.bin", kRemoteTime);
  struct Row {
    const char* name;
    std::string part;
    time_t partTime;
  } rows[] = {{"longer than the file", std::string(60000, 'L'), kRemoteTime},
              {"of an older version", std::string(20000, 'O'), kRemoteTime - 86400}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    for (TKwIService service : {isHTTP, isNetwork}) {
      const std::string local = dir.File("v2.bin");
      std::filesystem::remove(local);
      WriteFileBytes(local + ".part", r.part);
      SetMTime(local + ".part", r.partTime);
      auto u = Updater("/v2.bin", local, service);
      u->SetResumeDownload(true);
      EXPECT_TRUE(u->Execute());
      EXPECT_EQ(u->Status(), isFinished);
      EXPECT_TRUE(ReadFileBytes(local) == remote) << int(service);
    }
  }
}

// A partial copy is continued only while the server still has the version
// it holds: its time goes along as If-Range, and a file that changed after
// the search comes whole (nginx answers the ranged request with 200).
TEST_F(UpdaterHttpTest, AResumeContinuesOnlyTheSameVersion) {
  const std::string v1 = RandomBytes(60000, 8), v2 = RandomBytes(70000, 9);
  const std::string remote = server->Root() + "/ver.bin";
  const std::string local = dir.File("ver.bin");
  for (bool change : {false, true}) {
    SCOPED_TRACE(change ? "changed after the search" : "unchanged");
    WriteFileBytes(remote, v1);
    SetMTime(remote, kRemoteTime);
    std::filesystem::remove(local);
    WriteFileBytes(local + ".part", v1.substr(0, 20000));
    SetMTime(local + ".part", kRemoteTime);
    auto u = Updater("/ver.bin", local);
    u->SetResumeDownload(true);
    u->OnActionChange = [&](TObject*) {
      if (change && u->Action() == iaCompared) {
        WriteFileBytes(remote, v2);
        SetMTime(remote, kRemoteTime + 60);
      }
    };
    EXPECT_TRUE(u->Execute());
    EXPECT_EQ(u->Status(), isFinished);
    EXPECT_TRUE(ReadFileBytes(local) == (change ? v2 : v1));
    EXPECT_EQ(MTime(local), change ? kRemoteTime + 60 : kRemoteTime);
    EXPECT_TRUE(server->WaitForLogLine(change ? "GET /ver.bin 200 bytes=20000-" : "GET /ver.bin 206 bytes=20000-"));
  }
}

// A local copy of 4 GiB and 10 bytes (a sparse file) is no copy of a remote
// file of 10 bytes, though the two sizes agree in their low 32 bits.
TEST_F(UpdaterHttpTest, SizesAreComparedInSixtyFourBits) {
  WriteFileBytes(server->Root() + "/ten.bin", "0123456789");
  SetMTime(server->Root() + "/ten.bin", kRemoteTime);
  const std::string local = dir.File("ten.bin");
  {
    const int fd = ::open(local.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const bool sized = ::ftruncate(fd, (off_t{1} << 32) + 10) == 0;
    ::close(fd);
    if (!sized) GTEST_SKIP() << "no sparse file of 4 GiB here";
  }
  SetMTime(local, kRemoteTime);
  auto u = Updater("/ten.bin", local);
  EXPECT_TRUE(u->Execute());
  EXPECT_EQ(u->Status(), isFinished);
  EXPECT_EQ(ReadFileBytes(local), "0123456789");
}

TEST_F(UpdaterHttpTest, HttpsIsVerifiedAgainstTheGivenCA) {
  WriteFileBytes(server->Root() + "/secure.txt", "secret bits");
  struct Row {
    const char* name;
    bool useCA;
    bool wrongName;
    TKwIStatus status;
  } rows[] = {{"trusted", true, false, isFinished},
              {"unknown CA", false, false, isNotFound},
              {"wrong host name", true, true, isNotFound}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::string local = dir.File(std::string(r.name) + ".txt");
    auto u = Updater("/secure.txt", local, isHTTPS);
    if (r.useCA) u->SetCACertFile(Utf8ToString(server->CAFile()));
    if (r.wrongName) u->SetPort(static_cast<std::uint16_t>(server->WrongNameHttpsPort()));
    u->Execute();
    EXPECT_EQ(u->Status(), r.status);
    EXPECT_EQ(Exists(local), r.status == isFinished);
    if (r.status == isFinished) {
      EXPECT_EQ(ReadFileBytes(local), "secret bits");
    } else {
      // Not found, but the reason says that the certificate was refused.
      EXPECT_NE(StringToUtf8(u->ErrorText()).find("certificate was refused"), std::string::npos)
          << StringToUtf8(u->ErrorText());
    }
  }
}

TEST_F(UpdaterHttpTest, BasicAuthWithoutPromptSendsTheCredentialsOnce) {
  WriteFileBytes(server->Root() + "/private/a.txt", "members only");
  struct Row {
    const char* password;
    TKwIStatus status;
  } rows[] = {{"kwpass", isFinished}, {"wrong", isFailed}};
  int logged = 0;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.password);
    const int before = server->CountRequests("/private/a.txt", logged);
    const std::string local = dir.File(std::string("a-") + r.password);
    auto u = Updater("/private/a.txt", local);
    u->SetUser(u"kwuser");
    u->SetPassword(Utf8ToString(r.password));
    EXPECT_EQ(u->Execute(), r.status != isFailed);
    EXPECT_EQ(u->Status(), r.status);
    EXPECT_EQ(server->CountRequests("/private/a.txt", before + 2) - before, 2);
    logged = before + 2;
    EXPECT_EQ(Exists(local), r.status == isFinished);
    // A refused authorization found no file; forcing the download must not
    // copy the error page.
    if (r.status == isFailed) {
      WriteFileBytes(local, "old");
      u->OnFileCompare = [](TObject*, bool& equal) { equal = false; };
      EXPECT_FALSE(u->Execute());
      EXPECT_EQ(u->Status(), isFailed);
      EXPECT_EQ(ReadFileBytes(local), "old");
    }
  }
}

TEST_F(UpdaterHttpTest, ThePromptIsAskedAfterEach401UntilCancel) {
  WriteFileBytes(server->Root() + "/private/b.txt", "prompted");
  TBackendScope<TScriptedBackend> ui;
  auto answer = [](const char* user, const char* password) {
    return [=](TCustomForm& form) {
      auto& logon = dynamic_cast<TfrmKwILogon&>(form);
      EXPECT_EQ(logon.Caption(), u"HTTP Server authorization");
      logon.edLogin->SetText(Utf8ToString(user));
      logon.edPassword->SetText(Utf8ToString(password));
      return mrOk;
    };
  };
  ui->QueueModal(answer("kwuser", "bad1"));
  ui->QueueModal(answer("kwuser", "bad2"));
  // The third prompt is not queued: the backend answers Cancel.
  const int before = server->CountRequests("/private/b.txt");
  auto u = Updater("/private/b.txt", dir.File("b.txt"));
  u->SetLoginPrompt(true);
  EXPECT_FALSE(u->Execute());
  EXPECT_EQ(ui->ModalForms.size(), 3u);
  EXPECT_EQ(server->CountRequests("/private/b.txt", before + 3) - before, 3);
  EXPECT_EQ(u->Status(), isFailed);
  EXPECT_FALSE(Exists(dir.File("b.txt")));

  ui->ModalForms.clear();
  ui->QueueModal(answer("kwuser", "bad"));
  ui->QueueModal(answer("kwuser", "kwpass"));
  EXPECT_TRUE(u->Execute());
  EXPECT_EQ(ui->ModalForms.size(), 2u);
  EXPECT_EQ(u->Status(), isFinished);
  EXPECT_EQ(ReadFileBytes(dir.File("b.txt")), "prompted");
  EXPECT_EQ(u->Password(), u"kwpass");  // kept for the next job
}

TEST_F(UpdaterHttpTest, AProxyAsksForItsOwnCredentials) {
  test::TTinyproxy proxy;
  KWINET_REQUIRE_PEER(proxy.Started(), proxy.Error());
  WriteFileBytes(server->Root() + "/via.txt", "through the proxy");
  struct Row {
    const char* password;
    TKwIStatus status;
  } rows[] = {{"proxypass", isFinished}, {"nope", isFailed}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.password);
    const std::string local = dir.File(std::string("via-") + r.password);
    auto u = Updater("/via.txt", local);
    u->Proxy()->SetUseProxy(true);
    u->Proxy()->SetServer(u"127.0.0.1");
    u->Proxy()->SetPort(proxy.Port());
    u->Proxy()->SetUser(u"proxyuser");
    u->Proxy()->SetPassword(Utf8ToString(r.password));
    EXPECT_EQ(u->Execute(), r.status != isFailed);
    EXPECT_EQ(u->Status(), r.status);
    EXPECT_EQ(Exists(local), r.status == isFinished);
  }
  EXPECT_NE(proxy.Log().find("via.txt"), std::string::npos);

  // The system's proxy comes from http_proxy; no_proxy sends a host past it.
  WriteFileBytes(server->Root() + "/env.txt", "env");
  WriteFileBytes(server->Root() + "/direct.txt", "direct");
  const std::string env = "http://127.0.0.1:" + std::to_string(proxy.Port());
  ::setenv("http_proxy", env.c_str(), 1);
  for (const char* name : {"env.txt", "direct.txt"}) {
    const bool direct = std::string(name) == "direct.txt";
    if (direct) ::setenv("no_proxy", "localhost,127.0.0.1", 1);
    auto u = Updater(std::string("/") + name, dir.File(name));
    u->Proxy()->SetUser(u"proxyuser");
    u->Proxy()->SetPassword(direct ? u"wrong" : u"proxypass");
    EXPECT_TRUE(u->Execute());
    EXPECT_EQ(u->Status(), isFinished) << name;
    EXPECT_TRUE(u->Proxy()->UseProxy());
    EXPECT_EQ(proxy.Log().find(name) != std::string::npos, !direct) << name;
  }
  ClearProxyEnvironment();
}

TEST(UpdaterFaultTest, AStalledServerFailsWithinTheTimeoutAndKeepsTheCopy) {
  ClearProxyEnvironment();
  test::TempDir dir;
  const std::string local = dir.File("local.bin");
  WriteFileBytes(local, "good old copy");
  test::TFakeHttp fake("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n", std::string(100000, 'z'), 10000,
                       test::TFakeHttp::fmStallAfter);
  TKwWebUpdater u(nullptr);
  u.SetHost(u"127.0.0.1");
  u.SetPort(static_cast<std::uint16_t>(fake.Port()));
  u.SetRemoteFileName(u"/f.bin");
  u.SetLocalFileName(Utf8ToString(local));
  u.SetTimeout(500);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(u.Execute());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));  // bounded
  EXPECT_EQ(u.Status(), isFailed);
  EXPECT_EQ(ReadFileBytes(local), "good old copy");
  EXPECT_EQ(ReadFileBytes(local + ".part").size(), 10000u);
}

TEST(UpdaterFaultTest, AServerThatNeverAnswersIsAskedThreeTimes) {
  ClearProxyEnvironment();
  test::TempDir dir;
  test::TFakeHttp fake("", "", 0, test::TFakeHttp::fmCloseAfter);
  TKwWebUpdater u(nullptr);
  u.SetHost(u"127.0.0.1");
  u.SetPort(static_cast<std::uint16_t>(fake.Port()));
  u.SetRemoteFileName(u"/f.bin");
  u.SetLocalFileName(Utf8ToString(dir.File("l")));
  EXPECT_FALSE(u.Execute());
  EXPECT_EQ(u.Status(), isFailed);
  EXPECT_FALSE(u.ErrorText().empty());
  EXPECT_EQ(fake.Connections(), 3);
}

TEST(UpdaterFtpTest, FindsDownloadsResumesAndMissesFiles) {
  test::TFtpServer ftp;
  KWINET_REQUIRE_PEER(ftp.Started(), ftp.Error());
  test::TempDir dir;
  const std::string remote = RandomBytes(120000, 4);
  std::filesystem::create_directories(ftp.Root() + "/pub");
  WriteFileBytes(ftp.Root() + "/pub/app.bin", remote);
  SetMTime(ftp.Root() + "/pub/app.bin", kRemoteTime);
  const std::string local = dir.File("app.bin");
  auto make = [&](const char* name) {
    auto u = std::make_unique<TKwWebUpdater>(nullptr);
    u->SetService(isFTP);
    u->SetHost(u"127.0.0.1");
    u->SetPort(static_cast<std::uint16_t>(ftp.Port()));
    u->SetUser(u"ftpuser");
    u->SetPassword(u"ftppass");
    u->SetRemoteFileName(Utf8ToString(name));
    u->SetLocalFileName(Utf8ToString(local));
    u->SetTimeout(10000);
    return u;
  };
  auto u = make("/pub/app.bin");
  EXPECT_TRUE(u->Execute());
  EXPECT_EQ(u->Status(), isFinished);
  EXPECT_EQ(u->RemoteFileSize(), 120000u);
  EXPECT_EQ(u->RemoteFileCreated(), TimespecToFileTime({kRemoteTime, 0}));
  EXPECT_TRUE(ReadFileBytes(local) == remote);
  EXPECT_EQ(MTime(local), kRemoteTime);
  EXPECT_TRUE(u->Execute());
  EXPECT_EQ(u->Status(), isSkipped);

  // A partial copy is continued with REST, not appended to whole.
  std::filesystem::remove(local);
  WriteFileBytes(local + ".part", remote.substr(0, 70000));
  SetMTime(local + ".part", kRemoteTime);  // as a cancelled job leaves it
  u->SetResumeDownload(true);
  std::int32_t last = 0;
  u->OnProgress = [&](TObject*, std::int32_t cur, std::int32_t, bool&) { last = cur; };
  EXPECT_TRUE(u->Execute());
  EXPECT_EQ(u->Status(), isFinished);
  EXPECT_TRUE(ReadFileBytes(local) == remote);
  EXPECT_EQ(last, 50000);
  EXPECT_NE(ftp.Log().find("REST 70000"), std::string::npos);

  // A partial of another version, as MDTM tells, starts over.
  const std::string changed = RandomBytes(90000, 7);
  WriteFileBytes(ftp.Root() + "/pub/app.bin", changed);
  SetMTime(ftp.Root() + "/pub/app.bin", kRemoteTime + 3600);
  std::filesystem::remove(local);
  WriteFileBytes(local + ".part", remote.substr(0, 70000));
  SetMTime(local + ".part", kRemoteTime);
  const std::size_t logged = ftp.Log().size();
  EXPECT_TRUE(u->Execute());
  EXPECT_EQ(u->Status(), isFinished);
  EXPECT_TRUE(ReadFileBytes(local) == changed);
  EXPECT_EQ(MTime(local), kRemoteTime + 3600);
  EXPECT_NE(ftp.Log().find("MDTM", logged), std::string::npos);
  EXPECT_EQ(ftp.Log().find("REST 70000", logged), std::string::npos);

  auto missing = make("/pub/none.bin");
  EXPECT_TRUE(missing->Execute());
  EXPECT_EQ(missing->Status(), isNotFound);

  auto refused = make("/pub/app.bin");
  refused->SetPassword(u"wrong");
  EXPECT_FALSE(refused->Execute());
  EXPECT_EQ(refused->Status(), isFailed);
}

}  // namespace
}  // namespace kwinet

namespace kwinet {
namespace {

// The rule and the 32-bit progress values, around the 32-bit boundaries.
TEST(UpdaterSizeTest, TheRuleAndTheProgressHoldPastFourGiB) {
  constexpr std::uint64_t k4G = std::uint64_t{1} << 32;
  const struct {
    bool exists;
    std::uint64_t local, remote;
    std::int64_t localTime, remoteTime;
    bool timeKnown, needed;
  } rules[] = {
      {true, k4G + 10, 10, 5, 5, true, true},       {true, 10, k4G + 10, 5, 5, true, true},
      {true, k4G + 10, k4G + 10, 5, 5, true, false}, {true, k4G + 10, k4G + 10, 4, 5, true, true},
      {false, 0, 10, 0, 5, true, true},             {true, 10, 0, 5, 5, true, false},
      {true, 10, 0, 5, 0, false, true},
  };
  for (const auto& r : rules)
    EXPECT_EQ(KwIDownloadNeeded(r.exists, r.local, r.localTime, r.remote, r.remoteTime, r.timeKnown), r.needed)
        << r.local << " " << r.remote;

  const struct {
    std::uint64_t cur, max;
    std::int32_t scaledCur, scaledMax;
  } progress[] = {
      {2050, 300000, 2050, 300000},
      {0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF},
      {1000, 0x80000000u, 500, 0x40000000},
      {k4G + 10, k4G + 10, 0x40000002, 0x40000002},
      {k4G / 2, k4G, 0x20000000, 0x40000000},
      {10, 0, 10, 0},
  };
  for (const auto& p : progress) {
    std::int32_t cur = -1, max = -1;
    KwIScaleProgress(p.cur, p.max, cur, max);
    EXPECT_EQ(cur, p.scaledCur) << p.cur << " of " << p.max;
    EXPECT_EQ(max, p.scaledMax) << p.cur << " of " << p.max;
  }
}

// What a resume sends: the version it continues as If-Range, beside the
// range; with no Last-Modified there is no version to name, and the file is
// fetched whole instead.
TEST(UpdaterFaultTest, AResumeNamesTheVersionItContinues) {
  ClearProxyEnvironment();
  const std::string body = RandomBytes(30000, 6);
  for (bool lastModified : {true, false}) {
    SCOPED_TRACE(lastModified ? "with Last-Modified" : "without");
    test::FakeServer server([&](test::FakeConnection& c) {
      if (!c.ReadUntil("\r\n\r\n")) return;
      std::size_t from = 0;
      if (const auto at = c.Data().find("Range: bytes="); at != std::string::npos)
        from = std::stoul(c.Data().substr(at + 13));
      std::string head = from == 0 ? "HTTP/1.1 200 OK\r\n"
                                   : "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(from) +
                                         "-" + std::to_string(body.size() - 1) + "/" + std::to_string(body.size()) +
                                         "\r\n";
      head += "Content-Length: " + std::to_string(body.size() - from) + "\r\nConnection: close\r\n";
      if (lastModified) head += "Last-Modified: Tue, 14 Nov 2023 22:13:20 GMT\r\n";
      c.Send(head + "\r\n" + body.substr(from));
    });
    test::TempDir dir;
    const std::string local = dir.File("f.bin");
    WriteFileBytes(local + ".part", body.substr(0, 10000));
    SetMTime(local + ".part", kRemoteTime);
    TKwWebUpdater u(nullptr);
    u.SetHost(u"127.0.0.1");
    u.SetPort(static_cast<std::uint16_t>(server.Port()));
    u.SetRemoteFileName(u"/f.bin");
    u.SetLocalFileName(Utf8ToString(local));
    u.SetResumeDownload(true);
    EXPECT_TRUE(u.Execute());
    EXPECT_EQ(u.Status(), isFinished);
    EXPECT_TRUE(ReadFileBytes(local) == body);
    if (lastModified) {
      ASSERT_TRUE(server.WaitForConnections(2));
      EXPECT_NE(server.Received(1).find("Range: bytes=10000-\r\n"), std::string::npos) << server.Received(1);
      EXPECT_NE(server.Received(1).find("If-Range: Tue, 14 Nov 2023 22:13:20 GMT\r\n"), std::string::npos);
    } else {
      ASSERT_TRUE(server.WaitForConnections(1));
      for (std::size_t i = 0; i < server.ConnectionCount(); ++i)
        EXPECT_EQ(server.Received(i).find("Range:"), std::string::npos) << server.Received(i);
    }
  }
}

TEST(UpdaterFaultTest, ContentLengthGivesTheRemoteSize) {
  ClearProxyEnvironment();
  struct Row {
    const char* header;
    std::uint64_t size;
    TKwIStatus status;
  } rows[] = {{"", 0, isFinished},
              {"Content-Length: 12\r\n", 12, isFinished},
              // Sizes are kept in 64 bits; the body, shorter than announced, is no file.
              {"Content-Length: 4294967308\r\n", 4294967308u, isFailed}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.header);
    test::TempDir dir;
    test::TFakeHttp fake(std::string("HTTP/1.0 200 OK\r\n") + r.header + "\r\n", "twelve bytes", 12,
                         test::TFakeHttp::fmCloseAfter);
    TKwWebUpdater u(nullptr);
    u.SetHost(u"127.0.0.1");
    u.SetPort(static_cast<std::uint16_t>(fake.Port()));
    u.SetRemoteFileName(u"/f");
    u.SetLocalFileName(Utf8ToString(dir.File("f")));
    u.Execute();
    EXPECT_EQ(u.RemoteFileSize(), r.size);
    EXPECT_EQ(u.Status(), r.status);
  }
}

// Hostile and odd answers: a failure is never reported as success, a
// missing local copy is always fetched, and only a whole successful answer
// ever replaces the local copy.
TEST(UpdaterFaultTest, OddAnswersEndInTheRightStatusAndKeepTheCopy) {
  ClearProxyEnvironment();
  using test::FakeConnection;
  using test::FakeServer;
  const std::string ok = "HTTP/1.0 200 OK\r\n";
  const std::string lastModified = "Last-Modified: Tue, 14 Nov 2023 22:13:20 GMT\r\n";  // kRemoteTime
  auto reply = [](std::string answer) { return FakeServer::ReplyAndClose(std::move(answer), "\r\n\r\n"); };
  constexpr const char* kOld = "good old copy";
  struct Row {
    const char* name;
    FakeServer::ConnectionHandler handler;
    bool local;  // a local copy (kOld, an hour newer than kRemoteTime) is there
    TKwIStatus status;
    const char* after;  // the local file afterwards; nullptr: none
  } rows[] = {
      {"401 without credentials",
       reply("HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"x\"\r\nContent-Length: 6\r\n\r\ndenied"),
       false, isFailed, nullptr},
      {"redirect to itself", reply("HTTP/1.0 302 Found\r\nLocation: /f\r\nContent-Length: 0\r\n\r\n"), true, isFailed,
       kOld},
      {"head that never ends",
       [](FakeConnection& c) {
         c.ReadUntil("\r\n\r\n");
         c.Send("HTTP/1.0 200 OK\r\nContent-Length: 4\r\n");
         c.Sleep(5000);
       },
       true, isFailed, kOld},
      {"endless 100 Continue",
       [](FakeConnection& c) {
         c.ReadUntil("\r\n\r\n");
         while (!c.Stopping() && c.Send("HTTP/1.1 100 Continue\r\n\r\n")) {
         }
       },
       false, isFailed, nullptr},
      {"no Content-Length, no local copy", reply(ok + "\r\nthe body"), false, isFinished, "the body"},
      {"no Content-Length, no time", reply(ok + "\r\nthe body"), true, isFinished, "the body"},
      {"no Content-Length, older remote time", reply(ok + lastModified + "\r\nthe body"), true, isSkipped, kOld},
      {"Content-Length 0", reply(ok + "Content-Length: 0\r\n\r\n"), false, isFinished, ""},
      {"negative Content-Length", reply(ok + "Content-Length: -5\r\n\r\nabc"), true, isFailed, kOld},
      {"Content-Length not a number", reply(ok + "Content-Length: 12abc\r\n\r\nabc"), true, isFailed, kOld},
      {"Content-Length 2^32", reply(ok + "Content-Length: 4294967296\r\n\r\nabc"), false, isFailed, nullptr},
      {"500", reply("HTTP/1.0 500 Internal Server Error\r\nContent-Length: 5\r\n\r\noops!"), true, isFailed, kOld},
      {"403", reply("HTTP/1.0 403 Forbidden\r\nContent-Length: 5\r\n\r\nno..."), true, isFailed, kOld},
      {"404", reply("HTTP/1.0 404 Not Found\r\nContent-Length: 5\r\n\r\nnone!"), true, isNotFound, kOld},
      {"410", reply("HTTP/1.0 410 Gone\r\nContent-Length: 5\r\n\r\ngone!"), false, isNotFound, nullptr},
      {"reset mid-head", FakeServer::CloseMidAnswer("HTTP/1.0 200 OK\r\nContent-Le", "\r\n\r\n"), true, isFailed, kOld},
      {"reset mid-body", FakeServer::CloseMidAnswer(ok + "Content-Length: 100\r\n\r\nhalf", "\r\n\r\n"), false,
       isFailed, nullptr},
      {"garbage", FakeServer::Garbage(4000, "\r\n\r\n"), true, isFailed, kOld},
      {"stall", FakeServer::Stall(5000), true, isFailed, kOld},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    test::TempDir dir;
    const std::string local = dir.File("local.bin");
    if (r.local) {
      WriteFileBytes(local, kOld);
      SetMTime(local, kRemoteTime + 3600);
    }
    FakeServer server(r.handler);
    TKwWebUpdater u(nullptr);
    u.SetHost(u"127.0.0.1");
    u.SetPort(static_cast<std::uint16_t>(server.Port()));
    u.SetRemoteFileName(u"/f");
    u.SetLocalFileName(Utf8ToString(local));
    u.SetLoginPrompt(false);
    u.SetTimeout(300);
    u.SetMaxTime(5000);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(u.Execute(), r.status != isFailed);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    EXPECT_EQ(u.Status(), r.status) << StringToUtf8(KwIStatusName(u.Status()));
    // A failure or a missing file always says why.
    EXPECT_EQ(u.ErrorText().empty(), r.status != isFailed && r.status != isNotFound) << StringToUtf8(u.ErrorText());
    if (r.after) {
      EXPECT_EQ(ReadFileBytes(local), r.after);
    } else {
      EXPECT_FALSE(Exists(local));
    }
  }
}

TEST(UpdaterFaultTest, AServerThatCannotBeReachedIsNotFoundWithItsReason) {
  ClearProxyEnvironment();
  test::TempDir dir;
  TKwWebUpdater u(nullptr);
  u.SetHost(u"127.0.0.1");
  u.SetPort(static_cast<std::uint16_t>(test::FreePort()));
  u.SetRemoteFileName(u"/f");
  u.SetLocalFileName(Utf8ToString(dir.File("l")));
  EXPECT_TRUE(u.Execute());
  EXPECT_EQ(u.Status(), isNotFound);
  EXPECT_NE(StringToUtf8(u.ErrorText()).find("onnect"), std::string::npos) << StringToUtf8(u.ErrorText());
}

// The overall bound ends a download that keeps flowing, which the idle
// bound never would.
TEST(UpdaterFaultTest, MaxTimeEndsADownloadThatNeverEnds) {
  ClearProxyEnvironment();
  test::TempDir dir;
  test::FakeServer server([](test::FakeConnection& c) {
    c.ReadUntil("\r\n\r\n");
    c.Send("HTTP/1.0 200 OK\r\nContent-Length: 1000000000\r\n\r\n");
    const std::string piece(1000, 'x');
    while (c.Send(piece) && c.Sleep(10)) {
    }
  });
  TKwWebUpdater u(nullptr);
  u.SetHost(u"127.0.0.1");
  u.SetPort(static_cast<std::uint16_t>(server.Port()));
  u.SetRemoteFileName(u"/f");
  u.SetLocalFileName(Utf8ToString(dir.File("l")));
  u.SetTimeout(2000);
  u.SetMaxTime(800);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(u.Execute());
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(700));
  EXPECT_LT(took, std::chrono::seconds(4));
  EXPECT_EQ(u.Status(), isFailed);
  EXPECT_FALSE(Exists(dir.File("l")));
}

// The size bound and the slow-line bound end a job with their reason, and
// so does silence; the old copy stays as it was and the server is asked
// once. Past the size bound nothing is kept to resume.
TEST(UpdaterFaultTest, BoundsEndTheJobOnceWithTheirReason) {
  ClearProxyEnvironment();
  using test::FakeServer;
  const std::string head = "HTTP/1.0 200 OK\r\n\r\n";
  struct Row {
    const char* what;
    FakeServer::ConnectionHandler handler;
    std::int64_t maxSize;
    std::uint32_t lowSpeedTime;
    const char* says;
  } rows[] = {
      {"endless", FakeServer::Endless(std::uint64_t(1) << 32, head, "\r\n\r\n"), 1 << 20, 60000,
       "larger than 1048576 bytes"},
      {"drip", FakeServer::Drip(head, 200), 0, 1000, "slow"},
      {"silent", FakeServer::Stall(20000), 0, 60000, "Timeout"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    test::TempDir dir;
    const std::string local = dir.File("l");
    WriteFileBytes(local, "old");
    FakeServer server(r.handler);
    TKwWebUpdater u(nullptr);
    u.SetHost(u"127.0.0.1");
    u.SetPort(static_cast<std::uint16_t>(server.Port()));
    u.SetRemoteFileName(u"/f");
    u.SetLocalFileName(Utf8ToString(local));
    u.SetTimeout(1000);
    u.SetMaxResponseSize(r.maxSize);
    u.SetLowSpeedTime(r.lowSpeedTime);
    EXPECT_FALSE(u.Execute());
    EXPECT_EQ(u.Status(), isFailed);
    EXPECT_NE(StringToUtf8(u.ErrorText()).find(r.says), std::string::npos) << StringToUtf8(u.ErrorText());
    EXPECT_EQ(ReadFileBytes(local), "old");
    if (r.maxSize > 0) {
      EXPECT_FALSE(Exists(local + ".part"));
    }
    EXPECT_EQ(server.ConnectionCount(), 1u);
  }
}

}  // namespace
}  // namespace kwinet
