// The carriers' answer walks, over canned answers: what fills the shipment
// values and the activities, and what leaves them alone.
#include <gtest/gtest.h>

#include "kwinet/tracking/KwIFedEx.h"
#include "kwinet/tracking/KwIUPS.h"
#include "tracking/TrackAnswers.h"

namespace kwinet {
namespace {

using test::kFedExAnswer;
using test::kUPSAnswer;

TDateTime At(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
  return EncodeDate(y, m, d) + EncodeTime(h, n, s, 0);
}

String Bytes(const std::string& s) {
  return BytesToString(s);
}

TEST(UPSWalk, FillsTheShipmentAndOneActivityPerActivityElement) {
  TKwShipmentValues v;
  TKwInetActivities acts(nullptr);
  ReadUPSTrackResponse(Bytes(kUPSAnswer), v, acts);

  EXPECT_EQ(v.ShipperNumber, u"12345E");
  EXPECT_EQ(v.ShipperAddress->Text(), u"12 Main St TIMONIUM 21093 MD US");
  // UTF-8 from the wire arrives decoded.
  EXPECT_EQ(v.ShipToAddress->Text(), u"4 rue de la Paix Z\u00FCrich 8001 CH");
  EXPECT_EQ(v.IdentificationNumber, u"1Z12345E0291980793");
  EXPECT_DOUBLE_EQ(v.PickupDate, At(2013, 5, 6));
  EXPECT_EQ(v.ServiceCode, u"001");
  EXPECT_EQ(v.ServiceDescription, u"NEXT DAY AIR");
  EXPECT_EQ(v.ShipmentWeight, u"2.00");
  EXPECT_EQ(v.ShipmentWeightUnits, u"LBS");

  // The lower-case "activity" and the package weight add nothing.
  ASSERT_EQ(acts.Count(), 2);
  const TKwInetActivity& a = *acts.GetActivity(0);
  EXPECT_EQ(a.LocationCode(), u"ML");
  EXPECT_EQ(a.LocationDescription(), u"FRONT DOOR");
  EXPECT_EQ(a.LocationSignedForByName(), u"MEIER");
  EXPECT_EQ(a.Location()->Text(), u"Z\u00FCrich CH");
  EXPECT_EQ(a.StatusTypeCode(), u"D");
  EXPECT_EQ(a.StatusTypeDescription(), u"DELIVERED");
  EXPECT_EQ(a.StatusCode(), u"KB");
  EXPECT_DOUBLE_EQ(a.DateTime(), At(2013, 5, 7, 14, 30, 9));
  const TKwInetActivity& b = *acts.GetActivity(1);
  EXPECT_EQ(b.Location()->City(), u"ROISSY");
  EXPECT_EQ(b.StatusTypeDescription(), u"ARRIVAL SCAN");
  EXPECT_EQ(b.StatusCode(), u"");
  EXPECT_DOUBLE_EQ(b.DateTime(), 0);  // a date with an empty time

  // A second answer appends its activities; what it lacks keeps its value.
  ReadUPSTrackResponse(
      u"<TrackResponse><Shipment><ShipmentIdentificationNumber>2</ShipmentIdentificationNumber>"
      u"<PickupDate>2013013</PickupDate><Package><Activity><Date>20131301</Date><Time>120000</Time></Activity>"
      u"</Package></Shipment></TrackResponse>",
      v, acts);
  EXPECT_EQ(v.IdentificationNumber, u"2");
  EXPECT_EQ(v.ShipToAddress->City(), u"Z\u00FCrich");
  EXPECT_EQ(v.ShipperNumber, u"12345E");
  EXPECT_DOUBLE_EQ(v.PickupDate, At(2013, 5, 6));  // "2013013" is no date
  ASSERT_EQ(acts.Count(), 3);
  EXPECT_DOUBLE_EQ(acts.GetActivity(2)->DateTime(), 0);  // month 13
}

TEST(UPSWalk, AnswersThatAreNoTrackResponseChangeNothing) {
  const String answers[] = {
      u"",
      u"Error: SSL certificate problem: unable to get local issuer certificate\r\n",
      u"<?xml version=\"1.0\"?><TrackResponse><Response><ResponseStatusCode>0</ResponseStatusCode><Error>"
      u"<ErrorSeverity>Hard</ErrorSeverity><ErrorCode>151018</ErrorCode>"
      u"<ErrorDescription>Invalid tracking number</ErrorDescription></Error></Response></TrackResponse>",
      u"<html><body>404 Not Found</body></html>",
  };
  for (const String& answer : answers) {
    TKwShipmentValues v;
    v.IdentificationNumber = u"kept";
    TKwInetActivities acts(nullptr);
    ReadUPSTrackResponse(answer, v, acts);
    EXPECT_EQ(v.IdentificationNumber, u"kept") << StringToUtf8(answer);
    EXPECT_EQ(acts.Count(), 0) << StringToUtf8(answer);
  }
}

TEST(UPSWalk, DecodesUtf8WhateverTheDeclarationSays) {
  // A declared "utf-8" is not decoded twice; bytes that are no UTF-8 are
  // taken as they come.
  struct Case {
    std::string head;
    std::string city;
    String expected;
  } cases[] = {
      {"", "Z\xC3\xBCrich", u"Z\u00FCrich"},
      {"<?xml version=\"1.0\" encoding=\"utf-8\" ?>", "Z\xC3\xBCrich", u"Z\u00FCrich"},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "Z\xC3\xBCrich", u"Z\u00FCrich"},
      {"<?xml version=\"1.0\" encoding=\"iso-8859-1\" ?>", "Z\xFCrich", u"Z\u00FCrich"},
  };
  for (const Case& c : cases) {
    TKwShipmentValues v;
    TKwInetActivities acts(nullptr);
    ReadUPSTrackResponse(
        Bytes(c.head + "<Shipment><ShipTo><Address><City>" + c.city + "</City></Address></ShipTo></Shipment>"), v,
        acts);
    EXPECT_EQ(v.ShipToAddress->City(), c.expected) << c.head;
  }
}

TEST(FedExWalk, FillsTheShipmentAndOneActivityPerEventsElement) {
  TKwShipmentValues v;
  v.ShipperNumber = u"mine";
  TKwInetActivities acts(nullptr);
  ReadFedExTrackResponse(Bytes(kFedExAnswer), v, acts);

  EXPECT_EQ(v.ShipToAddress->Text(), u"DENVER CO United States");
  EXPECT_EQ(v.IdentificationNumber, u"2456000~123456789012~FX");
  EXPECT_DOUBLE_EQ(v.PickupDate, At(2014, 1, 9, 13, 31));
  EXPECT_EQ(v.ServiceCode, u"FEDEX_GROUND");
  EXPECT_EQ(v.ServiceDescription, u"FedEx Ground");
  EXPECT_EQ(v.ShipmentWeight, u"12.5");
  EXPECT_EQ(v.ShipmentWeightUnits, u"LB");
  // Never the carrier's to fill.
  EXPECT_EQ(v.ShipperNumber, u"mine");
  EXPECT_EQ(v.ShipperAddress->Text(), u"");

  ASSERT_EQ(acts.Count(), 2);
  const TKwInetActivity& a = *acts.GetActivity(0);
  EXPECT_DOUBLE_EQ(a.DateTime(), At(2014, 1, 9, 13, 31));  // the offset ignored
  EXPECT_EQ(a.StatusTypeCode(), u"DL");
  EXPECT_EQ(a.StatusTypeDescription(), u"Delivered");
  EXPECT_EQ(a.LocationCode(), u"DELIVERY_LOCATION");
  EXPECT_EQ(a.Location()->Text(), u"DENVER 80202 CO United States");
  EXPECT_EQ(a.LocationDescription(), u"");
  EXPECT_EQ(a.StatusCode(), u"");
  EXPECT_EQ(acts.GetActivity(1)->Location()->City(), u"COMMERCE CITY");
  EXPECT_DOUBLE_EQ(acts.GetActivity(1)->DateTime(), At(2014, 1, 8, 4, 2));
}

TEST(FedExWalk, PrefixedNamesAndFaultsYieldNothing) {
  std::string prefixed = kFedExAnswer;
  for (const std::string tag : {"<TrackDetails>", "</TrackDetails>", "<Events>", "</Events>"}) {
    const std::string with = tag[1] == '/' ? "</v10:" + tag.substr(2) : "<v10:" + tag.substr(1);
    for (std::size_t p = 0; (p = prefixed.find(tag, p)) != std::string::npos; p += with.size())
      prefixed.replace(p, tag.size(), with);
  }
  const std::string answers[] = {
      prefixed,
      "<soapenv:Envelope><soapenv:Body><soapenv:Fault><faultcode>soapenv:Server</faultcode>"
      "<faultstring>Authentication Failed</faultstring></soapenv:Fault></soapenv:Body></soapenv:Envelope>",
  };
  for (const std::string& answer : answers) {
    TKwShipmentValues v;
    TKwInetActivities acts(nullptr);
    ReadFedExTrackResponse(Bytes(answer), v, acts);
    EXPECT_EQ(v.IdentificationNumber, u"") << answer;
    EXPECT_EQ(acts.Count(), 0) << answer;
  }
}

}  // namespace
}  // namespace kwinet
