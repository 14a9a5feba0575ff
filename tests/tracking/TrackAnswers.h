// Canned carrier answers, shared by the tracking suite and the tool's suite.
#pragma once

#include <string>

namespace kwinet::test {

// A UPS track response: a shipment found under its lower-case name, two
// activities (one with an empty time), and package children that are no
// activity (a lower-case "activity", the package weight).
inline const std::string kUPSAnswer =
    "<?xml version=\"1.0\"?>\r\n"
    "<TrackResponse><Response><ResponseStatusCode>1</ResponseStatusCode>"
    "<ResponseStatusDescription>Success</ResponseStatusDescription></Response>\r\n"
    "<shipment>\r\n"
    " <Shipper><ShipperNumber>12345E</ShipperNumber><Address><AddressLine1>12 Main St</AddressLine1>"
    "<City>TIMONIUM</City><StateProvinceCode>MD</StateProvinceCode><PostalCode>21093</PostalCode>"
    "<CountryCode>US</CountryCode></Address></Shipper>\r\n"
    " <ShipTo><Address><AddressLine1>4 rue de la Paix</AddressLine1><City>Z\xC3\xBCrich</City>"
    "<PostalCode>8001</PostalCode><CountryCode>CH</CountryCode></Address></ShipTo>\r\n"
    " <ShipmentWeight><UnitOfMeasurement><Code>LBS</Code></UnitOfMeasurement><Weight>2.00</Weight></ShipmentWeight>\r\n"
    " <Service><Code>001</Code><Description>NEXT DAY AIR</Description></Service>\r\n"
    " <ShipmentIdentificationNumber>1Z12345E0291980793</ShipmentIdentificationNumber>\r\n"
    " <PickupDate>20130506</PickupDate>\r\n"
    " <Package>\r\n"
    "  <TrackingNumber>1Z12345E0291980793</TrackingNumber>\r\n"
    "  <Activity><ActivityLocation><Address><City>Z\xC3\xBCrich</City><CountryCode>CH</CountryCode></Address>"
    "<Code>ML</Code><Description>FRONT DOOR</Description><SignedForByName>MEIER</SignedForByName></ActivityLocation>"
    "<Status><StatusType><Code>D</Code><Description>DELIVERED</Description></StatusType>"
    "<StatusCode><Code>KB</Code></StatusCode></Status><Date>20130507</Date><Time>143009</Time></Activity>\r\n"
    "  <activity><Status><StatusType><Code>X</Code></StatusType></Status><Date>20130507</Date></activity>\r\n"
    "  <Activity><ActivityLocation><Address><City>ROISSY</City><CountryCode>FR</CountryCode></Address>"
    "</ActivityLocation><Status><StatusType><Code>I</Code><Description>ARRIVAL SCAN</Description></StatusType>"
    "</Status><Date>20130506</Date><Time></Time></Activity>\r\n"
    "  <PackageWeight><UnitOfMeasurement><Code>LBS</Code></UnitOfMeasurement><Weight>2.00</Weight></PackageWeight>\r\n"
    " </Package>\r\n"
    "</shipment>\r\n"
    "</TrackResponse>";

// A FedEx track reply in SOAP, the reply's elements in a default namespace.
inline const std::string kFedExAnswer =
    "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\"><SOAP-ENV:Header/>"
    "<SOAP-ENV:Body><TrackReply xmlns=\"http://fedex.com/ws/track/v10\"><HighestSeverity>SUCCESS</HighestSeverity>"
    "<CompletedTrackDetails><TrackDetails><TrackingNumber>123456789012</TrackingNumber>"
    "<TrackingNumberUniqueIdentifier>2456000~123456789012~FX</TrackingNumberUniqueIdentifier>"
    "<Service><Type>FEDEX_GROUND</Type><Description>FedEx Ground</Description></Service>"
    "<ShipmentWeight><Units>LB</Units><Value>12.5</Value></ShipmentWeight>"
    "<DestinationAddress><City>DENVER</City><StateOrProvinceCode>CO</StateOrProvinceCode>"
    "<CountryName>United States</CountryName></DestinationAddress>"
    "<ActualDeliveryTimestamp>2014-01-09T13:31:00-05:00</ActualDeliveryTimestamp>"
    "<Events><Timestamp>2014-01-09T13:31:00-05:00</Timestamp><EventType>DL</EventType>"
    "<EventDescription>Delivered</EventDescription><Address><City>DENVER</City>"
    "<StateOrProvinceCode>CO</StateOrProvinceCode><PostalCode>80202</PostalCode>"
    "<CountryName>United States</CountryName></Address><ArrivalLocation>DELIVERY_LOCATION</ArrivalLocation></Events>"
    "<Events><Timestamp>2014-01-08T04:02:00-07:00</Timestamp><EventType>AR</EventType>"
    "<EventDescription>At local FedEx facility</EventDescription><Address><City>COMMERCE CITY</City>"
    "<StateOrProvinceCode>CO</StateOrProvinceCode></Address><ArrivalLocation>DESTINATION_FEDEX_FACILITY"
    "</ArrivalLocation></Events>"
    "</TrackDetails></CompletedTrackDetails></TrackReply></SOAP-ENV:Body></SOAP-ENV:Envelope>";

}  // namespace kwinet::test
