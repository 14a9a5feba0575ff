#include "kwinet/tracking/KwIUPS.h"

#include <random>

#include "kwinet/tracking/OAuthToken.h"
#include "kwinet/tracking/TrackRest.h"
#include "kwinet/tracking/TrackXML.h"
#include "kwinet/utils/kwiutil.h"

namespace kwinet {

namespace {

// Digits only, the whole text.
bool Digits(const String& s, int& value) {
  if (s.empty()) return false;
  value = 0;
  for (Char c : s) {
    if (c < u'0' || c > u'9') return false;
    value = value * 10 + (c - u'0');
  }
  return true;
}

}  // namespace

// YYYYMMDD; characters after the eighth are not looked at.
bool UPSDate(const String& s, TDateTime& date) {
  int y, m, d;
  return s.size() >= 8 && Digits(s.substr(0, 4), y) && Digits(s.substr(4, 2), m) && Digits(s.substr(6, 2), d) &&
         TryEncodeDate(y, m, d, date);
}

// HHMMSS.
bool UPSTime(const String& s, TDateTime& time) {
  int h, n, sec;
  return s.size() >= 6 && Digits(s.substr(0, 2), h) && Digits(s.substr(2, 2), n) && Digits(s.substr(4, 2), sec) &&
         TryEncodeTime(h, n, sec, 0, time);
}

namespace {

// UPS names the state or province code so; the carrier's other fields have
// no place in the record.
void FillAddress(TKwXMLEngine& e, TKwXMLItem* node, TKwInetActivityAddress& address) {
  FillTrackAddress(e, node, address, u"StateProvinceCode", u"CountryCode");
}

}  // namespace

String UPSTrackRequest(const String& Key, const String& Agent, const String& Number) {
  return u"<?xml version=\"1.0\"?><AccessRequest xml:lang=\"en-US\"><AccessLicenseNumber>" + KwXMLEscape(Key) +
         u"</AccessLicenseNumber>\r\n"
         u"<UserId>vqv</UserId><Password>vqv</Password></AccessRequest>\r\n"
         u"<?xml version=\"1.0\"?><TrackRequest xml:lang=\"en-US\"><Request><TransactionReference>\r\n"
         u"<CustomerContext>" +
         KwXMLEscape(Agent) +
         u"</CustomerContext><XpciVersion>1.0</XpciVersion></TransactionReference>\r\n"
         u"<RequestAction>Track</RequestAction><RequestOption>activity</RequestOption></Request>\r\n"
         u"<TrackingNumber>#" +
         KwXMLEscape(Number) + u"</TrackingNumber></TrackRequest>";
}

void ReadUPSTrackResponse(const String& Response, TKwShipmentValues& Shipment, TKwInetActivities& Activities) {
  if (Response.empty()) return;
  TKwXMLEngine e(nullptr);
  LoadTrackResponse(e, Response);

  if (TKwXMLItem* s = e.GetItemByTag(nullptr, u"Shipment")) {
    if (TKwXMLItem* p = e.GetItemByTag(s, u"Shipper")) {
      Shipment.ShipperNumber = TagValueUnder(e, p, u"ShipperNumber");
      FillAddress(e, e.GetItemByTag(p, u"Address"), *Shipment.ShipperAddress);
    }
    if (TKwXMLItem* t = e.GetItemByTag(s, u"ShipTo"))
      FillAddress(e, e.GetItemByTag(t, u"Address"), *Shipment.ShipToAddress);
    Shipment.IdentificationNumber = TagValueUnder(e, s, u"ShipmentIdentificationNumber");
    TDateTime pickup;
    if (UPSDate(TagValueUnder(e, s, u"PickupDate"), pickup)) Shipment.PickupDate = pickup;
    if (TKwXMLItem* v = e.GetItemByTag(s, u"Service")) {
      Shipment.ServiceCode = TagValueUnder(e, v, u"Code");
      Shipment.ServiceDescription = TagValueUnder(e, v, u"Description");
    }
    if (TKwXMLItem* w = e.GetItemByTag(s, u"ShipmentWeight")) {
      Shipment.ShipmentWeight = TagValueUnder(e, w, u"Weight");
      if (TKwXMLItem* units = e.GetItemByTag(w, u"UnitOfMeasurement"))
        Shipment.ShipmentWeightUnits = TagValueUnder(e, units, u"Code");
    }
  }

  TKwXMLItem* k = e.GetItemByTag(nullptr, u"Package");
  if (!k) return;
  for (TKwXMLItem* a : *k->Items()) {
    if (a->TagName() != u"Activity") continue;
    TKwInetActivity* item = Activities.Add();
    if (TKwXMLItem* l = e.GetItemByTag(a, u"ActivityLocation")) {
      item->SetLocationCode(TagValueUnder(e, l, u"Code"));
      item->SetLocationDescription(TagValueUnder(e, l, u"Description"));
      item->SetLocationSignedForByName(TagValueUnder(e, l, u"SignedForByName"));
      // The address is looked for from the activity, not from its location.
      FillAddress(e, e.GetItemByTag(a, u"Address"), *item->Location());
    }
    if (e.GetItemByTag(a, u"Status")) {
      if (TKwXMLItem* y = e.GetItemByTag(a, u"StatusType")) {
        item->SetStatusTypeCode(TagValueUnder(e, y, u"Code"));
        item->SetStatusTypeDescription(TagValueUnder(e, y, u"Description"));
      }
      if (TKwXMLItem* z = e.GetItemByTag(a, u"StatusCode")) item->SetStatusCode(TagValueUnder(e, z, u"Code"));
    }
    TDateTime date, time;
    if (UPSDate(TagValueUnder(e, a, u"Date"), date) && UPSTime(TagValueUnder(e, a, u"Time"), time))
      item->SetDateTime(date + time);
  }
}

// --- TKwUPSTracker --------------------------------------------------------------

TKwUPSTracker::TKwUPSTracker(TComponent* AOwner)
    : TKwInetCustomTracker(AOwner), FAccessLicenseNumber(u"9E41C7D05A3B62F8") {
  SetHost(u"onlinetools.ups.com");
}

TKwUPSTracker::~TKwUPSTracker() {
  EndJob();  // the job uses what goes below
}

void TKwUPSTracker::BuildRequestHeader(String& Header1, String& Header2, String& Body) {
  TKwInetCustomTracker::BuildRequestHeader(Header1, Header2, Body);
  Header1.clear();
  Header2 = u"Content-Type: application/x-www-form-urlencoded";
  Body = UPSTrackRequest(FAccessLicenseNumber, Agent(), TrackingNumber());
}

void TKwUPSTracker::RestTokenEndpoint(TOAuthClient& Client) const {
  Client.Path = u"/security/v1/oauth/token";
  Client.BasicAuth = true;
}

void TKwUPSTracker::BuildRestRequest(TServiceRequest& Request) {
  // transId names this one request (at most 32 characters): 128 random bits.
  thread_local std::mt19937_64 random{std::random_device{}()};
  const String transId = IntToHex(random(), 16) + IntToHex(random(), 16);
  Request.Method = u"GET";
  Request.Path = u"/api/track/v1/details/" + Utf8ToString(PercentEncode(StringToUtf8(TrackingNumber()))) +
                 u"?locale=en_US&returnSignature=false";
  Request.Headers.emplace_back(u"Accept", u"application/json");
  Request.Headers.emplace_back(u"transId", transId);
  Request.Headers.emplace_back(u"transactionSrc", u"kwinet");
}

TRestTrackResult TKwUPSTracker::ReadRestAnswer(std::string_view Answer) {
  return ReadUPSTrackAnswer(Answer, FShipment, *Activities());
}

void TKwUPSTracker::ParseXMLResponse() {
  ReadUPSTrackResponse(FLastXMLResponse, FShipment, *Activities());
}

}  // namespace kwinet
