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

}  // namespace kwinet
