// Both translators against nginx over HTTPS (a test CA) in front of an
// in-process server that records each request and answers canned documents.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>

#include "kwinet/core/Jobs.h"
#include "kwinet/core/StringList.h"
#include "kwinet/translate/KwIGoogleTranslate.h"
#include "kwinet/translate/KwIMSTranslator.h"
#include "peers/FakeServer.h"
#include "peers/NginxSuite.h"
#include "peers/ServerProcess.h"
#include "peers/TestSupport.h"

namespace kwinet {
namespace {

using test::FakeConnection;
using test::FakeServer;

struct TCanned {
  int Status = 200;
  std::string Body;
  bool Stall = false;
};

// The service behind nginx: answers by path, records every request target.
class TCannedService {
 public:
  void Answer(const std::string& path, TCanned canned) {
    std::lock_guard<std::mutex> g(FLock);
    FAnswers[path] = std::move(canned);
  }
  std::string LastTarget() {
    std::lock_guard<std::mutex> g(FLock);
    return FTargets.empty() ? std::string() : FTargets.back();
  }
  std::size_t Requests() {
    std::lock_guard<std::mutex> g(FLock);
    return FTargets.size();
  }
  void Handle(FakeConnection& c) {
    if (!c.ReadUntil("\r\n\r\n")) return;
    const std::string line = c.Data().substr(0, c.Data().find("\r\n"));
    const std::size_t sp = line.find(' ');
    const std::string target = line.substr(sp + 1, line.rfind(' ') - sp - 1);
    TCanned a{404, "<string>no such method</string>"};
    {
      std::lock_guard<std::mutex> g(FLock);
      FTargets.push_back(target);
      if (auto it = FAnswers.find(target.substr(0, target.find('?'))); it != FAnswers.end()) a = it->second;
    }
    if (a.Stall) {
      c.Sleep(20000);
      return;
    }
    c.Send("HTTP/1.0 " + std::to_string(a.Status) + " Canned\r\nContent-Length: " + std::to_string(a.Body.size()) +
           "\r\n\r\n" + a.Body);
  }

 private:
  std::mutex FLock;
  std::map<std::string, TCanned> FAnswers;
  std::vector<std::string> FTargets;
};

const char* const kMS = "/v2/Http.svc";

class TranslatorService : public test::TNginxSuite {
 protected:
  static void SetUpTestSuite() {
    service = new TCannedService;
    fake = new FakeServer([](FakeConnection& c) { service->Handle(c); });
    const std::string up = "http://127.0.0.1:" + std::to_string(fake->Port());
    test::TNginxOptions options;
    options.Https = true;
    options.ServerExtra =
        "    location /v2/ { proxy_pass " + up + "; }\n    location /translate_a/ { proxy_pass " + up + "; }\n";
    StartNginx(options);
  }
  static void TearDownTestSuite() {
    StopNginx();
    delete fake;
    delete service;
  }

  template <typename T>
  void PointAtTestServer(T& t, const std::string& path) {
    t.SetHost(Utf8ToString(server->Url(path, true)));
    t.SetCACertFile(Utf8ToString(server->CAFile()));
    t.SetTimeout(5000);
  }

