#include "kwinet/socket/KwIHTTP.h"

#include <algorithm>

namespace kwinet {

namespace {
const char16_t* const kMethods[] = {u"HEAD", u"GET", u"POST"};

// Percent-encodes what cannot stand in a request line: spaces, control
// characters and bytes past ASCII; a character beyond one byte goes as its
// UTF-8 bytes. A "%" already there is left alone.
String EncodeForRequestLine(const String& Text) {
  static const char16_t kHex[] = u"0123456789ABCDEF";
  String out;
  out.reserve(Text.size());
  auto escape = [&](unsigned char b) {
    out.push_back(u'%');
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 0x0F]);
  };
  for (std::size_t i = 0; i < Text.size(); ++i) {
    const Char c = Text[i];
    if (c > 0x20 && c < 0x7F) {
      out.push_back(c);
    } else if (c <= 0xFF) {
      escape(static_cast<unsigned char>(c));
    } else {
      // A surrogate pair stays together.
      const std::size_t n = (c >= 0xD800 && c < 0xDC00 && i + 1 < Text.size()) ? 2 : 1;
      for (unsigned char b : StringToUtf8(Text.substr(i, n))) escape(b);
      i += n - 1;
    }
  }
  return out;
}

// A text from the caller or a server, as an error line shows it.
String Shown(const String& Text) {
  constexpr std::size_t kMost = 80;
  const String shown = EncodeForRequestLine(Text.substr(0, kMost));
  return Text.size() > kMost ? shown + u"..." : shown;
}

bool IsDigits(const String& Text) {
  return !Text.empty() && std::all_of(Text.begin(), Text.end(), [](Char c) { return c >= u'0' && c <= u'9'; });
}

}  // namespace

TKwIHTTPClient::TKwIHTTPClient(TComponent* AOwner)
    : TKwInetBase(AOwner),
      FHeaders(std::make_unique<TStringList>()),
      FResponseHeaders(std::make_unique<TStringList>()) {
  SetPort(80);
}

TKwIHTTPClient::~TKwIHTTPClient() {
  EndJob();  // the job uses what goes below
  FResponseHeaders.reset();
  FHeaders.reset();
}

bool TKwIHTTPClient::FitsRequestLine(const String& Text) {
  // Bytes 128 to 255 go through as they are; servers take them.
  return std::all_of(Text.begin(), Text.end(), [](Char c) { return c > 0x20 && c != 0x7F && c <= 0xFF; });
}

