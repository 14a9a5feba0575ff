// The trackers' exchange over real TLS: nginx with a test CA in front of an
// in-process carrier that records each request and answers a canned
// document; and carriers that stall, cut their answer or answer too much.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>

#include "kwinet/core/Application.h"
#include "kwinet/tracking/KwIFedEx.h"
#include "kwinet/tracking/KwIUPS.h"
#include "kwinet/ui/ScriptedBackend.h"
#include "peers/FakeServer.h"
#include "peers/NginxSuite.h"
#include "peers/ServerProcess.h"
#include "tracking/TrackAnswers.h"

namespace kwinet {
namespace {

using test::FakeConnection;
using test::FakeServer;

// Reads one request with its body; false when it did not come whole.
bool ReadRequest(FakeConnection& c) {
  if (!c.ReadUntil("\r\n\r\n")) return false;
  const std::size_t headEnd = c.Data().find("\r\n\r\n") + 4;
  std::string head = c.Data().substr(0, headEnd);
  for (char& ch : head) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  const std::size_t p = head.find("\ncontent-length:");
  const std::size_t length = p == std::string::npos ? 0 : std::stoul(head.substr(p + 16));
  return c.ReadCount(headEnd + length);
}

std::string Body(const std::string& request) {
  const std::size_t p = request.find("\r\n\r\n");
  return p == std::string::npos ? std::string() : request.substr(p + 4);
}

// The carrier behind nginx: answers each request with the document set last.
class TCarrier {
 public:
  TCarrier()
      : FServer([this](FakeConnection& c) {
          if (!ReadRequest(c)) return;
          std::string status, answer;
          {
            std::lock_guard<std::mutex> hold(FLock);
            status = FStatus;
            answer = FAnswer;
          }
          c.Send("HTTP/1.0 " + status + "\r\nContent-Type: text/xml\r\nContent-Length: " +
                 std::to_string(answer.size()) + "\r\n\r\n" + answer);
        }) {}
  void Answer(std::string answer, std::string status = "200 OK") {
    std::lock_guard<std::mutex> hold(FLock);
    FAnswer = std::move(answer);
    FStatus = std::move(status);
  }
  FakeServer& Server() { return FServer; }

 private:
  std::mutex FLock;
  std::string FStatus = "200 OK", FAnswer;
  FakeServer FServer;
};

class TrackExchange : public test::TNginxSuite {
 protected:
  static void SetUpTestSuite() {
    carrier = new TCarrier;
    const std::string upstream = "http://127.0.0.1:" + std::to_string(carrier->Server().Port());
    test::TNginxOptions options;
    options.Https = true;
    options.ServerExtra = "    location /ups.app/ { proxy_pass " + upstream + "; }\n" +
                          "    location /web-services/ { proxy_pass " + upstream + "; }\n";
    StartNginx(options);
  }
  static void TearDownTestSuite() {
    StopNginx();
    delete carrier;
  }

  // Points a tracker at nginx, trusting the test CA.
  static void Aim(TKwInetCustomTracker& t, int port = 0) {
    t.SetHost(u"localhost");
    t.SetPort(static_cast<std::uint16_t>(port ? port : server->HttpsPort()));
    t.SetCACertFile(Utf8ToString(server->CAFile()));
    t.SetErrorDialog(false);
  }
  // Runs the job; the request that reached the carrier, or "" when none did.
  static std::string Run(TKwInetCustomTracker& t, bool expected = true) {
    const std::size_t before = carrier->Server().ConnectionCount();
    EXPECT_EQ(t.Execute(), expected) << StringToUtf8(t.ErrorText());
    if (carrier->Server().ConnectionCount() == before) return std::string();
    carrier->Server().WaitForConnections(before + 1);
    return carrier->Server().Received(before);
  }

