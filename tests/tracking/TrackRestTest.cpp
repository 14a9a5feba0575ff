// The carriers' REST answers read into the shape the XML walks give: the
// token answer, the track answers (the same shipment as the XML answers of
// TrackAnswers.h), the unknown-number and error documents, and the FedEx
// request body.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "kwinet/tracking/KwIFedEx.h"
#include "kwinet/tracking/KwIUPS.h"
#include "kwinet/tracking/TrackRest.h"
#include "support/CarrierAnswers.h"
#include "tracking/TrackAnswers.h"

namespace kwinet {
namespace {

TEST(TrackRest, TokenAnswers) {
  struct Case {
    const char* what;
    std::string answer;
    bool ok;
    std::string token;
    std::int64_t expires;
  } cases[] = {
      {"UPS: expiry as a string", R"({"token_type":"Bearer","issued_at":"1700000000000","client_id":"c",)"
                                  R"("access_token":"eyJr.a-b_c","expires_in":"14399","status":"approved"})",
       true, "eyJr.a-b_c", 14399},
      {"FedEx: expiry as a number", R"({"access_token":"t0k","token_type":"bearer","expires_in":3599,"scope":"CXS"})",
       true, "t0k", 3599},
      {"no type, no expiry", R"({"access_token":"t"})", true, "t", 0},
      {"unreadable expiry", R"({"access_token":"t","expires_in":"soon"})", true, "t", 0},
      {"negative expiry", R"({"access_token":"t","expires_in":-5})", true, "t", 0},
      {"another type", R"({"access_token":"t","token_type":"mac"})", false, "", 0},
      {"a blank in the token", R"({"access_token":"t t"})", false, "", 0},
      {"a line end in the token", R"({"access_token":"t\r\nX-Evil: 1"})", false, "", 0},
      {"an empty token", R"({"access_token":""})", false, "", 0},
      {"a number as token", R"({"access_token":12})", false, "", 0},
      {"an error document", R"({"response":{"errors":[{"code":"10401","message":"ClientId is Invalid"}]}})", false,
       "", 0},
      {"not JSON", "<html>", false, "", 0},
  };
  for (const Case& c : cases) {
    TOAuthTokenAnswer t;
    EXPECT_EQ(ReadOAuthTokenAnswer(c.answer, t), c.ok) << c.what;
    EXPECT_EQ(t.AccessToken, c.token) << c.what;
    EXPECT_EQ(t.ExpiresIn, c.expires) << c.what;
  }
}

TEST(TrackRest, TheServicesOwnMessage) {
  struct Case {
    std::string answer;
    String message;
  } cases[] = {
      {support::kUPSRestBadToken, u"250002: Invalid Authentication Information."},
      {support::kUPSRestUnknown, u"151044: No tracking information available"},
      {support::kFedExRestBadClient,
       u"NOT.AUTHORIZED.ERROR: The given client credentials were not valid. Please modify your request and try "
       u"again."},
      {R"({"errors":[{"message":"only a message"}]})", u"only a message"},
      {R"({"error":{"code":400,"message":"Bad"}})", u"400: Bad"},
      {R"({"error":"invalid_client","error_description":"Client authentication failed"})",
       u"Client authentication failed"},
      {R"({"errors":[]})", u""},
      {"Bad Gateway", u""},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadServiceErrorMessage(c.answer), c.message) << c.answer;
}

// The same shipment through both interfaces gives the same values, for the
// fields the REST answer carries. The REST answers carry no shipper number
// at UPS and no place codes, descriptions or signatures for UPS's
// activities; FedEx's pickup date is its ACTUAL_PICKUP (the XML walk takes
// the delivery time stamp).
TEST(TrackRest, ASeenShipmentReadsAsItsXMLAnswerDoes) {
  struct Case {
    const char* carrier;
    void (*classic)(const String&, TKwShipmentValues&, TKwInetActivities&);
    TRestTrackResult (*rest)(std::string_view, TKwShipmentValues&, TKwInetActivities&);
    std::string xml, json;
    bool locationCodes;
    TDateTime pickup;
  } cases[] = {
      {"UPS", ReadUPSTrackResponse, ReadUPSTrackAnswer, test::kUPSAnswer, support::kUPSRestAnswer, false,
       EncodeDate(2013, 5, 6)},
      {"FedEx", ReadFedExTrackResponse, ReadFedExTrackAnswer, test::kFedExAnswer, support::kFedExRestAnswer, true,
       EncodeDate(2014, 1, 7) + EncodeTime(9, 15, 0, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.carrier);
    TKwShipmentValues xs, js;
    TKwInetActivities xa(nullptr), ja(nullptr);
    c.classic(BytesToString(c.xml), xs, xa);
    const TRestTrackResult r = c.rest(c.json, js, ja);
    EXPECT_TRUE(r.Found);
    EXPECT_EQ(r.Error, u"");
    EXPECT_EQ(js.IdentificationNumber, xs.IdentificationNumber);
    EXPECT_EQ(js.ServiceCode, xs.ServiceCode);
    EXPECT_EQ(js.ServiceDescription, xs.ServiceDescription);
    EXPECT_EQ(js.ShipmentWeight, xs.ShipmentWeight);
    EXPECT_EQ(js.ShipmentWeightUnits, xs.ShipmentWeightUnits);
    EXPECT_EQ(js.ShipperAddress->Text(), xs.ShipperAddress->Text());
    EXPECT_EQ(js.ShipToAddress->Text(), xs.ShipToAddress->Text());
    EXPECT_NE(js.ShipToAddress->Text(), u"");
    EXPECT_EQ(js.PickupDate, c.pickup);
    ASSERT_EQ(ja.Count(), xa.Count());
    ASSERT_EQ(ja.Count(), 2);
    for (int i = 0; i < ja.Count(); ++i) {
      const TKwInetActivity& x = *xa.GetActivity(i);
      const TKwInetActivity& j = *ja.GetActivity(i);
      EXPECT_EQ(j.Location()->Text(), x.Location()->Text()) << i;
      EXPECT_EQ(j.StatusTypeCode(), x.StatusTypeCode()) << i;
      EXPECT_EQ(j.StatusTypeDescription(), x.StatusTypeDescription()) << i;
      EXPECT_EQ(j.StatusCode(), x.StatusCode()) << i;
      // A time with an offset keeps its wall-clock time; a missing time is 0.
      EXPECT_EQ(j.DateTime(), x.DateTime()) << i;
      if (c.locationCodes) {
        EXPECT_EQ(j.LocationCode(), x.LocationCode()) << i;
      }
    }
    EXPECT_NE(ja.GetActivity(0)->DateTime(), 0);
  }
}

TEST(TrackRest, NoShipmentGivesTheServicesReasonAndChangesNothing) {
  struct Case {
    const char* what;
    bool ups;
    std::string answer;
    String error;
  } cases[] = {
      {"UPS 404", true, support::kUPSRestUnknown, u"151044: No tracking information available"},
      {"UPS warnings", true,
       R"({"trackResponse":{"shipment":[{"inquiryNumber":"1Z0","warnings":[{"code":"TW0001",)"
       R"("message":"Tracking Information Not Found"}]}]}})",
       u"TW0001: Tracking Information Not Found"},
      {"UPS empty shipment list", true, R"({"trackResponse":{"shipment":[]}})", u""},
      {"FedEx error in the result", false, support::kFedExRestUnknown,
       u"TRACKING.TRACKINGNUMBER.NOTFOUND: Tracking number cannot be found. Please correct the tracking number and "
       u"try again."},
      {"FedEx error document", false, support::kFedExRestBadToken,
       u"NOT.AUTHORIZED.ERROR: Access token expired. Please modify your request and try again."},
      {"FedEx not JSON", false, "<html>502</html>", u""},
  };
  for (const Case& c : cases) {
    TKwShipmentValues s;
    s.IdentificationNumber = u"kept";
    TKwInetActivities a(nullptr);
    const TRestTrackResult r =
        c.ups ? ReadUPSTrackAnswer(c.answer, s, a) : ReadFedExTrackAnswer(c.answer, s, a);
    EXPECT_FALSE(r.Found) << c.what;
    EXPECT_EQ(r.Error, c.error) << c.what;
    EXPECT_EQ(s.IdentificationNumber, u"kept") << c.what;
    EXPECT_EQ(a.Count(), 0) << c.what;
  }
}

TEST(TrackRest, TheFedExBodyIsBuiltAsJSON) {
  EXPECT_EQ(FedExTrackBody(u"123456789012"),
            R"({"includeDetailedScans":true,"trackingInfo":[{"trackingNumberInfo":{"trackingNumber":"123456789012"}}]})");
  // Quotes, a backslash, a line break and letters beyond ASCII stay text.
  const String number = u"1\"2\\3\n\u00E9\U0001F4E6";
  const auto body = nlohmann::json::parse(FedExTrackBody(number));
  EXPECT_EQ(Utf8ToString(body["trackingInfo"][0]["trackingNumberInfo"]["trackingNumber"].get<std::string>()), number);
  // A lone surrogate cannot be sent as UTF-8: it becomes U+FFFD.
  const auto lone = nlohmann::json::parse(FedExTrackBody(String(u"1") + char16_t(0xD800)));
  EXPECT_EQ(lone["trackingInfo"][0]["trackingNumberInfo"]["trackingNumber"], "1\xEF\xBF\xBD");
}

}  // namespace
}  // namespace kwinet
