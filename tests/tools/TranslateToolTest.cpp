// kwinet translate, languages and speak against nginx over HTTPS serving
// canned answers as static files (the services' paths are the file names).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "peers/NginxSuite.h"
#include "peers/ServerProcess.h"
#include "peers/TestSupport.h"
#include "tools/ToolRun.h"

namespace {

using kwinet::test::ProcessResult;
using kwinet::test::ReadFileBytes;
using kwinet::test::Tool;
using kwinet::test::WriteFileBytes;

std::string Audio() {
  std::string audio;
  for (int i = 0; i < 40000; ++i) audio.push_back(static_cast<char>((i * 13) % 256));
  return audio;
}

class TranslateTool : public kwinet::test::TNginxSuite {
 protected:
  static void SetUpTestSuite() {
    kwinet::test::TNginxOptions options;
    options.Https = true;
    StartNginx(options);
    if (!server->Started()) return;
    const std::string root = server->Root();
    std::filesystem::create_directories(root + "/translate_a");
    std::filesystem::create_directories(root + "/v2/Http.svc");
    WriteFileBytes(root + "/translate_a/single", R"([[["Hallo Welt. ","x"],["Wie geht's?","y"]],null,"en"])");
    WriteFileBytes(root + "/v2/Http.svc/Translate",
                   "<string>Gr\xC3\xBC\xC3\x9F"
                   "e</string>");
    WriteFileBytes(root + "/v2/Http.svc/GetLanguagesForTranslate",
                   "<ArrayOfstring><string>de</string><string>en</string></ArrayOfstring>");
    WriteFileBytes(root + "/v2/Http.svc/GetLanguagesForSpeak", "<ArrayOfstring><string>en</string></ArrayOfstring>");
    WriteFileBytes(root + "/v2/Http.svc/Speak", Audio());
  }
  std::string Host() const { return server->Url("", true); }
  kwinet::test::TempDir dir;
};

TEST_F(TranslateTool, PrintsWhatTheServiceAnswers) {
  const std::string ca = server->CAFile();
  struct Case {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{"translate", "--host", Host(), "--ca", ca, "--to", "de", "Hello world. How are you?"},
       "Hallo Welt. Wie geht's?\n"},
      {{"translate", "--service", "microsoft", "--host", Host() + "/", "--ca", ca, "--from", "en", "--to", "de",
        "Greetings"},
       "Grüße\n"},
      {{"languages", "--service", "microsoft", "--host", Host(), "--ca", ca}, "de\nen\n"},
      {{"languages", "--service", "microsoft", "--speak", "--host", Host(), "--ca", ca}, "en\n"},
  };
  for (const Case& c : cases) {
    auto r = Tool(c.args);
    EXPECT_EQ(r.Out, c.out) << c.args[0] << " " << r.Err;
    EXPECT_EQ(r.ExitCode, 0) << c.args[0];
  }
  auto google = Tool({"languages"});
  EXPECT_EQ(google.ExitCode, 0);
  EXPECT_EQ(google.Out.substr(0, 13), "af\tAfrikaans\n");
  EXPECT_NE(google.Out.find("\nyi\tYiddish\n"), std::string::npos);
}

TEST_F(TranslateTool, SpeakWritesTheAudioWhole) {
  const std::string file = dir.File("hello.wav");
  auto r = Tool({"speak", "--host", Host(), "--ca", server->CAFile(), "--to", "en", "-o", file, "Hello"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(ReadFileBytes(file), Audio());
  // A failure keeps the old file and leaves no partial one.
  auto bad = Tool({"speak", "--host", Host(), "--to", "en", "-o", file, "Hello"});
  EXPECT_EQ(bad.ExitCode, 1);
  EXPECT_EQ(ReadFileBytes(file), Audio());
  EXPECT_FALSE(std::filesystem::exists(file + ".part"));
}

TEST_F(TranslateTool, FailuresExitWithOneLine) {
  struct Case {
    std::vector<std::string> args;
    int code;
  } cases[] = {
      // No test CA: the certificate is not trusted.
      {{"translate", "--host", Host(), "--to", "de", "Hello"}, 1},
      // A path in --host is refused before any request (an error status is
      // no translation: see ServerTextToolTest).
      {{"translate", "--host", Host() + "/nothing", "--ca", server->CAFile(), "--to", "de", "Hello"}, 2},
      {{"translate", "--service", "bing", "--to", "de", "Hello"}, 2},
      {{"translate", "--host", "localhost:1", "--to", "de", "Hello"}, 2},
      {{"translate", "--timeout", "-1", "--to", "de", "Hello"}, 2},
      {{"translate", "Hello"}, 2},
      {{"languages", "--speak"}, 2},
      {{"speak", "--to", "en", "-o", dir.Path(), "Hello"}, 2},
  };
  for (const Case& c : cases) {
    auto r = Tool(c.args);
    EXPECT_EQ(r.ExitCode, c.code) << c.args[1] << " " << r.Err;
    EXPECT_EQ(r.Out, "") << c.args[1];
    ASSERT_FALSE(r.Err.empty()) << c.args[1];
    EXPECT_EQ(r.Err.find('\n'), r.Err.size() - 1) << r.Err;
  }
}

// --host of every command that talks to a web service is the scheme, host
// and port, checked one way: a path, query, fragment or user name, another
// scheme, no host or a bad port are usage errors, refused before any request.
TEST(HostOption, TakesSchemeHostAndPortOnlyForEveryServiceCommand) {
  const std::vector<std::vector<std::string>> commands = {
      {"track", "ups", "1Z0"},
      {"translate", "--to", "de", "Hello"},
      {"translate", "--service", "microsoft", "--to", "de", "Hello"},
      {"languages", "--service", "microsoft"},
      {"languages"},
      {"speak", "--to", "en", "-o", "/nonexistent-dir/x.wav", "Hello"},
  };
  const char* const hosts[] = {"https://localhost:8443/v2/Http.svc",
                               "https://localhost/?appId=x",
                               "https://localhost#top",
                               "https://user@localhost",
                               "http:///",
                               "https://",
                               "localhost:8443",
                               "ftp://localhost",
                               "https://localhost:99999",
                               "https://localhost:8a",
                               "https://[::1"};
  for (const auto& command : commands)
    for (const char* host : hosts) {
      std::vector<std::string> args = command;
      args.insert(args.begin() + 1, {"--host", host});
      auto r = Tool(args);
      EXPECT_EQ(r.ExitCode, 2) << command[0] << " " << host << ": " << r.Err;
      EXPECT_EQ(r.Out, "") << command[0] << " " << host;
      EXPECT_NE(r.Err.find("--host"), std::string::npos) << command[0] << " " << host << ": " << r.Err;
    }
}

}  // namespace
