#include "kwinet/tracking/TrackRest.h"

#include <nlohmann/json.hpp>

#include "kwinet/tracking/KwIUPS.h"
#include "kwinet/xml/KwInetXML.h"

namespace kwinet {

namespace {

using Json = nlohmann::json;

// Parsing and freeing are iterative in this library: a deeply nested answer
// costs memory in proportion to its size, never stack.
Json Parse(std::string_view Answer) {
  return Json::parse(Answer.begin(), Answer.end(), nullptr, /*allow_exceptions=*/false);
}

// The member Key of an object, or nullptr when Value is no object or has
// none.
const Json* Member(const Json* Value, const char* Key) {
  if (!Value || !Value->is_object()) return nullptr;
  const auto it = Value->find(Key);
  return it == Value->end() ? nullptr : &*it;
}

// The first element of an array, or nullptr.
const Json* First(const Json* Value) {
  return Value && Value->is_array() && !Value->empty() ? &(*Value)[0] : nullptr;
}

// A string member as text; a number as the service wrote it; else empty.
String Text(const Json* Value, const char* Key) {
  const Json* v = Member(Value, Key);
  if (!v) return String();
  if (v->is_string()) return Utf8ToString(v->get_ref<const std::string&>());
  if (v->is_number()) return Utf8ToString(v->dump());
  return String();
}

// The message of the first entry of an errors array: "CODE: MESSAGE".
String FirstError(const Json* Errors) {
  const Json* e = First(Errors);
  if (!e) return String();
  const String message = Text(e, "message");
  const String code = Text(e, "code");
  if (message.empty()) return code;
  return code.empty() ? message : code + u": " + message;
}

// The address fill of UPS: three lines, city, postal code, the state or
// province and the country code, as the XML walk takes them. Nothing when
// Address is no object.
void FillUPSAddress(const Json* Address, TKwInetActivityAddress& Target) {
  if (!Address || !Address->is_object()) return;
  Target.SetAddressLine1(Text(Address, "addressLine1"));
  Target.SetAddressLine2(Text(Address, "addressLine2"));
  Target.SetAddressLine3(Text(Address, "addressLine3"));
  Target.SetCity(Text(Address, "city"));
  Target.SetPostalCode(Text(Address, "postalCode"));
  Target.SetState(Text(Address, "stateProvince"));
  Target.SetCountry(Text(Address, "countryCode"));
}

// The address fill of FedEx: the street lines, city, postal code, state or
// province code, and the country's name as the XML walk takes it (its code
// when the answer gives no name).
void FillFedExAddress(const Json* Address, TKwInetActivityAddress& Target) {
  if (!Address || !Address->is_object()) return;
  String lines[3];
  if (const Json* street = Member(Address, "streetLines"); street && street->is_array()) {
    std::size_t n = 0;
    for (const Json& line : *street) {
      if (n == 3) break;
      if (line.is_string()) lines[n++] = Utf8ToString(line.get_ref<const std::string&>());
    }
  }
  Target.SetAddressLine1(lines[0]);
  Target.SetAddressLine2(lines[1]);
  Target.SetAddressLine3(lines[2]);
  Target.SetCity(Text(Address, "city"));
  Target.SetPostalCode(Text(Address, "postalCode"));
  Target.SetState(Text(Address, "stateOrProvinceCode"));
  String country = Text(Address, "countryName");
  if (country.empty()) country = Text(Address, "countryCode");
  Target.SetCountry(country);
}

}  // namespace

bool ReadOAuthTokenAnswer(std::string_view Answer, TOAuthTokenAnswer& Token) {
  const Json root = Parse(Answer);
  const Json* access = Member(&root, "access_token");
  if (!access || !access->is_string()) return false;
  const std::string& value = access->get_ref<const std::string&>();
  // The token goes into a header line: printable ASCII only.
  if (value.empty()) return false;
  for (const char c : value)
    if (c <= 0x20 || c >= 0x7F) return false;
  const Json* type = Member(&root, "token_type");
  String tokenType;
  if (type) {
    if (!type->is_string()) return false;
    tokenType = Utf8ToString(type->get_ref<const std::string&>());
    if (!SameText(tokenType, u"Bearer")) return false;
  }
  std::int64_t expires = 0;
  if (const Json* e = Member(&root, "expires_in")) {
    if (e->is_number_unsigned() || e->is_number_integer()) {
      expires = e->get<std::int64_t>();
    } else if (e->is_number_float()) {
      const double d = e->get<double>();
      expires = d > 0 && d < 1e12 ? static_cast<std::int64_t>(d) : 0;
    } else if (e->is_string()) {
      const std::string& s = e->get_ref<const std::string&>();
      if (!s.empty() && s.size() <= 12 && s.find_first_not_of("0123456789") == std::string::npos)
        expires = std::stoll(s);
    }
    if (expires < 0) expires = 0;
  }
  Token.AccessToken = value;
  Token.ExpiresIn = expires;
  Token.TokenType = tokenType;
  return true;
}

String ReadServiceErrorMessage(std::string_view Answer) {
  const Json root = Parse(Answer);
  if (!root.is_object()) return String();
  // UPS.
  if (String m = FirstError(Member(Member(&root, "response"), "errors")); !m.empty()) return m;
  // FedEx.
  if (String m = FirstError(Member(&root, "errors")); !m.empty()) return m;
  // A track result's own error, or another service's {"error":{...}}.
  if (const Json* e = Member(&root, "error"); e && e->is_object()) {
    const String message = Text(e, "message");
    const String code = Text(e, "code");
    if (!message.empty()) return code.empty() ? message : code + u": " + message;
  }
  // OAuth's own form.
  String m = Text(&root, "error_description");
  if (m.empty()) m = Text(&root, "error");
  return m;
}

TRestTrackResult ReadUPSTrackAnswer(std::string_view Answer, TKwShipmentValues& Shipment,
                                    TKwInetActivities& Activities) {
  TRestTrackResult result;
  const Json root = Parse(Answer);
  const Json* shipment = First(Member(Member(&root, "trackResponse"), "shipment"));
  const Json* package = First(Member(shipment, "package"));
  if (!package || !package->is_object()) {
    result.Error = FirstError(Member(shipment, "warnings"));
    if (result.Error.empty()) result.Error = ReadServiceErrorMessage(Answer);
    return result;
  }
  result.Found = true;

  String id = Text(shipment, "inquiryNumber");
  if (id.empty()) id = Text(package, "trackingNumber");
  Shipment.IdentificationNumber = id;
  TDateTime pickup;
  if (UPSDate(Text(shipment, "pickupDate"), pickup)) Shipment.PickupDate = pickup;
  if (const Json* service = Member(package, "service"); service && service->is_object()) {
    Shipment.ServiceCode = Text(service, "code");
    Shipment.ServiceDescription = Text(service, "description");
  }
  if (const Json* weight = Member(package, "weight"); weight && weight->is_object()) {
    Shipment.ShipmentWeight = Text(weight, "weight");
    Shipment.ShipmentWeightUnits = Text(weight, "unitOfMeasurement");
  }
  if (const Json* addresses = Member(package, "packageAddress"); addresses && addresses->is_array()) {
    for (const Json& a : *addresses) {
      const String type = Text(&a, "type");
      if (SameText(type, u"ORIGIN"))
        FillUPSAddress(Member(&a, "address"), *Shipment.ShipperAddress);
      else if (SameText(type, u"DESTINATION"))
        FillUPSAddress(Member(&a, "address"), *Shipment.ShipToAddress);
    }
  }

  const Json* activities = Member(package, "activity");
  if (!activities || !activities->is_array()) return result;
  for (const Json& a : *activities) {
    if (!a.is_object()) continue;
    TKwInetActivity* item = Activities.Add();
    FillUPSAddress(Member(Member(&a, "location"), "address"), *item->Location());
    if (const Json* status = Member(&a, "status"); status && status->is_object()) {
      item->SetStatusTypeCode(Text(status, "type"));
      item->SetStatusTypeDescription(Text(status, "description"));
      item->SetStatusCode(Text(status, "code"));
    }
    TDateTime date, time;
    if (UPSDate(Text(&a, "date"), date) && UPSTime(Text(&a, "time"), time)) item->SetDateTime(date + time);
  }
  return result;
}

TRestTrackResult ReadFedExTrackAnswer(std::string_view Answer, TKwShipmentValues& Shipment,
                                      TKwInetActivities& Activities) {
  TRestTrackResult result;
  const Json root = Parse(Answer);
  const Json* complete = First(Member(Member(&root, "output"), "completeTrackResults"));
  const Json* track = First(Member(complete, "trackResults"));
  if (!track || !track->is_object()) {
    result.Error = ReadServiceErrorMessage(Answer);
    return result;
  }
  if (const Json* error = Member(track, "error"); error && error->is_object()) {
    const String message = Text(error, "message");
    const String code = Text(error, "code");
    result.Error = message.empty() ? code : code.empty() ? message : code + u": " + message;
    if (result.Error.empty()) result.Error = u"The service found no shipment";
    return result;
  }
  result.Found = true;

  FillFedExAddress(Member(Member(track, "recipientInformation"), "address"), *Shipment.ShipToAddress);
  Shipment.IdentificationNumber = Text(Member(track, "trackingNumberInfo"), "trackingNumberUniqueId");
  TDateTime pickup = 0;
  if (const Json* dates = Member(track, "dateAndTimes"); dates && dates->is_array()) {
    for (const Json& d : *dates)
      if (Text(&d, "type") == u"ACTUAL_PICKUP") {
        pickup = XMLStringToDateTime(Text(&d, "dateTime"));
        break;
      }
  }
  Shipment.PickupDate = pickup;
  const Json* weight = First(Member(Member(Member(track, "packageDetails"), "weightAndDimensions"), "weight"));
  if (weight && weight->is_object()) {
    Shipment.ShipmentWeight = Text(weight, "value");
    Shipment.ShipmentWeightUnits = Text(weight, "unit");
  }
  if (const Json* service = Member(track, "serviceDetail"); service && service->is_object()) {
    Shipment.ServiceCode = Text(service, "type");
    Shipment.ServiceDescription = Text(service, "description");
  }

  const Json* events = Member(track, "scanEvents");
  if (!events || !events->is_array()) return result;
  for (const Json& e : *events) {
    if (!e.is_object()) continue;
    TKwInetActivity* item = Activities.Add();
    item->SetLocationCode(Text(&e, "locationType"));
    item->SetStatusTypeCode(Text(&e, "eventType"));
    item->SetStatusTypeDescription(Text(&e, "eventDescription"));
    item->SetDateTime(XMLStringToDateTime(Text(&e, "date")));
    FillFedExAddress(Member(&e, "scanLocation"), *item->Location());
  }
  return result;
}

std::string FedExTrackBody(const String& Number) {
  Json body = Json::object();
  body["includeDetailedScans"] = true;
  Json info = Json::object();
  info["trackingNumberInfo"]["trackingNumber"] = StringToUtf8(Number);
  body["trackingInfo"] = Json::array({info});
  return body.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace kwinet
