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

/// An address in a carrier's answer: three lines, city, postal code, state and
/// country, each as the carrier wrote it.
class TKwInetActivityAddress : public TPersistent {
 public:
  ///@{
  /// The street lines.
  const String& AddressLine1() const { return FAddressLine1; }
  void SetAddressLine1(const String& value) { FAddressLine1 = value; }
  const String& AddressLine2() const { return FAddressLine2; }
  void SetAddressLine2(const String& value) { FAddressLine2 = value; }
  const String& AddressLine3() const { return FAddressLine3; }
  void SetAddressLine3(const String& value) { FAddressLine3 = value; }
  ///@}
  ///@{
  /// The city.
  const String& City() const { return FCity; }
  void SetCity(const String& value) { FCity = value; }
  ///@}
  ///@{
  /// The postal code.
  const String& PostalCode() const { return FPostalCode; }
  void SetPostalCode(const String& value) { FPostalCode = value; }
  ///@}
  ///@{
  /// The state or province code.
  const String& State() const { return FState; }
  void SetState(const String& value) { FState = value; }
  ///@}
  ///@{
  /// The country code.
  const String& Country() const { return FCountry; }
  void SetCountry(const String& value) { FCountry = value; }
  ///@}

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

/// One scan event of a shipment: where, what status, and when.
class TKwInetActivity : public TCollectionItem {
 public:
  /// An empty activity, added to Collection when given.
  explicit TKwInetActivity(TCollection* Collection);

  ///@{
  /// The carrier's code of the place.
  const String& LocationCode() const { return FLocationCode; }
  void SetLocationCode(const String& value) { FLocationCode = value; }
  ///@}
  ///@{
  /// The place's address; SetLocation copies it.
  TKwInetActivityAddress* Location() const { return FLocation.get(); }
  void SetLocation(TKwInetActivityAddress* value) { FLocation->Assign(value); }
  ///@}
  ///@{
  /// What the place is (a door, a dock...), as the carrier says.
  const String& LocationDescription() const { return FLocationDescription; }
  void SetLocationDescription(const String& value) { FLocationDescription = value; }
  ///@}
  ///@{
  /// Who signed for the parcel there.
  const String& LocationSignedForByName() const { return FLocationSignedForByName; }
  void SetLocationSignedForByName(const String& value) { FLocationSignedForByName = value; }
  ///@}
  ///@{
  /// The carrier's code of the kind of status.
  const String& StatusTypeCode() const { return FStatusTypeCode; }
  void SetStatusTypeCode(const String& value) { FStatusTypeCode = value; }
  ///@}
  ///@{
  /// The status in words.
  const String& StatusTypeDescription() const { return FStatusTypeDescription; }
  void SetStatusTypeDescription(const String& value) { FStatusTypeDescription = value; }
  ///@}
  ///@{
  /// The carrier's status code.
  const String& StatusCode() const { return FStatusCode; }
  void SetStatusCode(const String& value) { FStatusCode = value; }
  ///@}
  ///@{
  /// 0 when unknown.
  TDateTime DateTime() const { return FDateTime; }
  void SetDateTime(TDateTime value) { FDateTime = value; }
  ///@}

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

/// The activities of a tracker's last answer, in the carrier's order.
class TKwInetActivities : public TTypedCollection<TKwInetActivity> {
 public:
  /// An empty list that belongs to the tracker KwInetCntrl.
  explicit TKwInetActivities(TComponent* KwInetCntrl) : FKwInetControl(KwInetCntrl) {}

  TPersistent* Owner() const override { return FKwInetControl; }
  /// The tracker the list belongs to.
  TComponent* KwInetControl() const { return FKwInetControl; }
  ///@{
  /// The activity at Index; SetActivity copies Value into it. EListError out of
  /// range.
  TKwInetActivity* GetActivity(int Index) const { return Items(Index); }
  void SetActivity(int Index, TKwInetActivity* Value) { Items(Index)->Assign(Value); }
  ///@}

 private:
  TComponent* FKwInetControl;
};

/// The shipment-level values that a carrier's answer fills. Each carrier
/// publishes them as its own read-only properties.
class TKwShipmentValues {
 public:
  /// Empty values, with empty addresses.
  TKwShipmentValues();

