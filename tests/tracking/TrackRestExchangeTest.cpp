// The trackers' REST interfaces over real TLS: nginx with a test CA in front
// of the carrier emulator, which checks every request as the services do.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "kwinet/tracking/KwIFedEx.h"
#include "kwinet/tracking/KwIUPS.h"
#include "kwinet/tracking/OAuthToken.h"
#include "kwinet/tracking/TrackRest.h"
#include "peers/FakeServer.h"
#include "peers/NginxSuite.h"
#include "support/CarrierService.h"
#include "tracking/TrackAnswers.h"

namespace kwinet {
namespace {

using support::TCarrierService;

struct TCarrier {
  const char* name;
  bool ups;
  const char* clientId;
  std::string number, unknown, xml;
};

const TCarrier kCarriers[] = {
    {"UPS", true, TCarrierService::kUPSClientId, support::kUPSRestNumber, "1Z0000000000000000", test::kUPSAnswer},
    {"FedEx", false, TCarrierService::kFedExClientId, support::kFedExRestNumber, "999999999999",
     test::kFedExAnswer},
};

class TrackRestExchange : public test::TNginxSuite {
 protected:
  static void SetUpTestSuite() {
    carrier = new TCarrierService;
    test::TNginxOptions options;
    options.Https = true;
    options.ServerExtra = carrier->NginxLocations();
    StartNginx(options);
  }
  static void TearDownTestSuite() {
    StopNginx();
    delete carrier;
  }
  void SetUp() override {
    TNginxSuite::SetUp();
    OAuthClearTokens();
    carrier->SetExpiresIn(3600);
    carrier->SetTokenDelay(0);
  }
  void TearDown() override { EXPECT_TRUE(carrier->Problems().empty()) << carrier->Problems().front(); }

  static std::unique_ptr<TKwInetCustomTracker> Tracker(const TCarrier& c, const std::string& number) {
    std::unique_ptr<TKwInetCustomTracker> t;
    if (c.ups)
      t = std::make_unique<TKwUPSTracker>(nullptr);
    else
      t = std::make_unique<TKwFedExTracker>(nullptr);
    t->SetApiKind(akRest);
    t->SetHost(u"https://localhost:" + IntToStr(server->HttpsPort()));
    t->SetCACertFile(Utf8ToString(server->CAFile()));
    t->SetErrorDialog(false);
    t->SetClientId(Utf8ToString(c.clientId));
    t->SetClientSecret(Utf8ToString(TCarrierService::kClientSecret));
    t->SetTrackingNumber(Utf8ToString(number));
    return t;
  }

  // Neither the secret nor any token stands in what the tracker shows.
  static void ExpectNothingSecret(TKwInetCustomTracker& t) {
    std::vector<std::string> secrets = carrier->Tokens();
    secrets.push_back(TCarrierService::kClientSecret);
    for (const std::string& s : secrets)
      for (const String& shown : {t.ErrorText(), t.LastXMLRequest(), t.LastXMLResponse()})
        EXPECT_EQ(StringToUtf8(shown).find(s), std::string::npos) << s;
  }

