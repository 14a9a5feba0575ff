/// @file
/// Shipment tracking, what every carrier shares: the activity records (one
/// scan event each), the shipment-level values, and the tracker base that
/// posts one XML request to the carrier over HTTPS and reads the answer.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "kwinet/core/Classes.h"
#include "kwinet/core/DateTime.h"
#include "kwinet/web/ServiceCall.h"
#include "kwinet/web/kwiupdate.h"

namespace kwinet {

struct TOAuthClient;
struct TRestTrackResult;

class TKwInetActivityAddress : public TPersistent {
 public:
  const String& AddressLine1() const { return FAddressLine1; }
  void SetAddressLine1(const String& value) { FAddressLine1 = value; }
  const String& AddressLine2() const { return FAddressLine2; }
  void SetAddressLine2(const String& value) { FAddressLine2 = value; }
  const String& AddressLine3() const { return FAddressLine3; }
  void SetAddressLine3(const String& value) { FAddressLine3 = value; }
  const String& City() const { return FCity; }
  void SetCity(const String& value) { FCity = value; }
  const String& PostalCode() const { return FPostalCode; }
  void SetPostalCode(const String& value) { FPostalCode = value; }
  const String& State() const { return FState; }
  void SetState(const String& value) { FState = value; }
  const String& Country() const { return FCountry; }
  void SetCountry(const String& value) { FCountry = value; }

  /// The non-empty fields in declaration order, joined with single blanks.
  String Text() const;

  void Assign(TPersistent* Source) override;

 private:
  String FAddressLine1;
  String FAddressLine2;
  String FAddressLine3;
  String FCity;
  String FPostalCode;
  String FState;
  String FCountry;
};

class TKwInetActivity : public TCollectionItem {
 public:
  explicit TKwInetActivity(TCollection* Collection);

  const String& LocationCode() const { return FLocationCode; }
  void SetLocationCode(const String& value) { FLocationCode = value; }
  TKwInetActivityAddress* Location() const { return FLocation.get(); }
  void SetLocation(TKwInetActivityAddress* value) { FLocation->Assign(value); }
  const String& LocationDescription() const { return FLocationDescription; }
  void SetLocationDescription(const String& value) { FLocationDescription = value; }
  const String& LocationSignedForByName() const { return FLocationSignedForByName; }
  void SetLocationSignedForByName(const String& value) { FLocationSignedForByName = value; }
  const String& StatusTypeCode() const { return FStatusTypeCode; }
  void SetStatusTypeCode(const String& value) { FStatusTypeCode = value; }
  const String& StatusTypeDescription() const { return FStatusTypeDescription; }
  void SetStatusTypeDescription(const String& value) { FStatusTypeDescription = value; }
  const String& StatusCode() const { return FStatusCode; }
  void SetStatusCode(const String& value) { FStatusCode = value; }
  /// 0 when unknown.
  TDateTime DateTime() const { return FDateTime; }
  void SetDateTime(TDateTime value) { FDateTime = value; }

  void Assign(TPersistent* Source) override;

 private:
  String FLocationCode;
  std::unique_ptr<TKwInetActivityAddress> FLocation;
  String FLocationDescription;
  String FLocationSignedForByName;
  String FStatusTypeCode;
  String FStatusTypeDescription;
  String FStatusCode;
  TDateTime FDateTime = 0;
};

class TKwInetActivities : public TTypedCollection<TKwInetActivity> {
 public:
  explicit TKwInetActivities(TComponent* KwInetCntrl) : FKwInetControl(KwInetCntrl) {}

  TPersistent* Owner() const override { return FKwInetControl; }
  TComponent* KwInetControl() const { return FKwInetControl; }
  TKwInetActivity* GetActivity(int Index) const { return Items(Index); }
  void SetActivity(int Index, TKwInetActivity* Value) { Items(Index)->Assign(Value); }

 private:
  TComponent* FKwInetControl;
};

/// The shipment-level values that a carrier's answer fills. Each carrier
/// publishes them as its own read-only properties.
class TKwShipmentValues {
 public:
  TKwShipmentValues();

  String ShipperNumber;
  std::unique_ptr<TKwInetActivityAddress> ShipperAddress;
  std::unique_ptr<TKwInetActivityAddress> ShipToAddress;
  String IdentificationNumber;
  TDateTime PickupDate = 0;
  String ServiceCode;
  String ServiceDescription;
  String ShipmentWeight;
  String ShipmentWeightUnits;
};

class TKwInetCustomTracker : public TKwCustomWebComponent {
 public:
  explicit TKwInetCustomTracker(TComponent* AOwner);
  ~TKwInetCustomTracker() override;

  const String& TrackingNumber() const { return FTrackingNumber; }
  /// Stores the number and always clears the last results.
  void SetTrackingNumber(const String& Value);

