// Both translators' interfaces of today (ApiKind akRest) against the
// services' emulator behind nginx over HTTPS (a test CA): every call as the
// service wants it, the key in its header and nowhere else, the service's
// own message on failure, one more try after a 429, and the production
// hosts when Host is left alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "kwinet/core/StringList.h"
#include "kwinet/translate/KwIGoogleTranslate.h"
#include "kwinet/translate/KwIMSTranslator.h"
#include "peers/FakeServer.h"
#include "peers/NginxSuite.h"
#include "peers/TestSupport.h"
#include "support/TranslatorService.h"

namespace kwinet {
namespace {

// Markup, quotes, the end of a CDATA section, a backslash, JSON's escapes
// and letters beyond ASCII: the emulator echoes what it has no entry for.
const String kAwkward = u"Tom & Jerry <b>\"quoted\" 'single'</b> ]]> C:\\path\\n \u00c4rger \u00df \u65e5\u672c \U0001F600";

class RestTranslator : public test::TNginxSuite {
 protected:
  static void SetUpTestSuite() {
    service = new support::TTranslatorService();
    test::TNginxOptions options;
    options.Https = true;
    options.ServerExtra = service->NginxLocations();
    StartNginx(options);
  }
  static void TearDownTestSuite() {
    StopNginx();
    delete service;
  }
  void SetUp() override {
    test::TNginxSuite::SetUp();
    if (!NoServer()) service->Clear();
  }

 public:
  // Called from the cases' lambdas.
  void Point(TKwCustomTranslator& t) {
    t.SetHost(Utf8ToString(server->Url("", true)));
    t.SetCACertFile(Utf8ToString(server->CAFile()));
    t.SetTimeout(5000);
  }
  std::unique_ptr<TKwMSTranslator> Microsoft(const std::string& key = service->Key()) {
    auto ms = std::make_unique<TKwMSTranslator>(nullptr);
    Point(*ms);
    ms->SetApiKind(akRest);
    ms->SetSubscriptionKey(Utf8ToString(key));
    ms->SetRegion(Utf8ToString(service->Region()));
    return ms;
  }
  std::unique_ptr<TKwIGoogleTranslator> Google(const std::string& key = service->Key()) {
    auto g = std::make_unique<TKwIGoogleTranslator>(nullptr);
    Point(*g);
    g->SetApiKind(akRest);
    g->SetApiKey(Utf8ToString(key));
    return g;
  }

  static support::TTranslatorService* service;

