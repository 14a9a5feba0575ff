#include "kwinet/translate/KwICustomTranslator.h"

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

String TranslatorQueryValue(const String& S) {
  return KwInetHTTPEncode(BytesToString(StringToUtf8(S)));
}

}  // namespace kwinet
