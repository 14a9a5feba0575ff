// Content type by extension, the system proxy from the environment, and the
// self-deleting script.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "kwinet/core/Exceptions.h"
#include "kwinet/utils/kwiutil.h"
#include "peers/TestSupport.h"

extern char** environ;

using namespace kwinet;
using kwinet::test::TempDir;

namespace {

// Sets (or, with nullptr, removes) environment variables for a scope.
class EnvScope {
 public:
  void Set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    FSaved.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
    if (value)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
  }
  ~EnvScope() {
    for (auto it = FSaved.rbegin(); it != FSaved.rend(); ++it) {
      if (it->second)
        ::setenv(it->first.c_str(), it->second->c_str(), 1);
      else
        ::unsetenv(it->first.c_str());
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> FSaved;
};

}  // namespace

TEST(ContentTypeByFile, LooksUpTheExtensionInTheTypesFiles) {
  TempDir dir;
  kwinet::test::WriteFileBytes(dir.File("user.types"), "# mine\ntext/x-mine\tmine TXT\n");
  kwinet::test::WriteFileBytes(dir.File("system.types"),
                               "# comment\ntext/plain txt text\nimage/png\tpng\napplication/x-empty\n");
  const std::vector<String> files = {Utf8ToString(dir.File("user.types")), Utf8ToString(dir.File("system.types")),
                                     u"/nonexistent/mime.types"};
  struct Case {
    const char16_t* name;
    const char16_t* type;
  } cases[] = {
      {u"a.png", u"image/png"},
      {u"/some/dir.d/A.PNG", u"image/png"},
      {u"notes.txt", u"text/x-mine"},  // the earlier file wins
      {u"notes.text", u"text/plain"},
      {u"x.mine", u"text/x-mine"},
      {u"noextension", u"application/octet-stream"},
      {u"dir.d/noextension", u"application/octet-stream"},
      {u"", u"application/octet-stream"},
      {u"file.", u"application/octet-stream"},
      {u"file.unknownext", u"application/octet-stream"},
  };
  for (const auto& tc : cases) EXPECT_EQ(ContentTypeByFile(tc.name, files), tc.type) << StringToUtf8(tc.name);
}

TEST(ContentTypeByFile, SystemTableKnowsCommonTypes) {
  if (::access("/etc/mime.types", R_OK) != 0) {
    if (kwinet::test::InCI()) FAIL() << "/etc/mime.types is missing (install media-types)";
    GTEST_SKIP() << "/etc/mime.types is missing (install media-types)";
  }
  EXPECT_EQ(ContentTypeByFile(u"index.html"), u"text/html");
  EXPECT_EQ(ContentTypeByFile(u"photo.jpg"), u"image/jpeg");
}

TEST(ReadProxyInfo, ParsesTheEnvironmentProxy) {
  struct Case {
    const char* env;  // http_proxy; nullptr = unset
    bool useIn;
    const char16_t* serverIn;
    bool use;
    const char16_t* server;
    int port;
  } cases[] = {
      {"proxy:8080", false, u"", true, u"proxy", 8080},
      {"http://user:pa:ss@proxy.example:3128/", false, u"", true, u"proxy.example", 3128},
      {"http=web:3128;ftp=f:21", false, u"", true, u"web", 3128},
      {"proxy", false, u"", true, u"proxy", 7},               // no port: the caller's stays
      {"proxy:abc", false, u"", true, u"proxy", 0},           // not a number
      {"http://[::1]:3128", false, u"", true, u"::1", 3128},  // brackets keep the colons
      {nullptr, false, u"given:99", false, u"given:99", 7},   // no proxy in use: as given
      {nullptr, true, u"given:99", true, u"given", 99},
  };
  for (const auto& tc : cases) {
    EnvScope env;
    env.Set("http_proxy", tc.env);
    env.Set("HTTP_PROXY", nullptr);
    String server = tc.serverIn;
    bool use = tc.useIn;
    int port = 7;
    ReadProxyInfo(server, use, port);
    EXPECT_EQ(server, tc.server) << (tc.env ? tc.env : "(unset)");
    EXPECT_EQ(use, tc.use) << (tc.env ? tc.env : "(unset)");
    EXPECT_EQ(port, tc.port) << (tc.env ? tc.env : "(unset)");
  }
  EnvScope env;
  env.Set("http_proxy", nullptr);
  env.Set("HTTP_PROXY", "upper:1");
  String server;
  bool use = false;
  int port = 0;
  ReadProxyInfo(server, use, port);
  EXPECT_EQ(server, u"upper");
  EXPECT_EQ(port, 1);
}

TEST(ProxyBypassed, FollowsNoProxy) {
  struct Case {
    const char* list;
    const char16_t* host;
    bool bypass;
  } cases[] = {
      {"", u"a.example", false},
      {"*", u"anything", true},
      {"example.com", u"example.com", true},
      {"example.com", u"www.EXAMPLE.com", true},
      {".example.com", u"www.example.com", true},
      {"example.com", u"badexample.com", false},
      {"localhost, 127.0.0.1", u"127.0.0.1", true},
      {"example.com:8080", u"example.com", true},
      {"::1", u"::1", true},
      {"[::1]", u"::1", true},
      {"other.org", u"example.com", false},
  };
  for (const auto& tc : cases) {
    EnvScope env;
    env.Set("no_proxy", tc.list);
    env.Set("NO_PROXY", nullptr);
    EXPECT_EQ(ProxyBypassed(tc.host), tc.bypass) << tc.list << " / " << StringToUtf8(tc.host);
  }
}

TEST(DeleteExe, ScriptWaitsForTheProcessThenDeletesTheFileAndItself) {
  TempDir dir;
  const std::string exe = dir.File("my app's.bin");  // a blank and a quote in the name
  const std::string script = dir.File("my app's.sh");
  kwinet::test::WriteFileBytes(exe, "binary");

  // A stand-in for the program: a child that sleeps until told to end.
  pid_t child = 0;
  char* argv[] = {const_cast<char*>("sleep"), const_cast<char*>("30"), nullptr};
  ASSERT_EQ(posix_spawn(&child, "/bin/sleep", nullptr, nullptr, argv, environ), 0);

  DeleteFileAfterProcess(Utf8ToString(exe), Utf8ToString(script), child);
  const std::string text = kwinet::test::ReadFileBytes(script);
  EXPECT_NE(text.find("'" + dir.Path() + "/my app'\\''s.bin'"), std::string::npos) << text;
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  EXPECT_EQ(::access(exe.c_str(), F_OK), 0) << "deleted while the process still ran";

  ::kill(child, SIGTERM);
  int status;
  ::waitpid(child, &status, 0);
  bool gone = false;
  for (int i = 0; i < 100 && !gone; ++i) {
    gone = ::access(exe.c_str(), F_OK) != 0 && ::access(script.c_str(), F_OK) != 0;
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(gone);
}

TEST(DeleteExe, UnwritableScriptRaisesTheFileError) {
  EXPECT_THROW(DeleteFileAfterProcess(u"/nonexistent/a", u"/nonexistent/dir/a.sh", 1), EFCreateError);
}
