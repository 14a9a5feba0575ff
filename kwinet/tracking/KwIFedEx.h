/// @file
/// The FedEx tracker: one SOAP envelope (track service, version 10) posted
/// with the account's credentials, the track reply read into the activities
/// and the shipment values.
#pragma once

#include <memory>

#include "kwinet/tracking/KwITrack.h"

namespace kwinet {

class TKwFedExCredential : public TPersistent {
 public:
  const String& Key() const { return FKey; }
  void SetKey(const String& value) { FKey = value; }
  const String& Password() const { return FPassword; }
  void SetPassword(const String& value) { FPassword = value; }

  void Assign(TPersistent* Source) override;

 private:
  String FKey;
  String FPassword;
};

class TKwFedExClientDetail : public TPersistent {
 public:
  const String& AccountNumber() const { return FAccountNumber; }
  void SetAccountNumber(const String& value) { FAccountNumber = value; }
  const String& CarrierCode() const { return FCarrierCode; }
  void SetCarrierCode(const String& value) { FCarrierCode = value; }
  const String& CustomerTransactionId() const { return FCustomerTransactionId; }
  void SetCustomerTransactionId(const String& value) { FCustomerTransactionId = value; }
  const String& IntegratorId() const { return FIntegratorId; }
  void SetIntegratorId(const String& value) { FIntegratorId = value; }
  const String& MeterNumber() const { return FMeterNumber; }
  void SetMeterNumber(const String& value) { FMeterNumber = value; }
  const String& LanguageCode() const { return FLanguageCode; }
  void SetLanguageCode(const String& value) { FLanguageCode = value; }
  const String& LocaleCode() const { return FLocaleCode; }
  void SetLocaleCode(const String& value) { FLocaleCode = value; }

  /// The Localization element with LanguageCode and LocaleCode (escaped),
  /// four lines each ending with a line break.
  String GetLocalizationXML() const;

  void Assign(TPersistent* Source) override;

 private:
  String FAccountNumber;
  String FCarrierCode;
  String FCustomerTransactionId;
  String FIntegratorId;
  String FMeterNumber;
  String FLanguageCode;
  String FLocaleCode;
};

class TKwFedExWebAuthenticationDetail : public TPersistent {
 public:
  TKwFedExWebAuthenticationDetail();
  ~TKwFedExWebAuthenticationDetail() override;

  TKwFedExCredential* ParentCredential() const { return FParentCredential.get(); }
  void SetParentCredential(TKwFedExCredential* value) { FParentCredential->Assign(value); }
  TKwFedExCredential* UserCredential() const { return FUserCredential.get(); }
  void SetUserCredential(TKwFedExCredential* value) { FUserCredential->Assign(value); }
  TKwFedExClientDetail* ClientDetail() const { return FClientDetail.get(); }
  void SetClientDetail(TKwFedExClientDetail* value) { FClientDetail->Assign(value); }

  void Assign(TPersistent* Source) override;

 private:
  std::unique_ptr<TKwFedExCredential> FParentCredential;
  std::unique_ptr<TKwFedExCredential> FUserCredential;
  std::unique_ptr<TKwFedExClientDetail> FClientDetail;
};

class TKwFedExTracker : public TKwInetCustomTracker {
 public:
  explicit TKwFedExTracker(TComponent* AOwner);
  ~TKwFedExTracker() override;

  TKwFedExWebAuthenticationDetail* WebAuthenticationDetail() const { return FWebAuthenticationDetail.get(); }
  void SetWebAuthenticationDetail(TKwFedExWebAuthenticationDetail* value) { FWebAuthenticationDetail->Assign(value); }

 protected:
  void ParseXMLResponse() override;
  void BuildRequestHeader(String& Header1, String& Header2, String& Body) override;
  String GetTrackAppHeader() override { return u"/web-services/track"; }
  /// Today's interface: POST /track/v1/trackingnumbers (JSON) with a bearer
  /// token from /oauth/token (the id and secret as form fields).
  String ClassicDefaultHost() const override { return u"wsbeta.fedex.com"; }
  String RestProductionHost() const override { return u"apis.fedex.com"; }
  void RestTokenEndpoint(TOAuthClient& Client) const override;
  void BuildRestRequest(TServiceRequest& Request) override;
  TRestTrackResult ReadRestAnswer(std::string_view Answer) override;

 private:
  std::unique_ptr<TKwFedExWebAuthenticationDetail> FWebAuthenticationDetail;
};

/// The SOAP envelope of a track request for Number, every value XML-escaped.
String FedExTrackRequest(const TKwFedExWebAuthenticationDetail& Detail, const String& Number);

/// The SOAPAction header line of a track request.
extern const char16_t* const FedExSOAPAction;

/// The walk of a track reply (one character per byte): the values found
/// replace those in Shipment, and each Events element of the track details
/// is appended to Activities. A reply without TrackDetails changes nothing.
void ReadFedExTrackResponse(const String& Response, TKwShipmentValues& Shipment, TKwInetActivities& Activities);

}  // namespace kwinet