 protected:
  test::TempDir dir;
};
support::TTranslatorService* RestTranslator::service = nullptr;

std::string Joined(const TStrings& list) {
  std::string out;
  for (int i = 0; i < list.Count(); ++i) out += (i ? "," : "") + StringToUtf8(list[i]);
  return out;
}

// The key stands in each request once, as the value of its header, and
// nowhere else (not in the URL, which logs keep).
void ExpectKeyOnlyInItsHeader(const std::vector<std::string>& requests, const std::string& key,
                              const std::string& header) {
  for (const std::string& r : requests) {
    const std::size_t first = r.find(key);
    ASSERT_NE(first, std::string::npos) << r;
    EXPECT_EQ(r.find(key, first + 1), std::string::npos) << r;
    const std::size_t lineStart = r.rfind("\r\n", first);
    ASSERT_NE(lineStart, std::string::npos) << r;
    EXPECT_EQ(r.substr(lineStart + 2, first - lineStart - 2), header + ": ") << r;
  }
}

TEST_F(RestTranslator, EveryCallGoesAsTheServiceWantsItAndComesBackWhole) {
  if (NoServer()) return;
  const std::string audio = dir.File("speech.wav");
  const std::string riff("RIFF\0\0\0\0WAVE", 12);
  struct Case {
    const char* what;
    bool google;
    std::function<std::string(RestTranslator&)> call;
    std::string result;
    std::vector<std::string> lines;  // request lines, in order
  } cases[] = {
      {"ms translate (echo)", false,
       [](RestTranslator& t) { return StringToUtf8(t.Microsoft()->TranslateText(kAwkward, u"en", u"de")); },
       StringToUtf8(kAwkward), {"POST /translate?api-version=3.0&to=de&from=en HTTP/1.0"}},
      {"ms translate, source detected", false,
       [](RestTranslator& t) { return StringToUtf8(t.Microsoft()->TranslateText(u"Hello", u"", u"zh-Hans")); },
       "Hello", {"POST /translate?api-version=3.0&to=zh-Hans HTTP/1.0"}},
      {"ms detect", false, [](RestTranslator& t) { return StringToUtf8(t.Microsoft()->DetectLanguage(u"Bonjour")); },
       "fr", {"POST /detect?api-version=3.0 HTTP/1.0"}},
      {"ms languages", false,
       [](RestTranslator& t) {
         TStringList l;
         l.Add(u"stale");
         t.Microsoft()->GetLanguagesForTranslate(&l);
         return Joined(l);
       },
       "de,en,fr,zh-Hans", {"GET /languages?api-version=3.0&scope=translation HTTP/1.0"}},
      {"ms speech locales", false,
       [](RestTranslator& t) {
         TStringList l;
         t.Microsoft()->GetLanguagesForSpeak(&l);
         return Joined(l);
       },
       "de-DE,en-US,en-GB,zh-CN", {"GET /cognitiveservices/voices/list HTTP/1.0"}},
      {"ms speak, first voice of the language", false,
       [&](RestTranslator& t) {
         auto ms = t.Microsoft();
         ms->SpeakText(u"en", Utf8ToString(audio), kAwkward);
         return test::ReadFileBytes(audio);
       },
       riff + "en-US-JennyNeural|" + StringToUtf8(kAwkward),
       {"GET /cognitiveservices/voices/list HTTP/1.0", "POST /cognitiveservices/v1 HTTP/1.0"}},
      {"ms speak, the voice named", false,
       [&](RestTranslator& t) {
         auto ms = t.Microsoft();
         ms->SetVoice(u"en-GB-SoniaNeural");
         ms->SpeakText(u"en-GB", Utf8ToString(audio), u"Hello");
         return test::ReadFileBytes(audio);
       },
       riff + "en-GB-SoniaNeural|Hello", {"POST /cognitiveservices/v1 HTTP/1.0"}},
      {"google translate (echo)", true,
       [](RestTranslator& t) { return StringToUtf8(t.Google()->TranslateTextExt(kAwkward, u"en", u"de")); },
       StringToUtf8(kAwkward), {"POST /language/translate/v2 HTTP/1.0"}},
      {"google translate, properties", true,
       [](RestTranslator& t) {
         auto g = t.Google();
         g->SetDestinationLanguage(u"de");
         return StringToUtf8(g->TranslateText(u"Hello"));
       },
       "Hallo", {"POST /language/translate/v2 HTTP/1.0"}},
      {"google detect", true, [](RestTranslator& t) { return StringToUtf8(t.Google()->DetectLanguage(u"Hallo")); },
       "de", {"POST /language/translate/v2/detect HTTP/1.0"}},
      {"google languages", true,
       [](RestTranslator& t) {
         TStringList codes, names;
         t.Google()->GetLanguages(&codes, &names);
         return Joined(codes) + "/" + Joined(names);
       },
       "de,en,fr,zh-CN/German,English,French,Chinese (Simplified)",
       {"GET /language/translate/v2/languages?target=en HTTP/1.0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    service->Clear();
    EXPECT_EQ(c.call(*this), c.result);
    EXPECT_EQ(service->Refusals(), std::vector<std::string>());
    const std::vector<std::string> requests = service->Requests();
    std::vector<std::string> lines;
    for (const std::string& r : requests) lines.push_back(r.substr(0, r.find("\r\n")));
    EXPECT_EQ(lines, c.lines);
    ExpectKeyOnlyInItsHeader(requests, service->Key(), c.google ? "X-goog-api-key" : "Ocp-Apim-Subscription-Key");
    for (const std::string& r : requests) {
      const bool speech = r.find(" /cognitiveservices/") != std::string::npos;
      // The region goes to the translator; the speech service has it in its
      // host name.
      EXPECT_EQ(r.find("\r\nOcp-Apim-Subscription-Region: " + service->Region() + "\r\n") != std::string::npos,
                !c.google && !speech)
          << r;
      if (r.rfind("POST", 0) == 0 && !speech) {
        EXPECT_NE(r.find(c.google ? "\r\nContent-Type: application/json; charset=utf-8\r\n"
                                  : "\r\nContent-Type: application/json; charset=UTF-8\r\n"),
                  std::string::npos)
            << r;
      }
    }
  }
  // No key in nginx's log either.
  for (const std::string& line : server->AccessLog()) EXPECT_EQ(line.find(service->Key()), std::string::npos) << line;
}

TEST_F(RestTranslator, FailuresCarryTheServicesMessageAndNeverTheKey) {
  if (NoServer()) return;
  const std::string wrong = "wrong-key-9f8e7d";
  const std::string audio = dir.File("never.wav");
  struct Case {
    const char* what;
    std::function<TKwCustomTranslator*(RestTranslator&, std::unique_ptr<TKwCustomTranslator>&)> call;
    std::vector<std::string> said;
  } cases[] = {
      {"ms bad key",
       [&](RestTranslator& t, std::unique_ptr<TKwCustomTranslator>& keep) {
         auto ms = t.Microsoft(wrong);
         EXPECT_EQ(ms->TranslateText(u"Hello", u"en", u"de"), u"");
         keep = std::move(ms);
         return keep.get();
       },
       {"401", "credentials are missing or invalid", "401000"}},
      {"ms missing region",
       [&](RestTranslator& t, std::unique_ptr<TKwCustomTranslator>& keep) {
         auto ms = t.Microsoft();
         ms->SetRegion(u"");
         EXPECT_EQ(ms->DetectLanguage(u"Hello"), u"");
         keep = std::move(ms);
         return keep.get();
       },
       {"401", "region header", "401000"}},
      {"ms invalid target",
       [&](RestTranslator& t, std::unique_ptr<TKwCustomTranslator>& keep) {
         auto ms = t.Microsoft();
         EXPECT_EQ(ms->TranslateText(u"Hello", u"en", u"xx"), u"");
         keep = std::move(ms);
         return keep.get();
       },
       {"400", "The target language is not valid.", "400036"}},
      {"ms speech with a bad key",
       [&](RestTranslator& t, std::unique_ptr<TKwCustomTranslator>& keep) {
         auto ms = t.Microsoft(wrong);
         ms->SpeakText(u"en", Utf8ToString(audio), u"Hello");
         keep = std::move(ms);
         return keep.get();
       },
       {"401", "invalid subscription key"}},
      {"ms no voice for the language",
       [&](RestTranslator& t, std::unique_ptr<TKwCustomTranslator>& keep) {
         auto ms = t.Microsoft();
         ms->SpeakText(u"tlh", Utf8ToString(audio), u"Hello");
         keep = std::move(ms);
         return keep.get();
       },
       {"no voice for tlh"}},
      {"google bad key",
       [&](RestTranslator& t, std::unique_ptr<TKwCustomTranslator>& keep) {
         auto g = t.Google(wrong);
         EXPECT_EQ(g->TranslateTextExt(u"Hello", u"en", u"de"), u"");
         keep = std::move(g);
         return keep.get();
       },
       {"400", "API key not valid. Please pass a valid API key."}},
      {"google invalid target",
       [&](RestTranslator& t, std::unique_ptr<TKwCustomTranslator>& keep) {
         auto g = t.Google();
         EXPECT_EQ(g->TranslateTextExt(u"Hello", u"", u"xx"), u"");
         keep = std::move(g);
         return keep.get();
       },
       {"400", "Invalid Value"}},
      {"a Host with a path",
       [&](RestTranslator& t, std::unique_ptr<TKwCustomTranslator>& keep) {
         auto g = t.Google();
         g->SetHost(Utf8ToString(server->Url("/language", true)));
         EXPECT_EQ(g->DetectLanguage(u"Hello"), u"");
         keep = std::move(g);
         return keep.get();
       },
       {"Host must be scheme://host[:port]"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<TKwCustomTranslator> keep;
    TKwCustomTranslator* t = c.call(*this, keep);
    EXPECT_EQ(t->Status(), isFailed);
    const std::string error = StringToUtf8(t->ErrorText());
    for (const std::string& s : c.said) EXPECT_NE(error.find(s), std::string::npos) << error;
    EXPECT_EQ(error.find(wrong), std::string::npos) << error;
    EXPECT_EQ(error.find(service->Key()), std::string::npos) << error;
  }
  // A failed speech leaves no file and no part.
  EXPECT_FALSE(std::filesystem::exists(audio));
  EXPECT_FALSE(std::filesystem::exists(audio + ".part"));
}

TEST_F(RestTranslator, A429WithRetryAfterIsAskedOnceMore) {
  if (NoServer()) return;
  struct Case {
    const char* what;
    int throttled;
    std::size_t requests;
    bool ok;
  } cases[] = {{"once", 1, 2, true}, {"twice", 2, 2, false}};
  for (bool google : {false, true})
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(google ? "google " : "microsoft ") + c.what);
      service->Clear();
      service->Throttle(c.throttled, 1);
      std::unique_ptr<TKwCustomTranslator> t;
      String text;
      if (google) {
        auto g = Google();
        text = g->TranslateTextExt(u"Hello", u"en", u"de");
        t = std::move(g);
      } else {
        auto ms = Microsoft();
        text = ms->TranslateText(u"Hello", u"en", u"de");
        t = std::move(ms);
      }
      EXPECT_EQ(service->Requests().size(), c.requests);
      EXPECT_EQ(text, c.ok ? u"Hallo" : u"");
      EXPECT_EQ(t->Status(), c.ok ? isFinished : isFailed);
      if (!c.ok) {
        const std::string error = StringToUtf8(t->ErrorText());
        EXPECT_NE(error.find("429"), std::string::npos) << error;
        EXPECT_NE(error.find(google ? "Quota exceeded" : "exceeded request limits"), std::string::npos) << error;
      }
    }
}

// Host left alone (empty, or the classic interface's default) means the
// production hosts: a proxy on loopback sees where each request goes.
TEST(RestTranslatorHosts, HostLeftAloneMeansTheProductionHosts) {
  test::FakeServer proxy(test::FakeServer::ReplyAndClose("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n",
                                                         "\r\n\r\n"));
  struct Case {
    const char* what;
    bool emptyHost;
    std::function<void(TKwCustomTranslator&)> call;
    bool google;
    std::string connect;
  } cases[] = {
      {"ms translate", false,
       [](TKwCustomTranslator& t) { static_cast<TKwMSTranslator&>(t).TranslateText(u"Hello", u"en", u"de"); }, false,
       "CONNECT api.cognitive.microsofttranslator.com:443 "},
      {"ms speak", true,
       [](TKwCustomTranslator& t) {
         TStringList l;
         static_cast<TKwMSTranslator&>(t).GetLanguagesForSpeak(&l);
       },
       false, "CONNECT westeurope.tts.speech.microsoft.com:443 "},
      {"google", true,
       [](TKwCustomTranslator& t) { static_cast<TKwIGoogleTranslator&>(t).DetectLanguage(u"Hello"); }, true,
       "CONNECT translation.googleapis.com:443 "},
  };
  std::size_t n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<TKwCustomTranslator> t;
    if (c.google) {
      auto g = std::make_unique<TKwIGoogleTranslator>(nullptr);
      g->SetApiKind(akRest);
      g->SetApiKey(u"k");
      t = std::move(g);
    } else {
      auto ms = std::make_unique<TKwMSTranslator>(nullptr);
      ms->SetApiKind(akRest);
      ms->SetSubscriptionKey(u"k");
      ms->SetRegion(u"westeurope");
      t = std::move(ms);
    }
    if (c.emptyHost) t->SetHost(u"");
    t->Proxy()->SetUseProxy(true);
    t->Proxy()->SetServer(u"127.0.0.1");
    t->Proxy()->SetPort(proxy.Port());
    t->SetTimeout(5000);
    c.call(*t);
    EXPECT_EQ(t->Status(), isFailed);
    ASSERT_TRUE(proxy.WaitForConnections(++n));
    EXPECT_EQ(proxy.Received(n - 1).rfind(c.connect, 0), 0u) << proxy.Received(n - 1);
  }
}

}  // namespace
}  // namespace kwinet
