#include "kwinet/socket/KwISNTP.h"

#include <cmath>
#include <ctime>

#include "kwinet/socket/ClientSocket.h"

namespace kwinet {

const Char* const KwDefaultNTPServer = u"pool.ntp.org";

namespace {

// 2^32 + 1, the divisor the component has always used for NTP fractions.
constexpr double kNTPScale = 4294967297.0;
constexpr std::size_t kPacketSize = 48;

std::uint32_t ReadBigEndian32(const String& s, std::size_t offset) {
  return (std::uint32_t(s[offset] & 0xFF) << 24) | (std::uint32_t(s[offset + 1] & 0xFF) << 16) |
         (std::uint32_t(s[offset + 2] & 0xFF) << 8) | std::uint32_t(s[offset + 3] & 0xFF);
}

void WriteBigEndian32(String& s, std::size_t offset, std::uint32_t v) {
  s[offset] = static_cast<Char>((v >> 24) & 0xFF);
  s[offset + 1] = static_cast<Char>((v >> 16) & 0xFF);
  s[offset + 2] = static_cast<Char>((v >> 8) & 0xFF);
  s[offset + 3] = static_cast<Char>(v & 0xFF);
}

}  // namespace

TKwInetSNTP::TKwInetSNTP(TComponent* AOwner) : TKwInetBase(AOwner) {
  SetPort(123);
  SetHost(KwDefaultNTPServer);
}

double TKwInetSNTP::TimeZoneBias() const {
  ::tzset();  // take a TZ that was changed since the last call
  return LocalTimeZone(static_cast<std::int64_t>(std::time(nullptr))).Bias / 1440.0;
}

std::int32_t TKwInetSNTP::SwapBytes(std::int32_t Value) {
  const auto v = static_cast<std::uint32_t>(Value);
  return static_cast<std::int32_t>((v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24));
}

TDateTime TKwInetSNTP::NTPTimestamp2DateTime(std::int32_t Seconds, std::int32_t Fraction) const {
  double s = Seconds;
  if (s < 0) s += kNTPScale - 1;
  double f = Fraction;
  if (f < 0) f += kNTPScale - 1;
  const double ms = std::trunc(f / kNTPScale * 1000);
  return (s + ms / 1000) / 86400 - TimeZoneBias() + 2;
}

String TKwInetSNTP::GetQuery() {
  String packet(kPacketSize, u'\0');
  packet[0] = 0x1B;
  const double d = (Now() + TimeZoneBias() - 2) * 86400;
  double s = d;
  if (s > kNTPScale) s -= kNTPScale;
  WriteBigEndian32(packet, 40, static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::trunc(s))));
  double f = (d - std::trunc(d)) * 1000 / 1000 * kNTPScale;
  if (f > kNTPScale) f -= kNTPScale;
  WriteBigEndian32(packet, 44, static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::trunc(f))));
  return packet;
}

void TKwInetSNTP::InternalExecute(String& Text) {
  const std::string request = StringToBytes(GetQuery());
  const std::string sent = request.substr(40, 8);
  const std::string answer = DatagramExchange(Host(), Address(), Port(), request, Timeout(), [&](const std::string& a) {
    // Only the answer to this very packet: its originate timestamp is
    // the transmit timestamp that was sent.
    return a.size() >= kPacketSize && a.compare(24, 8, sent) == 0;
  });
  Text = BytesToString(answer);
}

TDateTime TKwInetSNTP::DateTimeFromReply(const String& R) const {
  if (R.size() < kPacketSize) return 0;
  const std::uint32_t seconds = ReadBigEndian32(R, 40), fraction = ReadBigEndian32(R, 44);
  const int leap = (R[0] & 0xFF) >> 6;
  const int stratum = R[1];
  // A zero transmit timestamp is the server saying it has no time; the
  // test is on the field itself, since no local time converts to 0.
  if (leap == 3 || (seconds == 0 && fraction == 0) || stratum == 0 || stratum > 15) return 0;
  return NTPTimestamp2DateTime(static_cast<std::int32_t>(seconds), static_cast<std::int32_t>(fraction));
}

TDateTime TKwInetSNTP::GetDateTime() {
  return DateTimeFromReply(Execute());
}

}  // namespace kwinet
