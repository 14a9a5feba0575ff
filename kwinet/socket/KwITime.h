/// @file
/// Daytime client: reads the line of a daytime server (NIST format) and
/// returns the date and time written in it, without zone conversion.
#pragma once

#include "kwinet/core/DateTime.h"
#include "kwinet/socket/KwInBase.h"

namespace kwinet {

/// NIST's daytime service.
extern const Char* const KwDefaultDaytimeServer;

/// A daytime client: the date and time a daytime server writes.
class TKwInetDateTime : public TKwInetBase {
 public:
  /// Creates the client for NIST's service, port 13.
  explicit TKwInetDateTime(TComponent* AOwner);
  /// Ends a running job first (EndJob).
  ~TKwInetDateTime() override { EndJob(); }

  /// Connects, reads the server's line and returns its date and time; every
  /// call is a new exchange. Raises EConvertError when the groups make no
  /// real date or time.
  TDateTime GetDateTime();
  /// GetDateTime.
  TDateTime DateTime() { return GetDateTime(); }

  /// The date and time in a daytime line: six groups of digits after the
  /// first separator (space, "-" or ":"); missing groups count as 1, a year
  /// of fewer than four digits is taken as 2000 and more. The last
  /// character of the text is never examined.
  static TDateTime DateTimeFromText(const String& R);
  /// The same reading, for a caller that must tell a daytime line from any
  /// other text: true only when the six groups after the first separator
  /// are digits and nothing else, each followed by its separator (so the
  /// seconds are whole), and they make a real date and time. False leaves
  /// Value as it was.
  static bool TryDateTimeFromText(const String& R, TDateTime& Value);
};

}  // namespace kwinet