  static TCannedService* service;
  static FakeServer* fake;
  test::TempDir dir;
};
TCannedService* TranslatorService::service = nullptr;
FakeServer* TranslatorService::fake = nullptr;

// The key travels in every query: both clients are set for HTTPS, with no
// setting that says otherwise.
TEST(TranslatorDefaults, BothClientsAreSetForHttps) {
  TKwMSTranslator ms(nullptr);
  TKwIGoogleTranslator google(nullptr);
  for (TKwCustomTranslator* t : {static_cast<TKwCustomTranslator*>(&ms), static_cast<TKwCustomTranslator*>(&google)}) {
    SCOPED_TRACE(StringToUtf8(t->Host()));
    EXPECT_TRUE(StartsText(u"https://", t->Host()));
    EXPECT_EQ(t->Service(), isHTTPS);
    EXPECT_EQ(t->Port(), 443);
    EXPECT_EQ(t->Agent().find(u"Tracker"), String::npos);
  }
}

TEST_F(TranslatorService, MicrosoftTranslatesAndDetectsWithEncodedQueries) {
  TKwMSTranslator ms(nullptr);
  EXPECT_EQ(ms.Host(), u"https://api.microsofttranslator.com/v2/Http.svc");
  EXPECT_EQ(ms.Agent(), u"Moravelle WebUpdater");
  EXPECT_EQ(ms.MaxResponseSize(), 16 * 1024 * 1024);
  PointAtTestServer(ms, kMS);
  service->Answer("/v2/Http.svc/Translate",
                  {200,
                   "<string xmlns=\"http://schemas.microsoft.com/2003/10/Serialization/\">Gr\xC3\xBC\xC3\x9F"
                   "e &amp; mehr</string>"});
  EXPECT_EQ(ms.TranslateText(u"Hello", u"en", u"de"), u"Grüße & mehr");
  EXPECT_EQ(ms.Status(), isFinished);
  EXPECT_EQ(service->LastTarget(),
            "/v2/Http.svc/Translate?appId=5D0E2B97F1A4C3688E7B20D94F15A6C3E0B7D218&text=Hello&from=en&to=de");

  // Blanks, "&", "#", "+", "=" and non-ASCII text travel encoded, as do the
  // key and the codes: nothing in them can end or add a query value.
  ms.SetBingAppId(u"k&y=1");
  ms.TranslateText(u"Grüße & <Welt>#1+1=2", u"en&x", u"zh-CHS");
  EXPECT_EQ(service->LastTarget(),
            "/v2/Http.svc/Translate?appId=k%26y%3D1&text=Gr%C3%BC%C3%9Fe+%26+%3CWelt%3E%231%2B1%3D2&from=en%26x"
            "&to=zh-CHS");

  service->Answer("/v2/Http.svc/Detect", {200, "<string>fr</string>"});
  EXPECT_EQ(ms.DetectLanguage(u"Bonjour à tous"), u"fr");
  EXPECT_EQ(service->LastTarget(), "/v2/Http.svc/Detect?appId=k%26y%3D1&text=Bonjour+%C3%A0+tous");
}

TEST_F(TranslatorService, MicrosoftListsLanguages) {
  TKwMSTranslator ms(nullptr);
  PointAtTestServer(ms, kMS);
  service->Answer("/v2/Http.svc/GetLanguagesForTranslate",
                  {200, "<ArrayOfstring><string>ar</string><string>de</string><string>en</string></ArrayOfstring>"});
  service->Answer("/v2/Http.svc/GetLanguagesForSpeak",
                  {200, "<ArrayOfstring><string>de</string><string>en</string></ArrayOfstring>"});
  TStringList list;
  list.Add(u"stale");
  ms.GetLanguagesForTranslate(&list);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list[0], u"ar");
  EXPECT_EQ(list[2], u"en");
  ms.GetLanguagesForSpeak(&list);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(service->LastTarget(), "/v2/Http.svc/GetLanguagesForSpeak?appId=5D0E2B97F1A4C3688E7B20D94F15A6C3E0B7D218");
  const std::size_t before = service->Requests();
  ms.GetLanguagesForSpeak(nullptr);
  EXPECT_EQ(service->Requests(), before);
}

TEST_F(TranslatorService, MicrosoftSpeaksIntoAFileByteForByte) {
  std::string audio;
  for (int i = 0; i < 70000; ++i) audio.push_back(static_cast<char>((i * 7) % 256));
  TKwMSTranslator ms(nullptr);
  PointAtTestServer(ms, kMS);
  service->Answer("/v2/Http.svc/Speak", {200, audio});
  const std::string file = dir.File("hello.wav");
  ms.SpeakText(u"en", Utf8ToString(file), u"Hello, world");
  EXPECT_EQ(ms.Status(), isFinished) << StringToUtf8(ms.ErrorText());
  EXPECT_EQ(test::ReadFileBytes(file), audio);
  EXPECT_EQ(service->LastTarget(),
            "/v2/Http.svc/Speak?appId=5D0E2B97F1A4C3688E7B20D94F15A6C3E0B7D218&text=Hello%2C+world&language=en");

  // An error answer is no audio: the earlier file stays, nothing is left
  // beside it.
  service->Answer("/v2/Http.svc/Speak", {500, "<html>Internal error</html>"});
  ms.SpeakText(u"en", Utf8ToString(file), u"Hello");
  EXPECT_EQ(ms.Status(), isFailed);
  EXPECT_NE(ms.ErrorText().find(u"500"), String::npos) << StringToUtf8(ms.ErrorText());
  EXPECT_EQ(test::ReadFileBytes(file), audio);
  EXPECT_FALSE(std::filesystem::exists(file + ".part"));

  // A file that cannot be made raises before anything is asked.
  const std::size_t before = service->Requests();
  EXPECT_THROW(ms.SpeakText(u"en", Utf8ToString(dir.File("no/such/dir/x.wav")), u"Hello"), EFCreateError);
  EXPECT_EQ(service->Requests(), before);
}

TEST_F(TranslatorService, GoogleJoinsEverySegment) {
  TKwIGoogleTranslator google(nullptr);
  EXPECT_EQ(google.Host(), u"https://translate.googleapis.com");
  PointAtTestServer(google, "");
  service->Answer(
      "/translate_a/single",
      {200, R"([[["Hallo Welt. ","Hello world. ",null,null,10],["Wie geht's?","How are you?",null,null,10]],)"
            R"(null,"en"])"});
  google.SetSourceLanguage(u"en");
  google.SetDestinationLanguage(u"de");
  EXPECT_EQ(google.TranslateText(u"Hello world. How are you?"), u"Hallo Welt. Wie geht's?");
  EXPECT_EQ(google.Status(), isFinished);
  EXPECT_EQ(service->LastTarget(), "/translate_a/single?client=gtx&sl=en&tl=de&dt=t&q=Hello+world.+How+are+you%3F");
  google.TranslateTextExt(u"a&tl=xx", u"auto", u"zh-CN");
  EXPECT_EQ(service->LastTarget(), "/translate_a/single?client=gtx&sl=auto&tl=zh-CN&dt=t&q=a%26tl%3Dxx");

  service->Answer("/translate_a/single", {200, "<html>not a translation</html>"});
  EXPECT_EQ(google.TranslateText(u"Hello"), u"");
  EXPECT_EQ(google.Status(), isFailed);
  EXPECT_FALSE(google.ErrorText().empty());
}

TEST_F(TranslatorService, FailuresEndIsFailedWithAReason) {
  TKwIGoogleTranslator google(nullptr);
  PointAtTestServer(google, "");
  // Larger than allowed: stopped, nothing parsed.
  service->Answer("/translate_a/single", {200, R"([[[")" + std::string(5000, 'x') + R"("]]])"});
  google.SetMaxResponseSize(1000);
  EXPECT_EQ(google.TranslateTextExt(u"Hello", u"en", u"de"), u"");
  EXPECT_EQ(google.Status(), isFailed);
  EXPECT_NE(google.ErrorText().find(u"MaxResponseSize"), String::npos) << StringToUtf8(google.ErrorText());
  google.SetMaxResponseSize(0);  // no bound
  EXPECT_EQ(google.TranslateTextExt(u"Hello", u"en", u"de"), String(5000, u'x'));

  // An error status is not a translation, whatever its body holds.
  service->Answer("/translate_a/single", {429, R"([[["Too many requests","x"]]])"});
  EXPECT_EQ(google.TranslateTextExt(u"Hello", u"en", u"de"), u"");
  EXPECT_EQ(google.Status(), isFailed);
  EXPECT_NE(google.ErrorText().find(u"429"), String::npos) << StringToUtf8(google.ErrorText());

  TKwMSTranslator ms(nullptr);
  PointAtTestServer(ms, kMS);
  service->Answer("/v2/Http.svc/Detect", {400, "<string>ArgumentException: Invalid appId</string>"});
  EXPECT_EQ(ms.DetectLanguage(u"Hello"), u"");
  EXPECT_EQ(ms.Status(), isFailed);
}

TEST_F(TranslatorService, StallAndUntrustedCertificatesEndWithinTimeout) {
  service->Answer("/v2/Http.svc/Translate", {200, "<string>never</string>", true});
  service->Answer("/v2/Http.svc/Detect", {200, "<string>de</string>"});
  struct Case {
    const char* what;
    std::string host;
    bool ca;
    const char* method;
  } cases[] = {
      {"stalled service", server->Url(kMS, true), true, "translate"},
      {"unknown CA", server->Url(kMS, true), false, "detect"},
      {"wrong host name", "https://localhost:" + std::to_string(server->WrongNameHttpsPort()) + kMS, true, "detect"},
  };
  for (const Case& c : cases) {
    TKwMSTranslator ms(nullptr);
    ms.SetHost(Utf8ToString(c.host));
    if (c.ca) ms.SetCACertFile(Utf8ToString(server->CAFile()));
    ms.SetTimeout(1000);
    const auto start = std::chrono::steady_clock::now();
    const String result =
        std::string(c.method) == "translate" ? ms.TranslateText(u"Hello", u"en", u"de") : ms.DetectLanguage(u"Hallo");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result, u"") << c.what;
    EXPECT_EQ(ms.Status(), isFailed) << c.what;
    EXPECT_FALSE(ms.ErrorText().empty()) << c.what;
    EXPECT_LT(took, std::chrono::seconds(4)) << c.what;
  }
}