String TKwIHTTPClient::GetQuery() {
  const String target = TargetHostPort(80);
  // An empty Request asks for the server's root, with a proxy or without.
  const String path = FRequest.empty() ? String(u"/") : FRequest;
  String q;
  if (ProxyInUse())
    q = String(kMethods[FAction]) + u" http://" + target + path;
  else
    q = String(kMethods[FAction]) + u" " + path;
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

void TKwIHTTPClient::BeforeExecute() {
  FStatusCode = 0;
  FResponseError = u"No answer from the server";
  TKwInetBase::BeforeExecute();
  // Checked after the notification, which may still set them. Nothing
  // that would split the request line or the header block goes out.
  auto refuse = [this](const String& message) {
    FResponseError = message;
    throw Exception(message);
  };
  if (!FitsRequestLine(FRequest))
    refuse(u"The request " + Shown(FRequest) + u" holds a space, a control character or a character beyond one byte");
  const String& host = !Host().empty() ? Host() : Address();
  if (!FitsRequestLine(host))
    refuse(u"The host " + Shown(host) + u" holds a space, a control character or a character beyond one byte");
  for (int i = 0; i < FHeaders->Count(); ++i) {
    const String& line = FHeaders->Strings(i);
    if (std::any_of(line.begin(), line.end(), [](Char c) { return c == u'\r' || c == u'\n' || c == 0 || c > 0xFF; }))
      refuse(u"The header line " + Shown(line) + u" holds a line break, a NUL or a character beyond one byte");
  }
}

void TKwIHTTPClient::InternalExecute(String& Text) {
  try {
    TKwInetBase::InternalExecute(Text);
  } catch (const Exception& e) {
    FResponseError = e.Message();
    throw;
  }
}

void TKwIHTTPClient::SplitResponse(String& Text) {
  // The head ends at the first empty line; what follows is the body as it
  // came, byte for byte. The whole reply is in memory already (within
  // MaxReplySize), so the head has no bound of its own here.
  THttpHeadReader head(0);
  const std::size_t bodyStart = ReadHttpHead(Text, head);
  FStatusCode = head.HasStatus() ? head.Status().Code : 0;
  FResponseError.clear();
  if (Text.empty()) {
    FResponseError = u"The server closed the connection without an answer";
  } else if (!head.HasStatus()) {
    const auto lineEnd = Text.find_first_of(u"\r\n");
    FResponseError = u"The answer is not HTTP: " + Shown(Text.substr(0, lineEnd));
  } else if (!head.Done()) {
    FResponseError = u"The answer ended inside its header lines";
  } else if (FAction != haHead && FStatusCode >= 200 && FStatusCode != 204 && FStatusCode != 304 &&
             !head.Field("Transfer-Encoding")) {
    if (const std::string* field = head.Field("Content-Length")) {
      const String value = BytesToString(*field);
      std::int64_t length = 0;
      if (!IsDigits(value) || value.size() > 18 || !TryStrToInt64(value, length))
        FResponseError = u"The answer's Content-Length is not a number: " + Shown(value);
      else if (static_cast<std::int64_t>(Text.size() - bodyStart) < length)
        FResponseError = u"The answer ended after " + IntToStr(static_cast<std::int64_t>(Text.size() - bodyStart)) +
                         u" of the " + IntToStr(length) + u" bytes of its body";
    }
  }

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
  try {
    ProcessResponse(Text);
  } catch (const Exception& e) {
    FResponseError = e.Message();
    throw;
  }
}

void TKwIHTTPClient::ProcessResponse(String& Text) {
  TKwInetBase::AfterExecute(Text);
  SplitResponse(Text);
  const String line = GetResponse(u"Location:");
  if (line.empty()) return;
  String url = Trim(line.substr(9));
  bool abort = true;
  FireEvent(FOnRedirect, this, url, abort);
  if (!abort && !url.empty()) FollowRedirect(url, Text);
}

void TKwIHTTPClient::FollowRedirect(const String& URL, String& Text) {
  // The fragment is the client's own; it never goes out.
  String url = URL.substr(0, URL.find(u'#'));
  if (StartsText(u"//", url)) url = u"http:" + url;
  if (StartsText(u"https://", url))
    throw Exception(u"Cannot follow the redirect to %s: this client speaks plain HTTP only", {Shown(URL)});
  if (StartsText(u"http://", url)) {
    const String rest = url.substr(7);
    const auto pathStart = std::min(rest.find_first_of(u"/?"), rest.size());
    const String authority = rest.substr(0, pathStart);
    String path = rest.substr(pathStart);
    if (path.empty() || path[0] == u'?') path.insert(0, 1, u'/');
    String host = authority, portText;
    if (!authority.empty() && authority[0] == u'[') {
      const auto close = authority.find(u']');
      if (close == String::npos || (close + 1 < authority.size() && authority[close + 1] != u':'))
        throw Exception(u"Cannot follow the redirect to %s: bad host", {Shown(URL)});
      host = authority.substr(1, close - 1);
      if (close + 1 < authority.size()) portText = authority.substr(close + 2);
    } else if (const auto colon = authority.rfind(u':'); colon != String::npos) {
      host = authority.substr(0, colon);
      portText = authority.substr(colon + 1);
    }
    if (host.empty() || !FitsRequestLine(host) || host.find(u'@') != String::npos)
      throw Exception(u"Cannot follow the redirect to %s: bad host", {Shown(URL)});
    int port = 80;
    if (!portText.empty() &&
        (!IsDigits(portText) || portText.size() > 5 || (port = StrToInt(portText)) <= 0 || port > 65535))
      throw Exception(u"Cannot follow the redirect to %s: bad port", {Shown(URL)});
    SetHost(host);
    SetPort(port);
    FRequest = EncodeForRequestLine(path);
  } else if (!url.empty() && url[0] == u'/') {
    FRequest = EncodeForRequestLine(url);
  } else {
    // Relative to the folder of the current request.
    const auto folder = FRequest.rfind(u'/');
    FRequest = (folder == String::npos ? String(u"/") : FRequest.substr(0, folder + 1)) + EncodeForRequestLine(url);
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