  static TCarrier* carrier;
};
TCarrier* TrackExchange::carrier = nullptr;

TEST_F(TrackExchange, UPSPostsTheTemplateAndReadsTheAnswer) {
  carrier->Answer(test::kUPSAnswer);
  TKwUPSTracker t(nullptr);
  Aim(t);
  t.SetAccessLicenseNumber(u"K");
  t.SetTrackingNumber(u"1Z999");
  const std::string request = Run(t);
  EXPECT_EQ(request.substr(0, request.find("\r\n")), "POST /ups.app/xml/Track HTTP/1.0");
  EXPECT_NE(request.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"), std::string::npos) << request;
  EXPECT_NE(request.find("\r\nUser-Agent: Moravelle Tracker\r\n"), std::string::npos) << request;
  const std::string expected =
      "<?xml version=\"1.0\"?><AccessRequest xml:lang=\"en-US\"><AccessLicenseNumber>K</AccessLicenseNumber>\r\n"
      "<UserId>vqv</UserId><Password>vqv</Password></AccessRequest>\r\n"
      "<?xml version=\"1.0\"?><TrackRequest xml:lang=\"en-US\"><Request><TransactionReference>\r\n"
      "<CustomerContext>Moravelle Tracker</CustomerContext><XpciVersion>1.0</XpciVersion></TransactionReference>\r\n"
      "<RequestAction>Track</RequestAction><RequestOption>activity</RequestOption></Request>\r\n"
      "<TrackingNumber>#1Z999</TrackingNumber></TrackRequest>";
  EXPECT_EQ(Body(request), expected);
  EXPECT_EQ(t.LastXMLRequest(), Utf8ToString(expected));
  EXPECT_EQ(t.Status(), isFinished);
  EXPECT_EQ(t.Action(), iaDisconnected);
  EXPECT_EQ(StringToBytes(t.LastXMLResponse()), test::kUPSAnswer);
  EXPECT_EQ(t.IdentificationNumber(), u"1Z12345E0291980793");
  EXPECT_EQ(t.ShipToAddress()->City(), u"Z\u00FCrich");
  EXPECT_EQ(t.ServiceDescription(), u"NEXT DAY AIR");
  EXPECT_EQ(t.Activities()->Count(), 2);
}

TEST_F(TrackExchange, FedExPostsTheEnvelopeAndReadsTheReply) {
  carrier->Answer(test::kFedExAnswer);
  TKwFedExTracker t(nullptr);
  Aim(t);
  t.SetTrackingNumber(u"123456789012");
  TKwFedExWebAuthenticationDetail* d = t.WebAuthenticationDetail();
  d->UserCredential()->SetKey(u"uk");
  d->UserCredential()->SetPassword(u"up");
  d->ClientDetail()->SetAccountNumber(u"510087");
  d->ClientDetail()->SetMeterNumber(u"118");
  const std::string request = Run(t);
  EXPECT_EQ(request.substr(0, request.find("\r\n")), "POST /web-services/track HTTP/1.0");
  EXPECT_NE(request.find("\r\nSOAPAction: \"http://fedex.com/ws/track/v10/track\"\r\n"), std::string::npos) << request;
  EXPECT_NE(request.find("\r\nContent-Type: text/xml; charset=utf-8\r\n"), std::string::npos) << request;
  const std::string localization =
      "<v10:Localization>\r\n  <v10:LanguageCode>EN</v10:LanguageCode>\r\n  <v10:LocaleCode>us</v10:LocaleCode>\r\n"
      "</v10:Localization>\r\n";
  const std::string expected =
      "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "xmlns:v10=\"http://fedex.com/ws/track/v10\">\r\n"
      "<soapenv:Header></soapenv:Header>\r\n"
      "  <soapenv:Body>\r\n"
      "    <v10:TrackRequest>\r\n"
      "      <v10:WebAuthenticationDetail>\r\n"
      "        <v10:ParentCredential>\r\n"
      "          <v10:Key></v10:Key>\r\n"
      "          <v10:Password></v10:Password>\r\n"
      "        </v10:ParentCredential>\r\n"
      "        <v10:UserCredential>\r\n"
      "          <v10:Key>uk</v10:Key>\r\n"
      "          <v10:Password>up</v10:Password>\r\n"
      "        </v10:UserCredential>\r\n"
      "      </v10:WebAuthenticationDetail>\r\n"
      "      <v10:ClientDetail>\r\n"
      "        <v10:AccountNumber>510087</v10:AccountNumber>\r\n"
      "        <v10:MeterNumber>118</v10:MeterNumber>\r\n"
      "        <v10:IntegratorId></v10:IntegratorId>\r\n" +
      localization +
      "      </v10:ClientDetail>\r\n"
      "      <v10:TransactionDetail>\r\n"
      "        <v10:CustomerTransactionId>Track By Number_v10</v10:CustomerTransactionId>\r\n" +
      localization +
      "      </v10:TransactionDetail>\r\n"
      "      <v10:Version>\r\n"
      "        <v10:ServiceId>trck</v10:ServiceId>\r\n"
      "        <v10:Major>10</v10:Major>\r\n"
      "        <v10:Intermediate>0</v10:Intermediate>\r\n"
      "        <v10:Minor>0</v10:Minor>\r\n"
      "      </v10:Version>\r\n"
      "      <v10:SelectionDetails>\r\n"
      "        <v10:CarrierCode>FDXG</v10:CarrierCode>\r\n"
      "        <v10:PackageIdentifier>\r\n"
      "          <v10:Type>TRACKING_NUMBER_OR_DOORTAG</v10:Type>\r\n"
      "          <v10:Value>123456789012</v10:Value>\r\n"
      "        </v10:PackageIdentifier>\r\n"
      "      </v10:SelectionDetails>\r\n"
      "      <v10:ProcessingOptions>INCLUDE_DETAILED_SCANS</v10:ProcessingOptions>\r\n"
      "    </v10:TrackRequest>\r\n"
      "  </soapenv:Body>\r\n"
      "</soapenv:Envelope>";
  EXPECT_EQ(Body(request), expected);
  EXPECT_EQ(t.Status(), isFinished);
  EXPECT_EQ(t.IdentificationNumber(), u"2456000~123456789012~FX");
  EXPECT_EQ(t.Activities()->Count(), 2);
}

TEST_F(TrackExchange, AnErrorStatusIsReadAndParsedLikeAnAnswer) {
  // A carrier's fault document comes with an error status; it reaches
  // LastXMLResponse and simply holds no shipment.
  const std::string fault =
      "<soapenv:Envelope><soapenv:Body><soapenv:Fault><faultstring>Authentication Failed"
      "</faultstring></soapenv:Fault></soapenv:Body></soapenv:Envelope>";
  for (const char* status : {"500 Internal Server Error", "404 Not Found"}) {
    carrier->Answer(fault, status);
    TKwFedExTracker t(nullptr);
    Aim(t);
    EXPECT_NE(Run(t), "");
    EXPECT_EQ(t.Status(), isFinished) << status;
    EXPECT_EQ(StringToBytes(t.LastXMLResponse()), fault) << status;
    EXPECT_EQ(t.Activities()->Count(), 0);
  }
}

TEST_F(TrackExchange, UntrustedOrMisnamedCertificatesSendNothing) {
  carrier->Answer(test::kUPSAnswer);
  struct Case {
    const char* what;
    bool trustCA;
    bool wrongName;
  } cases[] = {{"unknown CA", false, false}, {"wrong host name", true, true}};
  for (const Case& c : cases) {
    TKwUPSTracker t(nullptr);
    Aim(t, c.wrongName ? server->WrongNameHttpsPort() : 0);
    if (!c.trustCA) t.SetCACertFile(String());  // the system's store knows no test CA
    t.SetTrackingNumber(u"1Z999");
    EXPECT_EQ(Run(t, false), "") << c.what;  // the number never reached the carrier
    EXPECT_EQ(t.Status(), isFailed) << c.what;
    EXPECT_FALSE(t.ErrorText().empty()) << c.what;
    EXPECT_EQ(t.LastXMLResponse(), u"Error: " + t.ErrorText() + u"\r\n") << c.what;
    EXPECT_EQ(t.Activities()->Count(), 0) << c.what;
    EXPECT_EQ(t.IdentificationNumber(), u"") << c.what;
  }
}

TEST_F(TrackExchange, TheAnswerIsBoundedBySizeAndByTheProgressHandler) {
  carrier->Answer(test::kUPSAnswer);
  const auto size = static_cast<std::uint32_t>(test::kUPSAnswer.size());
  struct Case {
    std::uint32_t max;
    bool abort;
    bool ok;
  } cases[] = {{size, false, true}, {size - 1, false, false}, {size, true, false}};
  for (const Case& c : cases) {
    TKwUPSTracker t(nullptr);
    Aim(t);
    t.SetMaxResponseSize(c.max);
    std::vector<std::pair<std::int32_t, std::int32_t>> calls;
    t.OnProgress = [&](TObject*, std::int32_t cur, std::int32_t max, bool& abort) {
      calls.emplace_back(cur, max);
      abort = c.abort;
    };
    Run(t, c.ok);
    EXPECT_EQ(t.Activities()->Count(), c.ok ? 2 : 0) << c.max;
    EXPECT_EQ(t.IdentificationNumber().empty(), !c.ok) << c.max;
    if (!c.ok) {
      EXPECT_EQ(t.LastXMLResponse(), u"Error: " + t.ErrorText() + u"\r\n");
    }
    // The answer is one piece: too large, it fails before any progress.
    if (c.max < size) continue;
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], std::make_pair(std::min<std::int32_t>(2050, static_cast<std::int32_t>(size)), 10240));
  }
}

TEST_F(TrackExchange, TheErrorGoesThroughTheUserInterface) {
  TBackendScope<TScriptedBackend> ui;
  ui->QueueMessageAnswer(IDCANCEL);
  TKwUPSTracker t(nullptr);
  Aim(t, server->WrongNameHttpsPort());
  t.SetErrorDialog(true);
  EXPECT_FALSE(t.Execute());
  ASSERT_EQ(ui->Messages.size(), 1u);
  EXPECT_EQ(ui->Messages[0].Text, t.ErrorText());
  EXPECT_EQ(t.LastXMLResponse(), u"Error: " + t.ErrorText() + u"\r\nAbort the operation\r\n");
}

// Carriers that misbehave after the connection, on plain HTTP.
TEST(TrackFaults, EveryWaitIsBoundedByTimeout) {
  const std::string head = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(test::kUPSAnswer.size()) + "\r\n\r\n";
  struct Case {
    const char* what;
    FakeServer::ConnectionHandler handler;
  } cases[] = {
      {"no answer", FakeServer::Stall(20000)},
      {"stalls in the body",
       [&](FakeConnection& c) {
         if (ReadRequest(c) && c.Send(head + test::kUPSAnswer.substr(0, 1500))) c.Sleep(20000);
       }},
      {"cut short", FakeServer::CloseMidAnswer(head + test::kUPSAnswer.substr(0, 1500), "</TrackRequest>")},
  };
  for (Case& c : cases) {
    FakeServer server(c.handler);
    TKwUPSTracker t(nullptr);
    t.SetErrorDialog(false);
    t.SetService(isHTTP);
    t.SetHost(u"127.0.0.1");
    t.SetPort(static_cast<std::uint16_t>(server.Port()));
    t.SetTimeout(1000);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(t.Execute()) << c.what;
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(3000)) << c.what;
    EXPECT_EQ(t.Status(), isFailed) << c.what;
    EXPECT_EQ(t.LastXMLResponse(), u"Error: " + t.ErrorText() + u"\r\n") << c.what;
    EXPECT_EQ(t.Activities()->Count(), 0) << c.what;
    EXPECT_EQ(t.IdentificationNumber(), u"") << c.what;
  }
}

