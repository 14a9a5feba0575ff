// The JSON side of the carriers' REST interfaces: the token answer, the track
// answers of UPS and FedEx read into the same shipment values and activities
// that the XML walks fill, the services' error documents, and the FedEx
// request body. Pure functions over the answer's bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "kwinet/core/String.h"
#include "kwinet/tracking/KwITrack.h"

namespace kwinet {

// An OAuth 2.0 token answer: access_token, expires_in (a number, or a
// string of digits as UPS sends it) and token_type.
struct TOAuthTokenAnswer {
  std::string AccessToken;
  std::int64_t ExpiresIn = 0;
  String TokenType;
};

// False when the answer is no JSON object with a non-empty access_token of
// printable ASCII and a token_type that is Bearer (any case) or missing. An
// expires_in that is missing or unreadable is 0.
bool ReadOAuthTokenAnswer(std::string_view Answer, TOAuthTokenAnswer& Token);

// The service's own message in an error document: UPS's
// {"response":{"errors":[{"code","message"}]}}, FedEx's
// {"errors":[{"code","message"}]}, an OAuth error_description, or a
// {"error":{"message"}}; "CODE: MESSAGE" when a code is given. Empty when the
// answer holds none.
String ReadServiceErrorMessage(std::string_view Answer);

// What a track answer held: a shipment, or the service's reason why not.
struct TRestTrackResult {
  bool Found = false;
  // The unknown-number message (UPS warnings, FedEx's error in the track
  // result) or an error document's, when not Found.
  String Error;
};

// UPS's trackResponse: the first package of the first shipment fills
// Activities (appended) and the shipment values it carries; a shipment with
// warnings instead of packages, or an error document, is not Found.
TRestTrackResult ReadUPSTrackAnswer(std::string_view Answer, TKwShipmentValues& Shipment,
                                    TKwInetActivities& Activities);

// FedEx's output.completeTrackResults: the first track result fills
// Activities (appended) and the shipment values it carries; a track result
// with an error, or an error document, is not Found.
TRestTrackResult ReadFedExTrackAnswer(std::string_view Answer, TKwShipmentValues& Shipment,
                                      TKwInetActivities& Activities);

// The body of a FedEx track request for one number, with detailed scans
// (UTF-8 JSON; a character that UTF-8 cannot carry becomes U+FFFD).
std::string FedExTrackBody(const String& Number);

}  // namespace kwinet
