#include "kwinet/web/ServiceCall.h"

#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

#include "kwinet/core/Jobs.h"
#include "kwinet/utils/kwiutil.h"
#include "kwinet/web/InetDriver.h"
#include "kwinet/web/KwInet.h"
#include "kwinet/web/kwiupdate.h"

namespace kwinet {

namespace {

bool HostCharacter(Char c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' ||
         c == u'.' || c == u'_';
}

}  // namespace

bool ParseServiceOrigin(const String& Text, TServiceOrigin& Origin) {
  TServiceOrigin o;
  String rest;
  if (StartsText(u"https://", Text)) {
    o.Secure = true;
    o.Port = 443;
    rest = Text.substr(8);
  } else if (StartsText(u"http://", Text)) {
    o.Secure = false;
    o.Port = 80;
    rest = Text.substr(7);
  } else {
    return false;
  }
  if (!rest.empty() && rest.back() == u'/') rest.pop_back();
  String port;
  if (!rest.empty() && rest.front() == u'[') {
    std::size_t close = rest.find(u']');
    if (close == String::npos || close < 3) return false;
    o.Host = rest.substr(1, close - 1);
    for (Char c : o.Host)
      if (!(HostCharacter(c) || c == u':') || c == u'_') return false;
    rest = rest.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != u':') return false;
      port = rest.substr(1);
      if (port.empty()) return false;
    }
  } else {
    std::size_t colon = rest.find(u':');
    o.Host = rest.substr(0, colon);
    if (colon != String::npos) {
      port = rest.substr(colon + 1);
      if (port.empty()) return false;
    }
    if (o.Host.empty()) return false;
    for (Char c : o.Host)
      if (!HostCharacter(c)) return false;
  }
  if (!port.empty()) {
    if (port.size() > 5) return false;
    std::uint32_t n = 0;
    for (Char c : port) {
      if (c < u'0' || c > u'9') return false;
      n = n * 10 + (c - u'0');
    }
    if (n == 0 || n > 65535) return false;
    o.Port = static_cast<std::uint16_t>(n);
  }
  Origin = o;
  return true;
}

String ServiceOriginText(const TServiceOrigin& Origin) {
  const bool v6 = Origin.Host.find(u':') != String::npos;
  return String(Origin.Secure ? u"https://" : u"http://") + (v6 ? u"[" + Origin.Host + u"]" : Origin.Host) + u":" +
         IntToStr(Origin.Port);
}

std::int64_t RetryAfterSeconds(const String& Value, std::int64_t NowUnix) {
  const String v = Trim(Value);
  if (v.empty()) return -1;
  bool digits = true;
  for (Char c : v) digits = digits && c >= u'0' && c <= u'9';
  if (digits) {
    // Anything past a day is as good as never here.
    if (v.size() > 6) return 86400;
    return StrToInt(v);
  }
  std::int64_t at = 0;
  if (!ParseHttpDate(StringToUtf8(v), at)) return -1;
  return at > NowUnix ? at - NowUnix : 0;
}

bool TKwCustomWebComponent::CallService(const TServiceRequest& Request, TServiceAnswer& Answer) {
  FErrorText.clear();
  Answer = TServiceAnswer();
  const String where = ServiceOriginText(Request.Origin);
  for (int attempt = 0;; ++attempt) {
    const TInternetHandle root(OpenRoot());
    if (!root) {
      SetErrorText();
      if (FErrorText.empty()) FErrorText = u"Cannot start a transfer";
      return false;
    }
    const TInternetHandle connection(
        InternetConnect(root, Request.Origin.Host, Request.Origin.Port, String(), String(), INTERNET_SERVICE_HTTP));
    const TInternetHandle request(
        connection ? HttpOpenRequest(connection, Request.Method, Request.Path, String(),
                                     (Request.Origin.Secure ? INTERNET_FLAG_SECURE : INTERNET_FLAG_RELOAD) |
                                         INTERNET_FLAG_NO_AUTO_REDIRECT)
                   : nullptr);
    if (!request) {
      SetErrorText();
      if (FErrorText.empty()) FErrorText = u"Cannot make the request for " + where;
      return false;
    }
    for (const auto& [name, value] : Request.Headers) {
      // The transfer layer refuses a control character in a header; the
      // value is not repeated here, as it may be a key.
      if (!HttpAddRequestHeaders(request, name + u": " + value)) {
        FErrorText = u"Cannot add the request header " + name;
        return false;
      }
    }
    if (!HttpSendRequest(request, BytesToString(Request.Body))) {
      SetErrorText();
      if (FErrorText.empty()) FErrorText = u"No answer from " + where;
      return false;
    }
    int code = 0;
    if (!HttpQueryStatusCode(request, code)) {
      FErrorText = u"No answer from " + where;
      return false;
    }
    if (code >= 300 && code < 400) {
      FErrorText = u"The service answered " + IntToStr(code) +
                   u" (a redirection); the request goes to no other place than " + where;
      return false;
    }
    std::string body;
    std::vector<char> piece(64 * 1024);
    for (;;) {
      std::uint32_t n = 0;
      if (!InternetReadFile(request, piece.data(), static_cast<std::uint32_t>(piece.size()), n)) {
        SetErrorText();
        if (FErrorText.empty()) FErrorText = u"The answer from " + where + u" was cut short";
        return false;
      }
      if (n == 0) break;
      body.append(piece.data(), n);
    }
    Answer.Status = code;
    Answer.Body = std::move(body);
    Answer.ContentType.clear();
    HttpQueryHeader(request, u"Content-Type", Answer.ContentType);
    if (attempt > 0 || (code != 429 && code != 503)) return true;
    String retryAfter;
    if (!HttpQueryHeader(request, u"Retry-After", retryAfter)) return true;
    std::int64_t wait = RetryAfterSeconds(retryAfter, static_cast<std::int64_t>(std::time(nullptr)));
    if (wait < 0 || wait > kMaxRetryAfterSeconds) return true;
    if (FTimeout > 0 && wait * 1000 > static_cast<std::int64_t>(FTimeout)) return true;
    if (!JobSleep(std::chrono::seconds(wait))) return true;  // a cancelled job waits no longer
    Answer.Retried = true;
  }
}

}  // namespace kwinet
