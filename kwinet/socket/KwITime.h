// Daytime client: reads the line of a daytime server (NIST format) and
// returns the date and time written in it, without zone conversion.
#pragma once

#include "kwinet/core/DateTime.h"
#include "kwinet/socket/KwInBase.h"

namespace kwinet {

// NIST's daytime service.
extern const Char* const KwDefaultDaytimeServer;

class TKwInetDateTime : public TKwInetBase {
 public:
  explicit TKwInetDateTime(TComponent* AOwner);

  // Connects, reads the server's line and returns its date and time; every
  // call is a new exchange. Raises EConvertError when the groups make no
  // real date or time.
  TDateTime GetDateTime();
  TDateTime DateTime() { return GetDateTime(); }

  // The date and time in a daytime line: six groups of digits after the
  // first separator (space, "-" or ":"); missing groups count as 1, a year
  // of fewer than four digits is taken as 2000 and more. The last
  // character of the text is never examined.
  static TDateTime DateTimeFromText(const String& R);
};

}  // namespace kwinet
