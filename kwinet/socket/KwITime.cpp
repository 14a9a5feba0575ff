#include "kwinet/socket/KwITime.h"

namespace kwinet {

const Char* const KwDefaultDaytimeServer = u"time.nist.gov";

TKwInetDateTime::TKwInetDateTime(TComponent* AOwner) : TKwInetBase(AOwner) {
  SetPort(13);
  SetHost(KwDefaultDaytimeServer);
}

TDateTime TKwInetDateTime::GetDateTime() {
  return DateTimeFromText(Execute());
}

TDateTime TKwInetDateTime::DateTimeFromText(const String& R) {
  String g[7];
  int j = 0;
  for (std::size_t i = 0; i + 1 < R.size() && j <= 6; ++i) {
    const Char c = R[i];
    if (c == u' ' || c == u'-' || c == u':') {
      ++j;
    } else if (c >= u'0' && c <= u'9' && j >= 1) {
      g[j].push_back(c);
    }
  }
  for (int k = 1; k <= 6; ++k)
    if (g[k].empty()) g[k] = u"1";
  while (g[1].size() < 3) g[1].insert(0, 1, u'0');
  if (g[1].size() < 4) g[1].insert(0, 1, u'2');
  return EncodeDate(StrToInt(g[1]), StrToInt(g[2]), StrToInt(g[3])) +
         EncodeTime(StrToInt(g[4]), StrToInt(g[5]), StrToInt(g[6]), 0);
}

bool TKwInetDateTime::TryDateTimeFromText(const String& R, TDateTime& Value) {
  String g[7];
  int j = 0;
  for (std::size_t i = 0; i < R.size() && j < 7; ++i) {
    const Char c = R[i];
    if (c == u' ' || c == u'-' || c == u':') {
      if (j >= 1 && g[j].empty()) return false;  // two separators in a row
      ++j;
    } else if (c >= u'0' && c <= u'9') {
      if (j >= 1) g[j].push_back(c);
    } else if (j >= 1) {
      return false;
    }
  }
  if (j < 7) return false;
  int v[7] = {};
  for (int k = 1; k <= 6; ++k)
    if (g[k].size() > 4 || !TryStrToInt(g[k], v[k])) return false;
  // The year as DateTimeFromText widens it: 23 is 2023.
  if (g[1].size() < 4) v[1] += 2000;
  TDateTime date, time;
  if (!TryEncodeDate(v[1], v[2], v[3], date) || !TryEncodeTime(v[4], v[5], v[6], 0, time)) return false;
  Value = date + time;
  return true;
}

}  // namespace kwinet