TEST(TrackFaults, ARedirectionIsNotFollowed) {
  // Tracking numbers and credentials go to the carrier's host only: a
  // redirection of the POST to another server fails the job.
  FakeServer elsewhere([](FakeConnection& c) {
    if (ReadRequest(c)) c.Send("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n");
  });
  for (const char* status :
       {"301 Moved Permanently", "302 Found", "307 Temporary Redirect", "308 Permanent Redirect"}) {
    FakeServer carrier([&](FakeConnection& c) {
      if (ReadRequest(c))
        c.Send(std::string("HTTP/1.0 ") + status + "\r\nLocation: http://127.0.0.1:" +
               std::to_string(elsewhere.Port()) + "/steal\r\nContent-Length: 0\r\n\r\n");
    });
    TKwFedExTracker t(nullptr);
    t.SetErrorDialog(false);
    t.SetService(isHTTP);
    t.SetHost(u"127.0.0.1");
    t.SetPort(static_cast<std::uint16_t>(carrier.Port()));
    t.SetTimeout(2000);
    EXPECT_FALSE(t.Execute()) << status;
    EXPECT_EQ(t.Status(), isFailed) << status;
    EXPECT_NE(t.ErrorText().find(u"redirection"), String::npos) << StringToUtf8(t.ErrorText());
    EXPECT_EQ(carrier.ConnectionCount(), 1u) << status;
  }
  EXPECT_EQ(elsewhere.ConnectionCount(), 0u);
}

