// The UPS tracker: one access request and one track request posted as XML,
// the track response read into the activities and the shipment values.
#pragma once

#include "kwinet/tracking/KwITrack.h"

namespace kwinet {

class TKwUPSTracker : public TKwInetCustomTracker {
 public:
  explicit TKwUPSTracker(TComponent* AOwner);
  ~TKwUPSTracker() override;

  // The UPS access key sent with every request.
  const String& AccessLicenseNumber() const { return FAccessLicenseNumber; }
  void SetAccessLicenseNumber(const String& value) { FAccessLicenseNumber = value; }

 protected:
  void ParseXMLResponse() override;
  void BuildRequestHeader(String& Header1, String& Header2, String& Body) override;
  String GetTrackAppHeader() override { return u"/ups.app/xml/Track"; }

 private:
  String FAccessLicenseNumber;
};

// The request body: the access request with Key, the track request with
// Agent as the customer context and "#" and Number as the tracking number;
// every value XML-escaped.
String UPSTrackRequest(const String& Key, const String& Agent, const String& Number);

// The walk of a track response (one character per byte): the values found
// replace those in Shipment (a value not in the answer keeps its old one),
// and each activity of the package is appended to Activities. An answer that
// is no track response changes nothing.
void ReadUPSTrackResponse(const String& Response, TKwShipmentValues& Shipment, TKwInetActivities& Activities);

}  // namespace kwinet