  static TCarrierService* carrier;
};
TCarrierService* TrackRestExchange::carrier = nullptr;

TEST_F(TrackRestExchange, AShipmentReadsAsTheClassicWalkReadsIt) {
  for (const TCarrier& c : kCarriers) {
    SCOPED_TRACE(c.name);
    auto t = Tracker(c, c.number);
    ASSERT_TRUE(t->Execute()) << StringToUtf8(t->ErrorText());
    EXPECT_EQ(t->Status(), isFinished);
    EXPECT_FALSE(t->NoShipmentAnswer());
    // The reference: the classic walk over the same shipment's XML answer.
    TKwShipmentValues xs;
    TKwInetActivities xa(nullptr);
    (c.ups ? ReadUPSTrackResponse : ReadFedExTrackResponse)(BytesToString(c.xml), xs, xa);
    EXPECT_EQ(t->IdentificationNumber(), xs.IdentificationNumber);
    EXPECT_EQ(t->ServiceCode(), xs.ServiceCode);
    EXPECT_EQ(t->ServiceDescription(), xs.ServiceDescription);
    EXPECT_EQ(t->ShipmentWeight(), xs.ShipmentWeight);
    EXPECT_EQ(t->ShipmentWeightUnits(), xs.ShipmentWeightUnits);
    EXPECT_EQ(t->ShipToAddress()->Text(), xs.ShipToAddress->Text());
    EXPECT_EQ(t->ShipperAddress()->Text(), xs.ShipperAddress->Text());
    if (c.ups) {
      EXPECT_EQ(t->PickupDate(), xs.PickupDate);
    }
    ASSERT_EQ(t->Activities()->Count(), xa.Count());
    for (int i = 0; i < xa.Count(); ++i) {
      const TKwInetActivity& x = *xa.GetActivity(i);
      const TKwInetActivity& j = *t->Activities()->GetActivity(i);
      EXPECT_EQ(j.Location()->Text(), x.Location()->Text());
      EXPECT_EQ(j.StatusTypeCode(), x.StatusTypeCode());
      EXPECT_EQ(j.StatusTypeDescription(), x.StatusTypeDescription());
      EXPECT_EQ(j.DateTime(), x.DateTime());
    }
    // What was asked and answered, never the token.
    EXPECT_EQ(StringToBytes(t->LastXMLResponse()), c.ups ? support::kUPSRestAnswer : support::kFedExRestAnswer);
    EXPECT_EQ(StringToUtf8(t->LastXMLRequest()),
              c.ups ? "GET /api/track/v1/details/" + c.number + "?locale=en_US&returnSignature=false"
                    : FedExTrackBody(Utf8ToString(c.number)));
    ExpectNothingSecret(*t);
  }
}

TEST_F(TrackRestExchange, ATokenIsAskedForOncePerClientAndAgainWhenRevoked) {
  for (const TCarrier& c : kCarriers) {
    SCOPED_TRACE(c.name);
    const int before = carrier->TokenRequests(c.clientId);
    const int data = carrier->DataRequests();
    auto a = Tracker(c, c.number);
    auto b = Tracker(c, c.number);
    EXPECT_TRUE(a->Execute());
    EXPECT_TRUE(b->Execute());
    EXPECT_EQ(carrier->TokenRequests(c.clientId), before + 1);
    // A token revoked before its time: one 401, one new token, one more try.
    carrier->RevokeTokens();
    a->Clear();
    EXPECT_TRUE(a->Execute()) << StringToUtf8(a->ErrorText());
    EXPECT_EQ(carrier->TokenRequests(c.clientId), before + 2);
    EXPECT_EQ(carrier->DataRequests(), data + 4);
    EXPECT_EQ(a->Activities()->Count(), 2);
  }
  // No secret in any request but the token request; no token in that.
  for (const auto& [token, request] : carrier->Requests()) {
    if (token) continue;
    EXPECT_EQ(request.find(TCarrierService::kClientSecret), std::string::npos) << request;
    EXPECT_EQ(request.find("Basic "), std::string::npos) << request;
  }
}

TEST_F(TrackRestExchange, ATokenIsReusedUntilShortlyBeforeItExpires) {
  const TCarrier& c = kCarriers[1];
  carrier->SetExpiresIn(static_cast<int>(kOAuthExpiryMargin.count()) + 1);
  const int before = carrier->TokenRequests(c.clientId);
  auto t = Tracker(c, c.number);
  EXPECT_TRUE(t->Execute());
  EXPECT_TRUE(t->Execute());
  EXPECT_EQ(carrier->TokenRequests(c.clientId), before + 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  EXPECT_TRUE(t->Execute());
  EXPECT_EQ(carrier->TokenRequests(c.clientId), before + 2);
}

TEST_F(TrackRestExchange, CallersOfOneClientShareOneTokenRequest) {
  const TCarrier& c = kCarriers[0];
  carrier->SetTokenDelay(300);
  const int before = carrier->TokenRequests(c.clientId);
  auto a = Tracker(c, c.number);
  auto b = Tracker(c, c.number);
  bool okA = false, okB = false;
  std::thread other([&] { okA = a->Execute(); });
  okB = b->Execute();
  other.join();
  EXPECT_TRUE(okA);
  EXPECT_TRUE(okB);
  EXPECT_EQ(carrier->TokenRequests(c.clientId), before + 1);
}

TEST_F(TrackRestExchange, NoShipmentTakesTheClassicFailurePathWithTheServicesMessage) {
  struct Case {
    const char* what;
    bool unknown;
    std::string secret;
    const char16_t* ups;
    const char16_t* fedex;
  } cases[] = {
      {"unknown number", true, TCarrierService::kClientSecret, u"No tracking information available",
       u"TRACKING.TRACKINGNUMBER.NOTFOUND"},
      {"refused secret", false, "wrong", u"ClientId is Invalid", u"The given client credentials were not valid"},
  };
  for (const Case& k : cases) {
    for (const TCarrier& c : kCarriers) {
      SCOPED_TRACE(std::string(k.what) + " " + c.name);
      auto t = Tracker(c, k.unknown ? c.unknown : c.number);
      t->SetClientSecret(Utf8ToString(k.secret));
      EXPECT_FALSE(t->Execute());
      EXPECT_EQ(t->Status(), isFailed);
      EXPECT_TRUE(t->NoShipmentAnswer());
      EXPECT_NE(t->ErrorText().find(c.ups ? k.ups : k.fedex), String::npos) << StringToUtf8(t->ErrorText());
      EXPECT_EQ(t->LastXMLResponse(), u"Error: " + t->ErrorText() + u"\r\n");
      EXPECT_EQ(t->Activities()->Count(), 0);
      ExpectNothingSecret(*t);
      EXPECT_EQ(StringToUtf8(t->ErrorText()).find("wrong"), std::string::npos);
    }
  }
}

TEST_F(TrackRestExchange, A429WithRetryAfterIsTriedOnceMore) {
  for (const TCarrier& c : kCarriers) {
    auto t = Tracker(c, c.number);
    carrier->ThrottleOnce(1);
    EXPECT_TRUE(t->Execute()) << StringToUtf8(t->ErrorText());
    EXPECT_EQ(t->Activities()->Count(), 2) << c.name;
  }
}

TEST_F(TrackRestExchange, NothingIsSentForABadNumberOrMissingCredentials) {
  const std::size_t before = carrier->Requests().size();
  for (const TCarrier& c : kCarriers) {
    auto t = Tracker(c, "1Z\r\nX: y");
    EXPECT_FALSE(t->Execute());
    EXPECT_NE(t->ErrorText().find(u"control character U+000D"), String::npos) << StringToUtf8(t->ErrorText());
    auto u = Tracker(c, c.number);
    u->SetClientSecret(String());
    EXPECT_FALSE(u->Execute());
    EXPECT_FALSE(u->NoShipmentAnswer());
    EXPECT_NE(u->ErrorText().find(u"ClientSecret"), String::npos);
  }
  EXPECT_EQ(carrier->Requests().size(), before);
}

TEST_F(TrackRestExchange, TheNumberIsOnePathSegment) {
  auto t = Tracker(kCarriers[0], "1Z/../x y?z");
  EXPECT_FALSE(t->Execute());
  EXPECT_TRUE(t->NoShipmentAnswer());
  EXPECT_EQ(t->LastXMLRequest(), u"GET /api/track/v1/details/1Z%2F..%2Fx%20y%3Fz?locale=en_US&returnSignature=false");
}

}  // namespace
}  // namespace kwinet

namespace kwinet {
namespace {

// Which host each Host setting means, seen at a proxy on loopback that
// answers every CONNECT with 403 (nothing leaves this machine).
TEST(TrackRestHost, AnEmptyOrClassicHostMeansTheProductionHosts) {
  test::ClearProxyEnvironment();
  test::FakeServer proxy([](test::FakeConnection& c) {
    if (c.ReadUntil("\r\n\r\n")) c.Send("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n");
  });
  struct Case {
    bool ups;
    String host;
    std::string connect;
  } cases[] = {
      {true, u"", "CONNECT onlinetools.ups.com:443 "},
      {true, u"onlinetools.ups.com", "CONNECT onlinetools.ups.com:443 "},
      {false, u"", "CONNECT apis.fedex.com:443 "},
      {false, u"wsbeta.fedex.com", "CONNECT apis.fedex.com:443 "},
      {false, u"https://gateway.example:8443", "CONNECT gateway.example:8443 "},
  };
  std::size_t seen = 0;
  for (const Case& c : cases) {
    std::unique_ptr<TKwInetCustomTracker> t;
    if (c.ups)
      t = std::make_unique<TKwUPSTracker>(nullptr);
    else
      t = std::make_unique<TKwFedExTracker>(nullptr);
    t->SetApiKind(akRest);
    t->SetHost(c.host);
    t->SetErrorDialog(false);
    t->SetClientId(u"id");
    t->SetClientSecret(u"secret");
    t->SetTrackingNumber(u"1");
    t->Proxy()->SetUseProxy(true);
    t->Proxy()->SetServer(u"127.0.0.1");
    t->Proxy()->SetPort(proxy.Port());
    EXPECT_FALSE(t->Execute());
    ASSERT_TRUE(proxy.WaitForConnections(++seen));
    EXPECT_EQ(proxy.Received(seen - 1).rfind(c.connect, 0), 0u) << proxy.Received(seen - 1);
  }
}

}  // namespace
}  // namespace kwinet
