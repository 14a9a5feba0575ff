/// @file
/// The UPS tracker: one access request and one track request posted as XML,
/// the track response read into the activities and the shipment values.
#pragma once

#include "kwinet/tracking/KwITrack.h"

namespace kwinet {

/// The UPS tracker.
class TKwUPSTracker : public TKwInetCustomTracker {
 public:
  /// Creates the tracker for UPS's host with a built-in access key.
  explicit TKwUPSTracker(TComponent* AOwner);
  ~TKwUPSTracker() override;

  ///@{
  /// The UPS access key sent with every request.
  const String& AccessLicenseNumber() const { return FAccessLicenseNumber; }
  void SetAccessLicenseNumber(const String& value) { FAccessLicenseNumber = value; }
  ///@}

 protected:
  void ParseXMLResponse() override;
  void BuildRequestHeader(String& Header1, String& Header2, String& Body) override;
  String GetTrackAppHeader() override { return u"/ups.app/xml/Track"; }
  ///@{
  /// Today's interface: GET /api/track/v1/details/{number} with a bearer
  /// token from /security/v1/oauth/token (HTTP Basic).
  String ClassicDefaultHost() const override { return u"onlinetools.ups.com"; }
  String RestProductionHost() const override { return u"onlinetools.ups.com"; }
  void RestTokenEndpoint(TOAuthClient& Client) const override;
  void BuildRestRequest(TServiceRequest& Request) override;
  TRestTrackResult ReadRestAnswer(std::string_view Answer) override;
  ///@}

 private:
  String FAccessLicenseNumber;
};

/// The request body: the access request with Key, the track request with
/// Agent as the customer context and "#" and Number as the tracking number;
/// every value XML-escaped.
String UPSTrackRequest(const String& Key, const String& Agent, const String& Number);

/// The walk of a track response (one character per byte): the values found
/// replace those in Shipment (a value not in the answer keeps its old one),
/// and each activity of the package is appended to Activities. An answer that
/// is no track response changes nothing.
void ReadUPSTrackResponse(const String& Response, TKwShipmentValues& Shipment, TKwInetActivities& Activities);

///@{
/// UPS's date (YYYYMMDD) and time of day (HHMMSS), as both of its interfaces
/// write them; false for anything else.
bool UPSDate(const String& S, TDateTime& Date);
bool UPSTime(const String& S, TDateTime& Time);
///@}

}  // namespace kwinet
