#include "kwinet/translate/KwICustomTranslator.h"

#include "kwinet/translate/TranslatorJson.h"
#include "kwinet/utils/HttpHead.h"
#include "kwinet/utils/kwiutil.h"
#include "kwinet/web/KwInet.h"

namespace kwinet {

TKwCustomTranslator::TKwCustomTranslator(TComponent* AOwner) : TKwCustomWebComponent(AOwner) {
  // The services are reached over HTTPS (the key travels in every query);
  // Host carries the scheme, so a caller can still name a plain HTTP one.
  SetService(isHTTPS);
  SetMaxResponseSize(ContentMaxResponseSize);
}

void TKwCustomTranslator::BeginCall() {
  CheckIdle();
  // Every call's GET clears ErrorText as it starts.
  SetStatus(isInProgress);
}

void TKwCustomTranslator::EndCall(bool Ok, const String& Reason) {
  if (!Ok) {
    if (!Reason.empty()) SetErrorText(Reason);
    SetStatus(isFailed);
  } else if (Status() == isInProgress) {
    SetStatus(isFinished);
  }
}

bool TKwCustomTranslator::FetchAnswer(const String& URL, TStream& Stream) {
  // MaxResponseSize bounds the answer in the transfer layer.
  if (!ReadHTTPGetResponse(URL, Stream)) {
    // ReadHTTPGetResponse has said why.
    EndCall(false);
    return false;
  }
  // The body arrived whole, so the status line of its answer is the last
  // one the transfer layer saw on this thread.
  const std::string line = StringToUtf8(InternetGetLastResponseInfo());
  THttpStatusLine status;
  if (StartsText(u"http", URL) && (!ParseHttpStatusLine(line, status) || status.Code < 200 || status.Code > 299)) {
    EndCall(false, u"The service answered " + Utf8ToString(line));
    return false;
  }
  return true;
}

bool TKwCustomTranslator::RestOrigin(const String& ClassicHost, const String& Production, TServiceOrigin& Origin) {
  const String& host = Host();
  if (host.empty() || host == ClassicHost) return ParseServiceOrigin(Production, Origin);
  if (ParseServiceOrigin(host, Origin)) return true;
  EndCall(false, u"Host must be scheme://host[:port] for the service's REST interface");
  return false;
}

bool TKwCustomTranslator::RestExchange(const TServiceRequest& Request, TServiceAnswer& Answer, const String& Secret) {
  if (!CallService(Request, Answer)) {
    // CallService has said why (never with a header's value).
    EndCall(false);
    return false;
  }
  if (Answer.Status >= 200 && Answer.Status <= 299) return true;
  String reason = u"The service answered " + IntToStr(Answer.Status);
  if (const std::optional<TTranslatorError> error = ReadMSError(Answer.Body)) {
    String message = error->Message;
    if (!Secret.empty())
      for (std::size_t at = message.find(Secret); at != String::npos; at = message.find(Secret, at + 3))
        message.replace(at, Secret.size(), u"***");
    reason += u": " + message;
    if (!error->Code.empty()) reason += u" (code " + error->Code + u")";
  }
  if (Answer.Retried) reason += u", also when asked once more after the wait it asked for";
  EndCall(false, reason);
  return false;
}

String TranslatorQueryValue(const String& S) {
  return KwInetHTTPEncode(BytesToString(StringToUtf8(S)));
}

}  // namespace kwinet