  TKwInetActivities* Activities() const { return FActivities.get(); }
  /// Reading it resets LastXMLRequestChanged.
  String LastXMLRequest() { return GetLastXMLRequest(); }
  String GetLastXMLRequest();
  void SetLastXMLRequest(const String& Value);
  bool LastXMLRequestChanged() const { return FLastXMLRequestChanged; }
  void SetLastXMLRequestChanged(bool value) { FLastXMLRequestChanged = value; }
  /// The answer, one character per byte, or the error text of a failed
  /// exchange (then nothing of a partial answer is kept).
  const String& LastXMLResponse() const { return FLastXMLResponse; }

  /// Whether a failed exchange is also shown to the user through the
  /// user-interface backend (the error text goes to LastXMLResponse and
  /// ErrorText either way).
  bool ErrorDialog() const { return FErrorDialog; }
  void SetErrorDialog(bool value) { FErrorDialog = value; }

  /// Empties Activities, LastXMLRequest and LastXMLResponse; the carriers'
  /// shipment values stay.
  virtual void Clear();

  /// Which interface of the carrier Execute speaks: the classic XML one, or
  /// today's REST interface with an OAuth 2.0 client (ClientId and
  /// ClientSecret; the token is asked for once per process and client and
  /// shared by every tracker of that client). With akRest, a Host that is
  /// empty or the classic default means the carrier's production hosts;
  /// another Host is "https://host[:port]" (or a bare name, with Service and
  /// Port) and takes every request, token and data.
  TKwApiKind ApiKind() const { return FApiKind; }
  void SetApiKind(TKwApiKind value) { FApiKind = value; }
  const String& ClientId() const { return FClientId; }
  void SetClientId(const String& value) { FClientId = value; }
  /// Never written to a stored form unless the application asks for it.
  const String& ClientSecret() const { return FClientSecret; }
  void SetClientSecret(const String& value) { FClientSecret = value; }
  /// After a failed Execute of the REST interface: the service answered, but
  /// with no shipment (an unknown number, refused credentials); ErrorText is
  /// the service's own message. False after any other Execute.
  bool NoShipmentAnswer() const { return FNoShipmentAnswer; }

  /// The shipment values of the last answer, as far as the carrier gives
  /// them: UPS alone fills ShipperNumber; PickupDate is the date only at UPS
  /// and the actual delivery time stamp at FedEx.
  const String& ShipperNumber() const { return FShipment.ShipperNumber; }
  TKwInetActivityAddress* ShipperAddress() const { return FShipment.ShipperAddress.get(); }
  TKwInetActivityAddress* ShipToAddress() const { return FShipment.ShipToAddress.get(); }
  const String& IdentificationNumber() const { return FShipment.IdentificationNumber; }
  TDateTime PickupDate() const { return FShipment.PickupDate; }
  const String& ServiceCode() const { return FShipment.ServiceCode; }
  const String& ServiceDescription() const { return FShipment.ServiceDescription; }
  const String& ShipmentWeight() const { return FShipment.ShipmentWeight; }
  const String& ShipmentWeightUnits() const { return FShipment.ShipmentWeightUnits; }

 protected:
  void InternalExecute() override;
  /// Reads LastXMLResponse into Activities and the carrier's values.
  virtual void ParseXMLResponse() {}
  /// Fills the two extra header lines and the body; each starts empty.
  virtual void BuildRequestHeader(String& Header1, String& Header2, String& Body) {
    (void)Header1;
    (void)Header2;
    (void)Body;
  }
  /// The request path on the carrier's host.
  virtual String GetTrackAppHeader() { return String(); }

  /// The REST interface: the classic default Host (which akRest reads as
  /// the production hosts), the production origin, the token endpoint's
  /// path and how the client shows its credentials, the data request for
  /// the number (its body or request line goes to LastXMLRequest), and the
  /// answer's reader.
  virtual String ClassicDefaultHost() const { return String(); }
  virtual String RestProductionHost() const { return String(); }
  virtual void RestTokenEndpoint(TOAuthClient& Client) const { (void)Client; }
  virtual void BuildRestRequest(TServiceRequest& Request) { (void)Request; }
  virtual TRestTrackResult ReadRestAnswer(std::string_view Answer);

  String FLastXMLResponse;
  String FLastXMLRequest;
  bool FLastXMLRequestChanged = false;
  /// Filled by the carrier's ParseXMLResponse.
  TKwShipmentValues FShipment;

 private:
  // The POST and the answer; false with the reason in ErrorText.
  bool Exchange();
  void ReportFailure();
  // The REST job: token, data request, answer; false with ErrorText.
  bool RestExchange();
  // Where the REST requests go; false with ErrorText for a Host that says
  // no place.
  bool RestOrigin(TServiceOrigin& Origin);

  String FTrackingNumber;
  std::unique_ptr<TKwInetActivities> FActivities;
  bool FErrorDialog = true;
  TKwApiKind FApiKind = akClassic;
  String FClientId;
  String FClientSecret;
  bool FNoShipmentAnswer = false;
};

}  // namespace kwinet
