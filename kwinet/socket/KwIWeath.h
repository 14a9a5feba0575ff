/// @file
/// The current temperature for a postal code, read from a weather site's
/// local-weather page.
#pragma once

#include "kwinet/socket/KwInBase.h"

namespace kwinet {

enum TKwWeatherTrackingType : std::uint8_t { wttZip };

class TKwWeatherInfo : public TKwInetBase {
 public:
  explicit TKwWeatherInfo(TComponent* AOwner);

  const String& Zip() const { return FZip; }
  void SetZip(const String& value);
  TKwWeatherTrackingType TrackingType() const { return FTrackingType; }
  void SetTrackingType(TKwWeatherTrackingType value) { FTrackingType = value; }
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
