// kwinet translate, languages and speak with today's interfaces (Microsoft
// Translator version 3 and its speech service, Google Cloud Translation v2)
// against the services' emulator behind nginx over HTTPS.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>

#include "peers/NginxSuite.h"
#include "peers/TestSupport.h"
#include "support/TranslatorService.h"
#include "tools/ToolRun.h"

namespace {

using kwinet::test::ReadFileBytes;
using kwinet::test::TEnvScope;
using kwinet::test::Tool;
using kwinet::test::WriteFileBytes;

const std::string kAwkward = "Tom & Jerry <b>\"quoted\" 'single'</b> ]]> C:\\path \xC3\x84rger \xC3\x9F \xE6\x97\xA5";
// As the tool prints it: a backslash doubled.
const std::string kAwkwardPrinted = "Tom & Jerry <b>\"quoted\" 'single'</b> ]]> C:\\\\path \xC3\x84rger \xC3\x9F \xE6\x97\xA5";

class TranslateRestTool : public kwinet::test::TNginxSuite {
 protected:
  static void SetUpTestSuite() {
    service = new kwinet::support::TTranslatorService();
    kwinet::test::TNginxOptions options;
    options.Https = true;
    options.ServerExtra = service->NginxLocations();
    StartNginx(options);
  }
  static void TearDownTestSuite() {
    StopNginx();
    delete service;
  }
  void SetUp() override {
    kwinet::test::TNginxSuite::SetUp();
    service->Clear();
    ::unsetenv("KWINET_API_KEY");
  }
  std::string KeyFile(const std::string& key, mode_t mode = 0600) {
    const std::string file = dir.File("key-" + std::to_string(++files));
    WriteFileBytes(file, key + "  \n");
    ::chmod(file.c_str(), mode);
    return file;
  }
  // --host and --ca, then more.
  std::vector<std::string> Args(std::vector<std::string> head, const std::vector<std::string>& more) {
    head.insert(head.end(), {"--host", server->Url("", true), "--ca", server->CAFile()});
    head.insert(head.end(), more.begin(), more.end());
    return head;
  }

