#include "kwinet/tracking/KwIFedEx.h"

#include "kwinet/tracking/OAuthToken.h"
#include "kwinet/tracking/TrackRest.h"
#include "kwinet/tracking/TrackXML.h"

namespace kwinet {

const char16_t* const FedExSOAPAction = u"SOAPAction: \"http://fedex.com/ws/track/v10/track\"";

namespace {

void FillAddress(TKwXMLEngine& e, TKwXMLItem* node, TKwInetActivityAddress& address) {
  FillTrackAddress(e, node, address, u"StateOrProvinceCode", u"CountryName");
}

}  // namespace

// --- credential records ---------------------------------------------------------

void TKwFedExCredential::Assign(TPersistent* Source) {
  if (auto* s = dynamic_cast<TKwFedExCredential*>(Source)) {
    FKey = s->FKey;
    FPassword = s->FPassword;
    return;
  }
  TPersistent::Assign(Source);
}

String TKwFedExClientDetail::GetLocalizationXML() const {
  return u"<v10:Localization>\r\n  <v10:LanguageCode>" + KwXMLEscape(FLanguageCode) +
         u"</v10:LanguageCode>\r\n  <v10:LocaleCode>" + KwXMLEscape(FLocaleCode) +
         u"</v10:LocaleCode>\r\n</v10:Localization>\r\n";
}

void TKwFedExClientDetail::Assign(TPersistent* Source) {
  if (auto* s = dynamic_cast<TKwFedExClientDetail*>(Source)) {
    FAccountNumber = s->FAccountNumber;
    FCarrierCode = s->FCarrierCode;
    FCustomerTransactionId = s->FCustomerTransactionId;
    FIntegratorId = s->FIntegratorId;
    FMeterNumber = s->FMeterNumber;
    FLanguageCode = s->FLanguageCode;
    FLocaleCode = s->FLocaleCode;
    return;
  }
  TPersistent::Assign(Source);
}

TKwFedExWebAuthenticationDetail::TKwFedExWebAuthenticationDetail()
    : FParentCredential(std::make_unique<TKwFedExCredential>()),
      FUserCredential(std::make_unique<TKwFedExCredential>()),
      FClientDetail(std::make_unique<TKwFedExClientDetail>()) {}

TKwFedExWebAuthenticationDetail::~TKwFedExWebAuthenticationDetail() = default;

void TKwFedExWebAuthenticationDetail::Assign(TPersistent* Source) {
  if (auto* s = dynamic_cast<TKwFedExWebAuthenticationDetail*>(Source)) {
    FParentCredential->Assign(s->FParentCredential.get());
    FUserCredential->Assign(s->FUserCredential.get());
    FClientDetail->Assign(s->FClientDetail.get());
    return;
  }
  TPersistent::Assign(Source);
}

// --- request and reply ------------------------------------------------------------

String FedExTrackRequest(const TKwFedExWebAuthenticationDetail& Detail, const String& Number) {
  const TKwFedExClientDetail& c = *Detail.ClientDetail();
  const String localization = c.GetLocalizationXML();
  auto x = [](const String& s) { return KwXMLEscape(s); };
  return u"<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         u"xmlns:v10=\"http://fedex.com/ws/track/v10\">\r\n"
         u"<soapenv:Header></soapenv:Header>\r\n"
         u"  <soapenv:Body>\r\n"
         u"    <v10:TrackRequest>\r\n"
         u"      <v10:WebAuthenticationDetail>\r\n"
         u"        <v10:ParentCredential>\r\n"
         u"          <v10:Key>" +
         x(Detail.ParentCredential()->Key()) +
         u"</v10:Key>\r\n"
         u"          <v10:Password>" +
         x(Detail.ParentCredential()->Password()) +
         u"</v10:Password>\r\n"
         u"        </v10:ParentCredential>\r\n"
         u"        <v10:UserCredential>\r\n"
         u"          <v10:Key>" +
         x(Detail.UserCredential()->Key()) +
         u"</v10:Key>\r\n"
         u"          <v10:Password>" +
         x(Detail.UserCredential()->Password()) +
         u"</v10:Password>\r\n"
         u"        </v10:UserCredential>\r\n"
         u"      </v10:WebAuthenticationDetail>\r\n"
         u"      <v10:ClientDetail>\r\n"
         u"        <v10:AccountNumber>" +
         x(c.AccountNumber()) +
         u"</v10:AccountNumber>\r\n"
         u"        <v10:MeterNumber>" +
         x(c.MeterNumber()) +
         u"</v10:MeterNumber>\r\n"
         u"        <v10:IntegratorId>" +
         x(c.IntegratorId()) + u"</v10:IntegratorId>\r\n" + localization +
         u"      </v10:ClientDetail>\r\n"
         u"      <v10:TransactionDetail>\r\n"
         u"        <v10:CustomerTransactionId>" +
         x(c.CustomerTransactionId()) + u"</v10:CustomerTransactionId>\r\n" + localization +
         u"      </v10:TransactionDetail>\r\n"
         u"      <v10:Version>\r\n"
         u"        <v10:ServiceId>trck</v10:ServiceId>\r\n"
         u"        <v10:Major>10</v10:Major>\r\n"
         u"        <v10:Intermediate>0</v10:Intermediate>\r\n"
         u"        <v10:Minor>0</v10:Minor>\r\n"
         u"      </v10:Version>\r\n"
         u"      <v10:SelectionDetails>\r\n"
         u"        <v10:CarrierCode>" +
         x(c.CarrierCode()) +
         u"</v10:CarrierCode>\r\n"
         u"        <v10:PackageIdentifier>\r\n"
         u"          <v10:Type>TRACKING_NUMBER_OR_DOORTAG</v10:Type>\r\n"
         u"          <v10:Value>" +
         x(Number) +
         u"</v10:Value>\r\n"
         u"        </v10:PackageIdentifier>\r\n"
         u"      </v10:SelectionDetails>\r\n"
         u"      <v10:ProcessingOptions>INCLUDE_DETAILED_SCANS</v10:ProcessingOptions>\r\n"
         u"    </v10:TrackRequest>\r\n"
         u"  </soapenv:Body>\r\n"
         u"</soapenv:Envelope>";
}

void ReadFedExTrackResponse(const String& Response, TKwShipmentValues& Shipment, TKwInetActivities& Activities) {
  if (Response.empty()) return;
  TKwXMLEngine e(nullptr);
  LoadTrackResponse(e, Response);
  TKwXMLItem* d = e.GetItemByTag(nullptr, u"TrackDetails");
  if (!d) return;
  FillAddress(e, e.GetItemByTag(d, u"DestinationAddress"), *Shipment.ShipToAddress);
  Shipment.IdentificationNumber = TagValueUnder(e, d, u"TrackingNumberUniqueIdentifier");
  Shipment.PickupDate = XMLStringToDateTime(TagValueUnder(e, d, u"ActualDeliveryTimestamp"));
  if (TKwXMLItem* w = e.GetItemByTag(d, u"ShipmentWeight")) {
    Shipment.ShipmentWeight = TagValueUnder(e, w, u"Value");
    Shipment.ShipmentWeightUnits = TagValueUnder(e, w, u"Units");
  }
  if (TKwXMLItem* v = e.GetItemByTag(d, u"Service")) {
    Shipment.ServiceCode = TagValueUnder(e, v, u"Type");
    Shipment.ServiceDescription = TagValueUnder(e, v, u"Description");
  }
  for (TKwXMLItem* ev : *d->Items()) {
    if (ev->TagName() != u"Events") continue;
    TKwInetActivity* item = Activities.Add();
    item->SetLocationCode(TagValueUnder(e, ev, u"ArrivalLocation"));
    item->SetStatusTypeCode(TagValueUnder(e, ev, u"EventType"));
    item->SetStatusTypeDescription(TagValueUnder(e, ev, u"EventDescription"));
    item->SetDateTime(XMLStringToDateTime(TagValueUnder(e, ev, u"Timestamp")));
    FillAddress(e, e.GetItemByTag(ev, u"Address"), *item->Location());
  }
}

// --- TKwFedExTracker ------------------------------------------------------------

TKwFedExTracker::TKwFedExTracker(TComponent* AOwner)
    : TKwInetCustomTracker(AOwner), FWebAuthenticationDetail(std::make_unique<TKwFedExWebAuthenticationDetail>()) {
  SetHost(u"wsbeta.fedex.com");
  TKwFedExClientDetail& c = *FWebAuthenticationDetail->ClientDetail();
  c.SetCarrierCode(u"FDXG");
  c.SetCustomerTransactionId(u"Track By Number_v10");
  c.SetLanguageCode(u"EN");
  c.SetLocaleCode(u"us");
}

TKwFedExTracker::~TKwFedExTracker() {
  EndJob();  // the job uses what goes below
}

void TKwFedExTracker::BuildRequestHeader(String& Header1, String& Header2, String& Body) {
  TKwInetCustomTracker::BuildRequestHeader(Header1, Header2, Body);
  Header1 = FedExSOAPAction;
  Header2 = u"Content-Type: text/xml; charset=utf-8";
  Body = FedExTrackRequest(*FWebAuthenticationDetail, TrackingNumber());
}

void TKwFedExTracker::RestTokenEndpoint(TOAuthClient& Client) const {
  Client.Path = u"/oauth/token";
  Client.BasicAuth = false;
}

void TKwFedExTracker::BuildRestRequest(TServiceRequest& Request) {
  Request.Method = u"POST";
  Request.Path = u"/track/v1/trackingnumbers";
  Request.Headers.emplace_back(u"Content-Type", u"application/json");
  Request.Headers.emplace_back(u"Accept", u"application/json");
  Request.Headers.emplace_back(u"X-locale", u"en_US");
  Request.Body = FedExTrackBody(TrackingNumber());
}

TRestTrackResult TKwFedExTracker::ReadRestAnswer(std::string_view Answer) {
  return ReadFedExTrackAnswer(Answer, FShipment, *Activities());
}

void TKwFedExTracker::ParseXMLResponse() {
  ReadFedExTrackResponse(FLastXMLResponse, FShipment, *Activities());
}

}  // namespace kwinet
