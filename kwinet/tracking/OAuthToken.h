// OAuth 2.0 client credentials for the carriers' REST interfaces: a token
// asked for with the client's id and secret, kept with its expiry in one
// cache per process (keyed by the token URL and the client id) and shared
// by every tracker of that client, with at most one token request in flight
// per key. Every request goes through the component's CallService, so its
// bounds (Timeout, MaxResponseSize, CACertFile, no redirection) hold.
//
// A token or a secret never reaches an error text, a log or a request other
// than the token request.
//
// Thread-safety: the cache is shared by trackers on any thread (jobs side by
// side); a lock guards it, and a job waiting for another's token request
// stops waiting when it is cancelled.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "kwinet/core/String.h"
#include "kwinet/web/ServiceCall.h"

namespace kwinet {

class TKwCustomWebComponent;

struct TOAuthClient {
  // The token endpoint.
  TServiceOrigin Origin;
  String Path;
  String ClientId;
  String ClientSecret;
  // How the client shows its credentials: HTTP Basic (UPS) or the id and
  // secret as form fields of the body (FedEx).
  bool BasicAuth = true;
};

// A token is reused until this long before it expires.
inline constexpr std::chrono::seconds kOAuthExpiryMargin{60};

// The client's token: the cached one while it is good, else a new one asked
// for through Component (other callers of the same client wait for that
// request rather than making their own). False with the reason in Error:
// the service's own message when it refused the client.
bool OAuthAccessToken(TKwCustomWebComponent& Component, const TOAuthClient& Client, std::string& Token,
                      String& Error);

// Forgets the client's cached token when it is still Token (a data request
// was refused with it); a newer one that another caller already has stays.
void OAuthDropToken(const TOAuthClient& Client, const std::string& Token);

// Sends Request with "Authorization: Bearer TOKEN" added. When the service
// answers 401, the token is dropped, a new one is asked for once and the
// request is sent once more. False with the reason in Error when no token or
// no answer was had (Answer.Status is then the token answer's status when
// the token service refused the client, else 0); otherwise Answer is the
// service's last answer.
bool CallWithToken(TKwCustomWebComponent& Component, const TOAuthClient& Client, const TServiceRequest& Request,
                   TServiceAnswer& Answer, String& Error);

// Empties the cache (tests, and an application that changes credentials).
void OAuthClearTokens();

}  // namespace kwinet
