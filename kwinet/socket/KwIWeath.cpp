#include "kwinet/socket/KwIWeath.h"

namespace kwinet {

TKwWeatherInfo::TKwWeatherInfo(TComponent* AOwner) : TKwInetBase(AOwner) {
  SetPort(80);
  SetHost(u"www.weather.com");
}

void TKwWeatherInfo::SetZip(const String& value) {
  if (value == FZip) return;
  FZip = value;
  FTrackingType = wttZip;
}

String TKwWeatherInfo::GetQuery() {
  const String zip = FTrackingType == wttZip ? FZip : String();
  const String e = StringReplaceAll(zip, u" ", u"%20");
  const String path = u"/weather/local/" + e + u"?lswe=" + e + u"&lswa=WeatherLocalUndeclared&GO=GO&whatprefs=";
  const String target = TargetHostPort(80);
  const String url = ProxyInUse() ? u"http://" + target + path : path;
  // The proxy lines stand inside the header block; they end it.
  return u"GET " + url + u"   HTTP/1.0\r\nHost: " + target + u"\r\n" + GetRawHeaders();
}

void TKwWeatherInfo::AfterExecute(String& Text) {
  FTemperature = 0;
  TKwInetBase::AfterExecute(Text);
  // The page is the body of an HTTP answer; a reply without a head is
  // taken whole.
  THttpHeadReader head;
  const std::size_t bodyStart = ReadHttpHead(Text, head);
  static const String marker = u"CLASS=obsTempTextA>";
  const auto p = Text.find(marker, head.Done() && head.HasStatus() ? bodyStart : 0);
  if (p == String::npos) return;
  String digits;
  for (std::size_t i = p + marker.size(); i < Text.size() && (Text[i] == u'-' || (Text[i] >= u'0' && Text[i] <= u'9'));
       ++i)
    digits.push_back(Text[i]);
  FTemperature = StrToIntDef(digits, 0);
}

}  // namespace kwinet
