/// @file
/// SNTP client: one 48-byte client packet over UDP, the server's transmit
/// timestamp converted to local time.
#pragma once

#include <cstdint>

#include "kwinet/core/DateTime.h"
#include "kwinet/socket/KwInBase.h"

namespace kwinet {

/// The public NTP server pool.
extern const Char* const KwDefaultNTPServer;

/// An SNTP client: the time of a time server.
class TKwInetSNTP : public TKwInetBase {
 public:
  /// Creates the client for the public pool, port 123.
  explicit TKwInetSNTP(TComponent* AOwner);
  /// Ends a running job first (EndJob).
  ~TKwInetSNTP() override { EndJob(); }

  /// One exchange; the server's time as local time, or 0 when no valid
  /// answer came (leap indicator 3, stratum 0 or above 15, a zero transmit
  /// timestamp, a short answer, or an error of the exchange).
  TDateTime GetDateTime();
  /// GetDateTime.
  TDateTime DateTime() { return GetDateTime(); }

  /// The 48-byte client packet, one character per byte, stamped with the
  /// local clock.
  String GetQuery() override;

  /// The time in a reply as GetDateTime gives it (0 when invalid).
  TDateTime DateTimeFromReply(const String& R) const;

 protected:
  /// Sends the packet as one datagram and waits within Timeout (one retry)
  /// for the answer whose originate timestamp is the packet's transmit
  /// timestamp.
  void InternalExecute(String& Text) override;
  /// The exchange has no connection of its own.
  void Connect() override {}
  bool SendsRawHeaders() const override { return false; }

  /// Days to add to local time to get UTC.
  double TimeZoneBias() const;
  /// Value with its four bytes in reverse order.
  static std::int32_t SwapBytes(std::int32_t Value);
  /// An NTP timestamp (seconds and fraction since 1900, as unsigned values) as
  /// local time, to the millisecond.
  TDateTime NTPTimestamp2DateTime(std::int32_t Seconds, std::int32_t Fraction) const;
};

}  // namespace kwinet
