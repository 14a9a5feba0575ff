/// @file
/// The FedEx tracker: one SOAP envelope (track service, version 10) posted
/// with the account's credentials, the track reply read into the activities
/// and the shipment values.
#pragma once

#include <memory>

#include "kwinet/tracking/KwITrack.h"

namespace kwinet {

/// A FedEx key and its password.
class TKwFedExCredential : public TPersistent {
 public:
  ///@{
  /// The key.
  const String& Key() const { return FKey; }
  void SetKey(const String& value) { FKey = value; }
  ///@}
  ///@{
  /// The password; never shown or logged.
  const String& Password() const { return FPassword; }
  void SetPassword(const String& value) { FPassword = value; }
  ///@}

  void Assign(TPersistent* Source) override;

 private:
  String FKey;
  String FPassword;
};

/// The FedEx account values sent with a request.
class TKwFedExClientDetail : public TPersistent {
 public:
  ///@{
  /// The account number.
  const String& AccountNumber() const { return FAccountNumber; }
  void SetAccountNumber(const String& value) { FAccountNumber = value; }
  ///@}
  ///@{
  /// The carrier code ("FDXG" for a new tracker).
  const String& CarrierCode() const { return FCarrierCode; }
  void SetCarrierCode(const String& value) { FCarrierCode = value; }
  ///@}
  ///@{
  /// The customer transaction id sent with the request.
  const String& CustomerTransactionId() const { return FCustomerTransactionId; }
  void SetCustomerTransactionId(const String& value) { FCustomerTransactionId = value; }
  ///@}
  ///@{
  /// The integrator id.
  const String& IntegratorId() const { return FIntegratorId; }
  void SetIntegratorId(const String& value) { FIntegratorId = value; }
  ///@}
  ///@{
  /// The meter number.
  const String& MeterNumber() const { return FMeterNumber; }
  void SetMeterNumber(const String& value) { FMeterNumber = value; }
  ///@}
  ///@{
  /// The language of the answer's texts ("EN" for a new tracker).
  const String& LanguageCode() const { return FLanguageCode; }
  void SetLanguageCode(const String& value) { FLanguageCode = value; }
  ///@}
  ///@{
  /// The locale of the answer's texts.
  const String& LocaleCode() const { return FLocaleCode; }
  void SetLocaleCode(const String& value) { FLocaleCode = value; }
  ///@}

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

/// The credentials and account values of a FedEx request.
class TKwFedExWebAuthenticationDetail : public TPersistent {
 public:
  TKwFedExWebAuthenticationDetail();
  ~TKwFedExWebAuthenticationDetail() override;

  ///@{
  /// The parent credential; the setter copies it.
  TKwFedExCredential* ParentCredential() const { return FParentCredential.get(); }
  void SetParentCredential(TKwFedExCredential* value) { FParentCredential->Assign(value); }
  ///@}
  ///@{
  /// The user credential; the setter copies it.
  TKwFedExCredential* UserCredential() const { return FUserCredential.get(); }
  void SetUserCredential(TKwFedExCredential* value) { FUserCredential->Assign(value); }
  ///@}
  ///@{
  /// The account values; the setter copies them.
  TKwFedExClientDetail* ClientDetail() const { return FClientDetail.get(); }
  void SetClientDetail(TKwFedExClientDetail* value) { FClientDetail->Assign(value); }
  ///@}

  void Assign(TPersistent* Source) override;

 private:
  std::unique_ptr<TKwFedExCredential> FParentCredential;
  std::unique_ptr<TKwFedExCredential> FUserCredential;
  std::unique_ptr<TKwFedExClientDetail> FClientDetail;
};

/// The FedEx tracker.
class TKwFedExTracker : public TKwInetCustomTracker {
 public:
  /// Creates the tracker for FedEx's test host with the default account values.
  explicit TKwFedExTracker(TComponent* AOwner);
  ~TKwFedExTracker() override;

  ///@{
  /// The credentials and account values; the setter copies them.
  TKwFedExWebAuthenticationDetail* WebAuthenticationDetail() const { return FWebAuthenticationDetail.get(); }
  void SetWebAuthenticationDetail(TKwFedExWebAuthenticationDetail* value) { FWebAuthenticationDetail->Assign(value); }
  ///@}

 protected:
  void ParseXMLResponse() override;
  void BuildRequestHeader(String& Header1, String& Header2, String& Body) override;
  String GetTrackAppHeader() override { return u"/web-services/track"; }
  ///@{
  /// Today's interface: POST /track/v1/trackingnumbers (JSON) with a bearer
  /// token from /oauth/token (the id and secret as form fields).
  String ClassicDefaultHost() const override { return u"wsbeta.fedex.com"; }
  String RestProductionHost() const override { return u"apis.fedex.com"; }
  void RestTokenEndpoint(TOAuthClient& Client) const override;
  void BuildRestRequest(TServiceRequest& Request) override;
  TRestTrackResult ReadRestAnswer(std::string_view Answer) override;
  ///@}

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
