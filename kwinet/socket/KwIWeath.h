/// @file
/// The current temperature for a postal code, read from a weather site's
/// local-weather page.
#pragma once

#include "kwinet/socket/KwInBase.h"

namespace kwinet {

/// What the weather is looked up by: the postal code.
enum TKwWeatherTrackingType : std::uint8_t { wttZip };
/// @var wttZip
/// By postal code.

/// The current temperature for a postal code, from a weather site over HTTP.
class TKwWeatherInfo : public TKwInetBase {
 public:
  /// Creates the component for the weather site, port 80.
  explicit TKwWeatherInfo(TComponent* AOwner);
  /// Ends a running job first (EndJob).
  ~TKwWeatherInfo() override { EndJob(); }

  ///@{
  /// The postal code looked up; setting it makes TrackingType wttZip.
  const String& Zip() const { return FZip; }
  void SetZip(const String& value);
  ///@}
  ///@{
  /// What the weather is looked up by.
  TKwWeatherTrackingType TrackingType() const { return FTrackingType; }
  void SetTrackingType(TKwWeatherTrackingType value) { FTrackingType = value; }
  ///@}
  /// The temperature the last Execute found, in the page's units; 0 when
  /// the page held none.
  int Temperature() const { return FTemperature; }

  String GetQuery() override;

 protected:
  void AfterExecute(String& Text) override;
  bool SendsRawHeaders() const override { return false; }
  bool SpeaksHTTP() const override { return true; }

 private:
  String FZip;
  TKwWeatherTrackingType FTrackingType = wttZip;
  int FTemperature = 0;
};

}  // namespace kwinet
