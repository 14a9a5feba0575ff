// The carriers' REST answers as the services document them, for the
// carrier emulator (CarrierService.h), the tests and the tool's demo. The
// shipments are those of the XML answers the tests already use
// (tests/tracking/TrackAnswers.h), as far as the REST answers carry them.
#pragma once

#include <string>

namespace kwinet::support {

// UPS: GET /api/track/v1/details/1Z12345E0291980793. Two activities, newest
// first; the second has no time.
inline const std::string kUPSRestNumber = "1Z12345E0291980793";
inline const std::string kUPSRestAnswer =
    R"({"trackResponse":{"shipment":[{"inquiryNumber":"1Z12345E0291980793","pickupDate":"20130506","package":[{)"
    R"("trackingNumber":"1Z12345E0291980793","deliveryDate":[{"type":"DEL","date":"20130507"}],)"
    R"("currentStatus":{"description":"Delivered","code":"011"},"service":{"code":"001","description":"NEXT DAY AIR"},)"
    R"("weight":{"unitOfMeasurement":"LBS","weight":"2.00"},"packageAddress":[)"
    R"({"type":"ORIGIN","address":{"addressLine1":"12 Main St","city":"TIMONIUM","stateProvince":"MD",)"
    R"("postalCode":"21093","country":"US","countryCode":"US"}},)"
    R"({"type":"DESTINATION","address":{"addressLine1":"4 rue de la Paix","city":"Z\u00fcrich","postalCode":"8001",)"
    R"("country":"CH","countryCode":"CH"}}],"activity":[)"
    R"({"location":{"address":{"city":"Zürich","country":"CH","countryCode":"CH"}},)"
    R"("status":{"type":"D","description":"DELIVERED","code":"KB"},"date":"20130507","time":"143009"},)"
    R"({"location":{"address":{"city":"ROISSY","country":"FR","countryCode":"FR"}},)"
    R"("status":{"type":"I","description":"ARRIVAL SCAN"},"date":"20130506","time":""}]}]}]}})";
// UPS for a number it does not know: 404 with its error document.
inline const std::string kUPSRestUnknown =
    R"({"response":{"errors":[{"code":"151044","message":"No tracking information available"}]}})";
// UPS refusing a token: 401.
inline const std::string kUPSRestBadToken =
    R"({"response":{"errors":[{"code":"250002","message":"Invalid Authentication Information."}]}})";
// UPS refusing the client's credentials on the token request: 401.
inline const std::string kUPSRestBadClient =
    R"({"response":{"errors":[{"code":"10401","message":"ClientId is Invalid"}]}})";

// FedEx: POST /track/v1/trackingnumbers for 123456789012.
inline const std::string kFedExRestNumber = "123456789012";
inline const std::string kFedExRestAnswer =
    R"({"transactionId":"624deea6-b709-470c-8c39-4b5511281492","output":{"completeTrackResults":[{)"
    R"("trackingNumber":"123456789012","trackResults":[{"trackingNumberInfo":{"trackingNumber":"123456789012",)"
    R"("carrierCode":"FDXG","trackingNumberUniqueId":"2456000~123456789012~FX"},)"
    R"("latestStatusDetail":{"code":"DL","description":"Delivered","scanLocation":{"city":"DENVER",)"
    R"("stateOrProvinceCode":"CO","countryCode":"US"}},"dateAndTimes":[)"
    R"({"type":"ACTUAL_DELIVERY","dateTime":"2014-01-09T13:31:00-05:00"},)"
    R"({"type":"ACTUAL_PICKUP","dateTime":"2014-01-07T09:15:00-05:00"},)"
    R"({"type":"SHIP","dateTime":"2014-01-07T00:00:00-06:00"}],)"
    R"("shipperInformation":{"address":{"city":"MEMPHIS","stateOrProvinceCode":"TN","countryCode":"US"}},)"
    R"("recipientInformation":{"address":{"city":"DENVER","stateOrProvinceCode":"CO","countryCode":"US",)"
    R"("countryName":"United States"}},"serviceDetail":{"type":"FEDEX_GROUND","description":"FedEx Ground"},)"
    R"("packageDetails":{"weightAndDimensions":{"weight":[{"value":"12.5","unit":"LB"},{"value":"5.67","unit":"KG"}]}},)"
    R"("scanEvents":[{"date":"2014-01-09T13:31:00-05:00","eventType":"DL","eventDescription":"Delivered",)"
    R"("scanLocation":{"streetLines":[""],"city":"DENVER","stateOrProvinceCode":"CO","postalCode":"80202",)"
    R"("countryCode":"US","countryName":"United States"},"locationType":"DELIVERY_LOCATION"},)"
    R"({"date":"2014-01-08T04:02:00-07:00","eventType":"AR","eventDescription":"At local FedEx facility",)"
    R"("scanLocation":{"city":"COMMERCE CITY","stateOrProvinceCode":"CO"},)"
    R"("locationType":"DESTINATION_FEDEX_FACILITY"}]}]}]}})";
// FedEx for a number it does not know: 200 with the error in the result.
inline const std::string kFedExRestUnknown =
    R"({"transactionId":"a1","output":{"completeTrackResults":[{"trackingNumber":"999999999999","trackResults":[{)"
    R"("trackingNumberInfo":{"trackingNumber":"999999999999","carrierCode":"","trackingNumberUniqueId":""},)"
    R"("error":{"code":"TRACKING.TRACKINGNUMBER.NOTFOUND","message":"Tracking number cannot be found. Please )"
    R"(correct the tracking number and try again."}}]}]}})";
// FedEx refusing a token or the client's credentials: 401.
inline const std::string kFedExRestBadToken =
    R"({"transactionId":"a2","errors":[{"code":"NOT.AUTHORIZED.ERROR","message":"Access token expired. Please )"
    R"(modify your request and try again."}]})";
inline const std::string kFedExRestBadClient =
    R"({"transactionId":"a3","errors":[{"code":"NOT.AUTHORIZED.ERROR","message":"The given client credentials )"
    R"(were not valid. Please modify your request and try again."}]})";

}  // namespace kwinet::support
