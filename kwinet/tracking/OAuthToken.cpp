#include "kwinet/tracking/OAuthToken.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>

#include "kwinet/core/Jobs.h"
#include "kwinet/tracking/TrackRest.h"
#include "kwinet/utils/kwiutil.h"
#include "kwinet/web/kwiupdate.h"

namespace kwinet {

namespace {

using Clock = std::chrono::steady_clock;

struct TCachedToken {
  std::string Token;
  Clock::time_point Expires{};
  bool Fetching = false;
};

// The one cache of the process.
struct TTokenCache {
  std::mutex Lock;
  std::condition_variable Done;
  std::map<String, TCachedToken> Tokens;
};

TTokenCache& Cache() {
  static TTokenCache cache;
  return cache;
}

// The secret is part of the key (it stays in this process's memory): a
// caller with the right id but another secret gets no token it could not
// get itself.
String Key(const TOAuthClient& Client) {
  return ServiceOriginText(Client.Origin) + Client.Path + u"\n" + Client.ClientId + u"\n" + Client.ClientSecret;
}

// One token request; the answer's token and its lifetime. Status: the
// answer's status, 0 for none.
bool FetchToken(TKwCustomWebComponent& Component, const TOAuthClient& Client, TOAuthTokenAnswer& Token,
                String& Error, int& Status) {
  TServiceRequest request;
  request.Origin = Client.Origin;
  request.Method = u"POST";
  request.Path = Client.Path;
  request.Headers.emplace_back(u"Content-Type", u"application/x-www-form-urlencoded");
  request.Headers.emplace_back(u"Accept", u"application/json");
  request.Body = "grant_type=client_credentials";
  if (Client.BasicAuth) {
    const std::string pair = StringToUtf8(Client.ClientId) + ":" + StringToUtf8(Client.ClientSecret);
    request.Headers.emplace_back(u"Authorization", u"Basic " + Encode64(BytesToString(pair)));
  } else {
    request.Body += "&client_id=" + PercentEncode(StringToUtf8(Client.ClientId)) + "&client_secret=" +
                    PercentEncode(StringToUtf8(Client.ClientSecret));
  }
  TServiceAnswer answer;
  if (!Component.CallService(request, answer)) {
    Error = Component.ErrorText();
    return false;
  }
  Status = answer.Status;
  if (answer.Status >= 200 && answer.Status < 300) {
    if (ReadOAuthTokenAnswer(answer.Body, Token)) return true;
    // Not repeated: an answer that cannot be read may still hold a token.
    Error = u"The token answer holds no bearer token";
    return false;
  }
  const String message = ReadServiceErrorMessage(answer.Body);
  Error = u"The token request was refused (" + IntToStr(answer.Status) + u")" +
          (message.empty() ? String() : u": " + message);
  return false;
}

bool AccessToken(TKwCustomWebComponent& Component, const TOAuthClient& Client, std::string& Token, String& Error,
                 int& Status);

// How long a caller waits for another caller's token request.
std::chrono::milliseconds WaitBound(const TKwCustomWebComponent& Component) {
  std::uint32_t ms = Component.MaxTime() ? Component.MaxTime() : Component.Timeout() ? 2 * Component.Timeout() : 0;
  if (ms == 0) ms = 120000;
  return std::chrono::milliseconds(ms);
}

}  // namespace

bool OAuthAccessToken(TKwCustomWebComponent& Component, const TOAuthClient& Client, std::string& Token,
                      String& Error) {
  int status = 0;
  return AccessToken(Component, Client, Token, Error, status);
}

namespace {

bool AccessToken(TKwCustomWebComponent& Component, const TOAuthClient& Client, std::string& Token, String& Error,
                 int& Status) {
  TTokenCache& cache = Cache();
  const String key = Key(Client);
  std::unique_lock<std::mutex> hold(cache.Lock);
  const auto deadline = Clock::now() + WaitBound(Component);
  for (;;) {
    TCachedToken& entry = cache.Tokens[key];
    if (!entry.Token.empty() && Clock::now() + kOAuthExpiryMargin < entry.Expires) {
      Token = entry.Token;
      return true;
    }
    if (!entry.Fetching) break;
    // A job's cancel is looked at between slices of the wait.
    const auto until = InJob() ? std::min(deadline, Clock::now() + kJobCancelSlice) : deadline;
    const bool timedOut = cache.Done.wait_until(hold, until) == std::cv_status::timeout;
    if (JobCancelled()) {
      Error = u"Cancelled";
      return false;
    }
    if (timedOut && Clock::now() >= deadline && cache.Tokens[key].Fetching) {
      Error = u"Another request for the same client's token did not end in time";
      return false;
    }
  }
  cache.Tokens[key].Fetching = true;
  hold.unlock();
  TOAuthTokenAnswer answer;
  const auto asked = Clock::now();
  const bool ok = FetchToken(Component, Client, answer, Error, Status);
  hold.lock();
  TCachedToken& entry = cache.Tokens[key];
  entry.Fetching = false;
  if (ok) {
    entry.Token = answer.AccessToken;
    // Counted from the request, not the answer: the token may be that much
    // older than the answer says.
    entry.Expires = asked + std::chrono::seconds(std::min<std::int64_t>(answer.ExpiresIn, 366LL * 86400));
    Token = answer.AccessToken;
  }
  cache.Done.notify_all();
  return ok;
}

}  // namespace

void OAuthDropToken(const TOAuthClient& Client, const std::string& Token) {
  TTokenCache& cache = Cache();
  std::lock_guard<std::mutex> hold(cache.Lock);
  const auto it = cache.Tokens.find(Key(Client));
  if (it != cache.Tokens.end() && it->second.Token == Token) {
    it->second.Token.clear();
    it->second.Expires = {};
  }
}

void OAuthClearTokens() {
  TTokenCache& cache = Cache();
  std::lock_guard<std::mutex> hold(cache.Lock);
  for (auto it = cache.Tokens.begin(); it != cache.Tokens.end();)
    it = it->second.Fetching ? std::next(it) : cache.Tokens.erase(it);
}

bool CallWithToken(TKwCustomWebComponent& Component, const TOAuthClient& Client, const TServiceRequest& Request,
                   TServiceAnswer& Answer, String& Error) {
  for (int attempt = 0;; ++attempt) {
    std::string token;
    int status = 0;
    if (!AccessToken(Component, Client, token, Error, status)) {
      Answer = TServiceAnswer();
      Answer.Status = status;
      return false;
    }
    TServiceRequest request = Request;
    request.Headers.emplace_back(u"Authorization", u"Bearer " + Utf8ToString(token));
    if (!Component.CallService(request, Answer)) {
      Error = Component.ErrorText();
      return false;
    }
    if (Answer.Status != 401 || attempt > 0) return true;
    // Revoked or expired before its time: one new token, one more try.
    OAuthDropToken(Client, token);
  }
}

}  // namespace kwinet