TEST(TrackFaults, AControlCharacterInTheRequestIsRefusedUnsent) {
  FakeServer carrier([](FakeConnection& c) {
    if (ReadRequest(c)) c.Send("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n");
  });
  struct Case {
    const char* what;
    String number, key;
    const char16_t* shown;
  } cases[] = {
      {"an escape in the number", u"1Z\x1B[2J", u"", u"U+001B"},
      {"a zero in the number", String(u"1Z\0A", 4), u"", u"U+0000"},
      {"a bell in the key", u"1Z999", u"KEY\a", u"U+0007"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TKwUPSTracker ups(nullptr);
    ups.SetAccessLicenseNumber(c.key);
    TKwFedExTracker fedex(nullptr);
    fedex.WebAuthenticationDetail()->UserCredential()->SetKey(c.key);
    for (TKwInetCustomTracker* t :
         {static_cast<TKwInetCustomTracker*>(&ups), static_cast<TKwInetCustomTracker*>(&fedex)}) {
      t->SetErrorDialog(false);
      t->SetService(isHTTP);
      t->SetHost(u"127.0.0.1");
      t->SetPort(static_cast<std::uint16_t>(carrier.Port()));
      t->SetTrackingNumber(c.number);
      EXPECT_FALSE(t->Execute());
      EXPECT_EQ(t->Status(), isFailed);
      EXPECT_NE(t->ErrorText().find(u"control character " + String(c.shown)), String::npos)
          << StringToUtf8(t->ErrorText());
      EXPECT_EQ(t->LastXMLRequest(), u"");
    }
  }
  EXPECT_EQ(carrier.ConnectionCount(), 0u);
}

TEST(TrackFaults, NoHostFailsAtOnce) {
  TKwFedExTracker t(nullptr);
  t.SetErrorDialog(false);
  t.SetHost(String());
  EXPECT_FALSE(t.Execute());
  EXPECT_EQ(t.Status(), isFailed);
  EXPECT_EQ(t.LastXMLRequest(), u"");
  EXPECT_FALSE(t.ErrorText().empty());
}

}  // namespace
}  // namespace kwinet