  /// The shipper's account number.
  String ShipperNumber;
  /// The shipper's address.
  std::unique_ptr<TKwInetActivityAddress> ShipperAddress;
  /// The recipient's address.
  std::unique_ptr<TKwInetActivityAddress> ShipToAddress;
  /// The shipment's identification number.
  String IdentificationNumber;
  /// The pick-up date (see the tracker's PickupDate); 0 when unknown.
  TDateTime PickupDate = 0;
  /// The carrier's code of the service.
  String ServiceCode;
  /// The service in words.
  String ServiceDescription;
  /// The weight, as the carrier wrote it.
  String ShipmentWeight;
  /// The weight's units.
  String ShipmentWeightUnits;
};

/// The base of the shipment trackers: posts one request for TrackingNumber to
/// the carrier over HTTPS and reads the answer into Activities and the shipment
/// values.
class TKwInetCustomTracker : public TKwCustomWebComponent {
 public:
  /// Creates the tracker for HTTPS on port 443, with ContentMaxResponseSize as
  /// the bound.
  explicit TKwInetCustomTracker(TComponent* AOwner);
  ~TKwInetCustomTracker() override;

  /// The number of the shipment asked about.
  const String& TrackingNumber() const { return FTrackingNumber; }
  /// Stores the number and always clears the last results.
  void SetTrackingNumber(const String& Value);

  /// The scan events of the last answer.
  TKwInetActivities* Activities() const { return FActivities.get(); }
  /// Reading it resets LastXMLRequestChanged.
  ///@{
  /// The last request sent; setting a different one sets LastXMLRequestChanged.
  String LastXMLRequest() { return GetLastXMLRequest(); }
  String GetLastXMLRequest();
  void SetLastXMLRequest(const String& Value);
  ///@}
  ///@{
  /// Whether LastXMLRequest changed since it was last read.
  bool LastXMLRequestChanged() const { return FLastXMLRequestChanged; }
  void SetLastXMLRequestChanged(bool value) { FLastXMLRequestChanged = value; }
  ///@}
  /// The answer, one character per byte, or the error text of a failed
  /// exchange (then nothing of a partial answer is kept).
  const String& LastXMLResponse() const { return FLastXMLResponse; }

  ///@{
  /// Whether a failed exchange is also shown to the user through the
  /// user-interface backend (the error text goes to LastXMLResponse and
  /// ErrorText either way).
  bool ErrorDialog() const { return FErrorDialog; }
  void SetErrorDialog(bool value) { FErrorDialog = value; }
  ///@}

  /// Empties Activities, LastXMLRequest and LastXMLResponse; the carriers'
  /// shipment values stay.
  virtual void Clear();

  ///@{
  /// Which interface of the carrier Execute speaks: the classic XML one, or
  /// today's REST interface with an OAuth 2.0 client (ClientId and
  /// ClientSecret; the token is asked for once per process and client and
  /// shared by every tracker of that client). With akRest, a Host that is
  /// empty or the classic default means the carrier's production hosts;
  /// another Host is "https://host[:port]" (or a bare name, with Service and
  /// Port) and takes every request, token and data.
  TKwApiKind ApiKind() const { return FApiKind; }
  void SetApiKind(TKwApiKind value) { FApiKind = value; }
  ///@}
  ///@{
  /// The OAuth 2.0 client id of the REST interface.
  const String& ClientId() const { return FClientId; }
  void SetClientId(const String& value) { FClientId = value; }
  ///@}
  ///@{
  /// Never written to a stored form unless the application asks for it.
  const String& ClientSecret() const { return FClientSecret; }
  void SetClientSecret(const String& value) { FClientSecret = value; }
  ///@}
  /// After a failed Execute of the REST interface: the service answered, but
  /// with no shipment (an unknown number, refused credentials); ErrorText is
  /// the service's own message. False after any other Execute.
  bool NoShipmentAnswer() const { return FNoShipmentAnswer; }

  ///@{
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
  ///@}

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

  ///@{
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
  ///@}

  ///@{
  /// The values behind LastXMLResponse, LastXMLRequest and
  /// LastXMLRequestChanged.
  String FLastXMLResponse;
  String FLastXMLRequest;
  bool FLastXMLRequestChanged = false;
  ///@}
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