  static kwinet::support::TTranslatorService* service;
  kwinet::test::TempDir dir;
  int files = 0;
};
kwinet::support::TTranslatorService* TranslateRestTool::service = nullptr;

TEST_F(TranslateRestTool, EachCommandSpeaksTodaysInterface) {
  if (NoServer()) return;
  const std::string key = KeyFile(service->Key());
  const std::string audio = dir.File("a.wav");
  const std::string riff("RIFF\0\0\0\0WAVE", 12);
  const std::string region = service->Region();
  struct Case {
    std::vector<std::string> args;
    std::optional<std::string> env;  // KWINET_API_KEY
    std::string out;
    std::string file = std::string();  // what -o holds afterwards
  } cases[] = {
      {Args({"translate", "--service", "microsoft"}, {"--key-file", key, "--region", region, "--to", "de", kAwkward}),
       {}, kAwkwardPrinted + "\n", ""},
      {Args({"translate", "--service", "microsoft"}, {"--region", region, "--from", "en", "--to", "de", "Hello"}),
       service->Key(), "Hallo\n", ""},
      {Args({"languages", "--service", "microsoft"}, {"--key-file", key, "--region", region}), {},
       "de\nen\nfr\nzh-Hans\n"},
      {Args({"languages", "--service", "microsoft", "--speak"}, {"--key-file", key, "--region", region}), {},
       "de-DE\nen-US\nen-GB\nzh-CN\n"},
      {Args({"speak"}, {"--key-file", key, "--region", region, "--to", "en", "-o", audio, kAwkward}), {}, "",
       riff + "en-US-JennyNeural|" + kAwkward},
      {Args({"speak"}, {"--region", region, "--to", "en-GB", "--voice", "en-GB-SoniaNeural", "-o", audio, "Hi"}),
       service->Key(), "", riff + "en-GB-SoniaNeural|Hi"},
      {Args({"translate", "--service", "google"}, {"--key-file", key, "--to", "de", kAwkward}), {}, kAwkwardPrinted + "\n", ""},
      {Args({"translate", "--service", "google"}, {"--api", "rest", "--to", "de", "Good morning"}), service->Key(),
       "Guten Morgen\n", ""},
      {Args({"languages"}, {"--key-file", key}), {}, "de\tGerman\nen\tEnglish\nfr\tFrench\nzh-CN\tChinese (Simplified)\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[c.args.size() - 1]);
    service->Clear();
    std::optional<TEnvScope> env;
    if (c.env) {
      env.emplace("KWINET_API_KEY", *c.env);
    }
    auto r = Tool(c.args);
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out, c.out);
    if (!c.file.empty()) {
      EXPECT_EQ(ReadFileBytes(audio), c.file);
    }
    EXPECT_EQ(service->Refusals(), std::vector<std::string>());
    EXPECT_FALSE(service->Requests().empty());
    // The key goes in its header only.
    for (const std::string& request : service->Requests()) {
      const std::string head = request.substr(0, request.find("\r\n\r\n") + 2);
      const std::size_t at = request.find(service->Key());
      ASSERT_NE(at, std::string::npos) << request;
      EXPECT_EQ(request.find(service->Key(), at + 1), std::string::npos) << request;
      EXPECT_TRUE(head.find("\r\nOcp-Apim-Subscription-Key: " + service->Key() + "\r\n") != std::string::npos ||
                  head.find("\r\nX-goog-api-key: " + service->Key() + "\r\n") != std::string::npos)
          << request;
    }
  }
  for (const std::string& line : server->AccessLog()) EXPECT_EQ(line.find(service->Key()), std::string::npos) << line;
}

TEST_F(TranslateRestTool, FailuresSayWhyAndNeverShowTheKey) {
  if (NoServer()) return;
  const std::string good = KeyFile(service->Key());
  const std::string wrongKey = "wrong-key-5a4b3c";
  const std::string wrong = KeyFile(wrongKey);
  const std::string open = KeyFile(service->Key(), 0644);
  const std::string region = service->Region();
  const std::string audio = dir.File("b.wav");
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string said;
  } cases[] = {
      // The service's own messages.
      {Args({"translate", "--service", "microsoft"}, {"--key-file", wrong, "--region", region, "--to", "de", "Hi"}), 1,
       "credentials are missing or invalid"},
      {Args({"translate", "--service", "microsoft"}, {"--key-file", good, "--region", region, "--to", "xx", "Hi"}), 1,
       "The target language is not valid. (code 400036)"},
      {Args({"translate", "--service", "google"}, {"--key-file", wrong, "--to", "de", "Hi"}), 1,
       "API key not valid"},
      {Args({"speak"}, {"--key-file", good, "--region", region, "--to", "tlh", "-o", audio, "Hi"}), 1, "no voice"},
      // Usage errors.
      {Args({"speak"}, {"--key-file", good, "--to", "en", "-o", audio, "Hi"}), 2, "--region"},
      {Args({"translate", "--service", "microsoft"}, {"--key-file", open, "--region", region, "--to", "de", "Hi"}), 2,
       "its group or others may read it"},
      {Args({"translate", "--service", "google"}, {"--api", "rest", "--to", "de", "Hi"}), 2, "KWINET_API_KEY"},
      {Args({"translate", "--service", "microsoft"}, {"--app-id", "x", "--key-file", good, "--to", "de", "Hi"}), 2,
       "--app-id"},
      {Args({"translate", "--service", "microsoft"}, {"--api", "classic", "--region", region, "--to", "de", "Hi"}), 2,
       "--api classic"},
      {Args({"speak"}, {"--voice", "en-US-JennyNeural", "--to", "en", "-o", audio, "Hi"}), 2, "--voice"},
      {Args({"translate", "--service", "google"}, {"--key-file", good, "--region", region, "--to", "de", "Hi"}), 2,
       "--region"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " -> " + c.said);
    auto r = Tool(c.args);
    EXPECT_EQ(r.ExitCode, c.code) << r.Err;
    EXPECT_EQ(r.Out, "");
    EXPECT_TRUE(kwinet::test::OneErrorLine(r)) << r.Err;
    EXPECT_NE(r.Err.find(c.said), std::string::npos) << r.Err;
    EXPECT_EQ(r.Err.find(wrongKey), std::string::npos) << r.Err;
    EXPECT_EQ(r.Err.find(service->Key()), std::string::npos) << r.Err;
  }
  EXPECT_FALSE(std::filesystem::exists(audio));
}

// KWINET_API_KEY alone chooses no interface: set for the classic Microsoft
// interface (its appId), it keeps serving that one.
TEST_F(TranslateRestTool, TheEnvironmentsKeyAloneKeepsTheClassicInterface) {
  if (NoServer()) return;
  const TEnvScope env("KWINET_API_KEY", "classic-app-id");
  auto r = Tool(Args({"translate", "--service", "microsoft"}, {"--to", "de", "Hi"}));
  // The emulator has no classic paths: nginx answers 404.
  EXPECT_EQ(r.ExitCode, 1) << r.Err;
  EXPECT_TRUE(service->Requests().empty());
  EXPECT_TRUE(server->WaitForLogLine("GET /v2/Http.svc/Translate 404 -"))
      << ::testing::PrintToString(server->AccessLog());
}

}  // namespace
