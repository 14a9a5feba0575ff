#include "kwinet/socket/KwIHTTP.h"


namespace kwinet {

namespace {
const char16_t* const kMethods[] = {u"HEAD", u"GET", u"POST"};
}

TKwIHTTPClient::TKwIHTTPClient(TComponent* AOwner)
    : TKwInetBase(AOwner), FHeaders(std::make_unique<TStringList>()), FResponseHeaders(std::make_unique<TStringList>()) {
  SetPort(80);
}

TKwIHTTPClient::~TKwIHTTPClient() {
  FResponseHeaders.reset();
  FHeaders.reset();
}

String TKwIHTTPClient::GetQuery() {
  const String target = TargetHostPort(80);
  String q;
  if (ProxyInUse()) q = String(kMethods[FAction]) + u" http://" + target + (FRequest.empty() ? u"/" : FRequest);
  else q = String(kMethods[FAction]) + u" " + FRequest;
  q += u" HTTP/1.0\r\nHost: " + target + u"\r\n";
  for (int i = 0; i < FHeaders->Count(); ++i) q += FHeaders->Strings(i) + u"\r\n";
  // The proxy lines stand inside the header block; they end it.
  return q + GetRawHeaders();
}

String TKwIHTTPClient::GetResponse(const String& Value) const {
  for (int i = 0; i < FResponseHeaders->Count(); ++i) {
    const String& line = FResponseHeaders->Strings(i);
    if (line.size() >= Value.size() && SameText(line.substr(0, Value.size()), Value)) return line;
  }
  return String();
}

void TKwIHTTPClient::SplitResponse(String& Text) {
  // The head ends at the first empty line; what follows is the body as it
  // came, byte for byte. The whole reply is in memory already (within
  // MaxReplySize), so the head has no bound of its own here.
  THttpHeadReader head(0);
  const std::size_t bodyStart = ReadHttpHead(Text, head);
  FResponseHeaders->BeginUpdate();
  FResponseHeaders->Clear();
  for (const auto& line : head.Lines()) FResponseHeaders->Add(BytesToString(line));
  if (!head.Done()) {
    // No empty line: the last line is taken as the separator and dropped
    // (an unended last line is not among the head's lines), and there is
    // no body.
    if (!Text.empty() && Text.back() == u'\n' && FResponseHeaders->Count() > 0)
      FResponseHeaders->Delete(FResponseHeaders->Count() - 1);
    FResponseHeaders->EndUpdate();
    if (FRemoveHeaders) Text.clear();
    return;
  }
  FResponseHeaders->EndUpdate();
  if (FRemoveHeaders) Text.erase(0, bodyStart);
}

void TKwIHTTPClient::AfterExecute(String& Text) {
  TKwInetBase::AfterExecute(Text);
  SplitResponse(Text);
  const String line = GetResponse(u"Location:");
  if (line.empty()) return;
  String url = Trim(line.substr(9));
  bool abort = true;
  if (FOnRedirect) FOnRedirect(this, url, abort);
  if (!abort && !url.empty()) FollowRedirect(url, Text);
}

void TKwIHTTPClient::FollowRedirect(const String& URL, String& Text) {
  if (StartsText(u"https://", URL))
    throw Exception(u"Cannot follow the redirect to %s: this client speaks plain HTTP only", {URL});
  if (StartsText(u"http://", URL)) {
    const String rest = URL.substr(7);
    const auto slash = rest.find(u'/');
    String hostPort = rest.substr(0, slash);
    FRequest = slash == String::npos ? String(u"/") : rest.substr(slash);
    int port = 80;
    const auto colon = hostPort.rfind(u':');
    if (colon != String::npos && hostPort.find(u']') == String::npos) {
      if (!TryStrToInt(hostPort.substr(colon + 1), port) || port <= 0 || port > 65535)
        throw Exception(u"Cannot follow the redirect to %s: bad port", {URL});
      hostPort.resize(colon);
    }
    SetHost(hostPort);
    SetPort(port);
  } else if (!URL.empty() && URL[0] == u'/') {
    FRequest = URL;
  } else {
    // Relative to the folder of the current request.
    const auto folder = FRequest.rfind(u'/');
    FRequest = (folder == String::npos ? String(u"/") : FRequest.substr(0, folder + 1)) + URL;
  }
  // The server has closed after its answer: ask again on a new connection.
  Disconnect();
  Connect();
  String second;
  TKwInetBase::InternalExecute(second);
  SplitResponse(second);
  Text = std::move(second);
}

}  // namespace kwinet
