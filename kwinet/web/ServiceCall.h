/// @file
/// Calls to the web services of today (JSON or SSML over HTTPS, with a token
/// or a key in a header): where a service lives, one request and its whole
/// answer, and the one more try that a service asks for with Retry-After.
/// The exchange itself is TKwCustomWebComponent::CallService, so that it
/// keeps the component's bounds: Timeout, MaxTime, MaxResponseSize, the
/// low-speed bound, CACertFile and the proxy.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "kwinet/core/String.h"

namespace kwinet {

/// Which interface of a service a client speaks: the classic one it was
/// first written for, or the REST interface that the service offers today.
enum TKwApiKind : std::uint8_t { akClassic, akRest };
/// @var akClassic
/// The interface the client was first written for.
/// @var akRest
/// The service's REST interface of today.

/// Where a service lives: a scheme (http or https), a host and a port.
struct TServiceOrigin {
  /// https (true) or http.
  bool Secure = true;
  /// The host name or address.
  String Host;
  /// The port.
  std::uint16_t Port = 443;
};

/// Reads "https://host", "http://host:port" or "https://[::1]:8443" (a
/// trailing "/" is allowed, nothing else after the authority). False for
/// anything else: another scheme, a user or password, a path, a port out of
/// range, a control character.
bool ParseServiceOrigin(const String& Text, TServiceOrigin& Origin);
/// "https://host:port" again (the port always written).
String ServiceOriginText(const TServiceOrigin& Origin);

/// One request to a web service.
struct TServiceRequest {
  /// Where the service lives.
  TServiceOrigin Origin;
  /// The method ("GET" at first).
  String Method = u"GET";
  /// The path and query, already percent-encoded ("/translate?api-version=3.0").
  String Path;
  /// Extra header lines (name, value), sent in this order.
  std::vector<std::pair<String, String>> Headers;
  /// The body's bytes (UTF-8 JSON, a form body, SSML); none for a GET.
  std::string Body;
};

/// A web service's whole answer.
struct TServiceAnswer {
  /// The final status (after the one more try, when there was one).
  int Status = 0;
  /// The body's bytes.
  std::string Body;
  /// The Content-Type header; empty when none.
  String ContentType;
  /// The exchange was tried a second time after a 429 or 503.
  bool Retried = false;
};

/// The longest wait for Retry-After: a service that asks for more is
/// answered with its own message instead.
inline constexpr std::int64_t kMaxRetryAfterSeconds = 10;

/// The seconds that a Retry-After value asks for: a number of seconds or an
/// HTTP date, measured against NowUnix; 0 for a date past. -1 for an empty
/// or unreadable value.
std::int64_t RetryAfterSeconds(const String& Value, std::int64_t NowUnix);

}  // namespace kwinet
