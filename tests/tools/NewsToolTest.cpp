// kwinet news against nginx and a local file, with a stand-in xdg-open that
// records what it is asked to open and then stays, as a browser would.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>

#include "peers/NginxSuite.h"
#include "peers/ServerProcess.h"
#include "peers/TestSupport.h"
#include "tools/ToolRun.h"

namespace {

using kwinet::test::ProcessResult;
using kwinet::test::ReadFileBytes;
using kwinet::test::Tool;
using kwinet::test::WriteFileBytes;

class NewsTool : public kwinet::test::TNginxSuite {
 protected:
  void SetUp() override {
    TNginxSuite::SetUp();
    if (NoServer()) return;
    // The stand-in opener: it notes its argument and stays for 10 s. It lets
    // go of the tool's output at once, so that the test sees the tool end
    // rather than the opener.
    ::mkdir(dir.File("bin").c_str(), 0755);
    WriteFileBytes(dir.File("bin/xdg-open"),
                   "#!/bin/sh\nexec >/dev/null 2>&1\necho \"$1\" >> " + dir.File("opened.txt") + "\nsleep 10\n");
    ::chmod(dir.File("bin/xdg-open").c_str(), 0755);
  }
  kwinet::test::TempDir dir;
  kwinet::test::TEnvScope data{"XDG_DATA_HOME", dir.File("data")};
  kwinet::test::TEnvScope path{"PATH",
                               dir.File("bin") + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin")};
};

TEST_F(NewsTool, PrintsTheTreeAndMarksWhatIsNew) {
  const std::string remote = server->Root() + "/news.sin";
  WriteFileBytes(remote, "[News]\nhttp://x/1=One\n[Empty]\n[Tips]\nmailto:a@b=Mail us\n");
  auto first = Tool({"news", server->Url("/news.sin")});
  EXPECT_EQ(first.ExitCode, 0) << first.Err;
  EXPECT_EQ(first.Out, "News\n  * 1. One  http://x/1\nEmpty\nTips\n  * 2. Mail us  mailto:a@b\n");
  EXPECT_EQ(ReadFileBytes(dir.File("data/kwinet/kwinet.sin")), ReadFileBytes(remote));

  auto same = Tool({"news", server->Url("/news.sin")});
  EXPECT_EQ(same.Out, "News\n    1. One  http://x/1\nEmpty\nTips\n    2. Mail us  mailto:a@b\n");

  WriteFileBytes(remote, "[News]\nhttp://x/1=One\nhttp://x/2=Two\n[Empty]\n[Tips]\nmailto:a@b=Mail us\n");
  auto changed = Tool({"news", server->Url("/news.sin")});
  EXPECT_EQ(changed.ExitCode, 0) << changed.Err;
  EXPECT_EQ(changed.Out,
            "News\n    1. One  http://x/1\n  * 2. Two  http://x/2\nEmpty\nTips\n    3. Mail us  mailto:a@b\n");
  EXPECT_TRUE(changed.Err.empty()) << changed.Err;

  auto missing = Tool({"news", server->Url("/none.sin")});
  EXPECT_EQ(missing.ExitCode, 3);
  EXPECT_TRUE(missing.Out.empty());
  auto scheme = Tool({"news", "gopher://127.0.0.1/news.sin"});
  EXPECT_EQ(scheme.ExitCode, 2);
  EXPECT_NE(scheme.Err.find("gopher"), std::string::npos);
}

TEST_F(NewsTool, OpensOnlyWebAndMailLinksAndDoesNotWaitForTheOpener) {
  const std::string news = dir.File("local.sin");
  WriteFileBytes(news, "[Links]\nhttps://x/page=Page\nfile:///etc/passwd=Passwords\n/usr/bin/xterm=Terminal\n");
  const auto start = std::chrono::steady_clock::now();
  auto open = Tool({"news", news, "--open", "1"});
  EXPECT_EQ(open.ExitCode, 0) << open.Err;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << "waited for the opener";
  EXPECT_EQ(ReadFileBytes(dir.File("opened.txt")), "https://x/page\n");

  struct Case {
    std::string item;
    int code;
    std::string err;
  } cases[] = {
      {"2", 1, "kwinet: Only http, https, ftp and mailto links are opened, not file:///etc/passwd\n"},
      {"3", 1, "kwinet: Only http, https, ftp and mailto links are opened, not /usr/bin/xterm\n"},
      {"4", 2, "kwinet: --open 4: the news file has 3 item(s)\n"},
  };
  for (const Case& c : cases) {
    auto r = Tool({"news", news, "--open", c.item});
    EXPECT_EQ(r.ExitCode, c.code) << c.item;
    EXPECT_EQ(r.Err, c.err) << c.item;
  }
  EXPECT_EQ(ReadFileBytes(dir.File("opened.txt")), "https://x/page\n") << "a refused link reached the opener";
}

}  // namespace