// A call of a translator as its job: the answer is the job's result; a
// call on the owner's thread meanwhile is refused; freeing the client
// cancels a job whose service stalls.
TEST_F(TranslatorService, ACallRunsAsTheClientsJobAndGoesWithTheClient) {
  service->Answer("/v2/Http.svc/Detect", {200, "<string>nl</string>"});
  service->Answer("/v2/Http.svc/Translate", {200, "<string>never</string>", true});
  {
    TKwMSTranslator ms(nullptr);
    PointAtTestServer(ms, kMS);
    const TJobHandle job = ms.StartJob([&ms] { return ms.DetectLanguage(u"Goedemorgen"); });
    ASSERT_TRUE(job->Wait(std::chrono::seconds(30)));
    EXPECT_EQ(job->State(), jsDone) << StringToUtf8(job->ErrorText());
    EXPECT_EQ(job->Result(), u"nl");
  }
  TJobHandle stalled;
  {
    TKwMSTranslator ms(nullptr);
    PointAtTestServer(ms, kMS);
    ms.SetTimeout(60000);
    stalled = ms.StartJob([&ms] { return ms.TranslateText(u"Hello", u"en", u"de"); });
    EXPECT_THROW(ms.DetectLanguage(u"Hallo"), EInvalidOperation);
    EXPECT_THROW(ms.StartJob([] { return String(); }), EInvalidOperation);
    // The destructor cancels the job and waits for it.
  }
  EXPECT_EQ(stalled->State(), jsCancelled);
}

}  // namespace
}  // namespace kwinet
