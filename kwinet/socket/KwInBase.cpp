#include "kwinet/socket/KwInBase.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "kwinet/utils/KwILogOn.h"
#include "kwinet/utils/KwInCnst.h"
#include "kwinet/utils/ProxyPolicy.h"
#include "kwinet/utils/kwiutil.h"

namespace kwinet {

// --- TKwInetBase -------------------------------------------------------------------

TKwInetBase::TKwInetBase(TComponent* AOwner) : TComponent(AOwner) {
  StepCount = 1;
  FProxy = std::make_unique<TKwInetProxy>();
  FProxy->SetPort(0);
  FLoginPrompt = true;
  FClientSocket = new TClientSocket(this);
  FClientSocket->OnLookup = [this](TObject* s, TCustomWinSocket* k) { DoLookup(s, k); };
  FClientSocket->OnConnecting = [this](TObject* s, TCustomWinSocket* k) { DoConnecting(s, k); };
  FClientSocket->OnConnect = [this](TObject* s, TCustomWinSocket* k) { DoConnect(s, k); };
  FClientSocket->OnDisconnect = [this](TObject* s, TCustomWinSocket* k) { DoDisconnect(s, k); };
  FClientSocket->OnError = [this](TObject* s, TCustomWinSocket* k, TErrorEvent e, int& c) { DoError(s, k, e, c); };
  FClientSocket->SetClientType(ctBlocking);
  FKeepConnection = false;
}

TKwInetBase::~TKwInetBase() {
  FJob.End();
  // The socket goes with the owned children; it must not call back into a
  // component that is being destroyed.
  FClientSocket->OnDisconnect = nullptr;
  FClientSocket->OnError = nullptr;
  FProxy.reset();
}

void TKwInetBase::SetPort(int value) {
  FPort = value;
  FClientSocket->SetPort(value);
}

void TKwInetBase::SetHost(const String& value) {
  if (AddrIsIP(value)) {
    FHost.clear();
    FAddress = value;
    FClientSocket->SetHost(String());
    FClientSocket->SetAddress(value);
  } else {
    FHost = value;
    FAddress.clear();
    FClientSocket->SetHost(value);
    FClientSocket->SetAddress(String());
  }
  FViaProxy = false;
}

void TKwInetBase::SetAddress(const String& value) {
  SetHost(value);
}

int TKwInetBase::Timeout() const {
  return FClientSocket->Timeout();
}
void TKwInetBase::SetTimeout(int value) {
  FClientSocket->SetTimeout(value);
}
std::int64_t TKwInetBase::MaxReplySize() const {
  return FClientSocket->MaxReplySize();
}
void TKwInetBase::SetMaxReplySize(std::int64_t value) {
  FClientSocket->SetMaxReplySize(value);
}
TClientType TKwInetBase::ClientType() const {
  return FClientSocket->ClientType();
}
void TKwInetBase::SetClientType(TClientType value) {
  FClientSocket->SetClientType(value);
}

void TKwInetBase::SetOnSendTextToSocket(TSocketNotifyEvent value) {
  FOnSendTextToSocket = std::move(value);
  FClientSocket->OnWrite = [this](TObject* s, TCustomWinSocket* k) { FireEvent(FOnSendTextToSocket, s, k); };
}

void TKwInetBase::SetOnReceiveTextFromSocket(TSocketNotifyEvent value) {
  FOnReceiveTextFromSocket = std::move(value);
  FClientSocket->OnRead = [this](TObject* s, TCustomWinSocket* k) { FireEvent(FOnReceiveTextFromSocket, s, k); };
}

String TKwInetBase::Execute() {
  FJob.CheckIdle();
  BeforeExecute();
  if (FClientSocket->Host().empty() && FClientSocket->Address().empty()) throw Exception(strKwInEHost);
  Connect();
  String result;
  try {
    CurrentStep = 0;
    while (CurrentStep < StepCount) {
      String text;
      // Each step is one exchange, bounded as a whole by Timeout.
      FClientSocket->Socket()->StartExchange();
      InternalExecute(text);
      AfterExecute(text);
      result += text;
      ++CurrentStep;
    }
    if (!FKeepConnection) Disconnect();
  } catch (const Exception& e) {
    result = e.Message();
  }
  return result;
}

TJobHandle TKwInetBase::ExecuteAsync() {
  return FJob.Start([this] { return Execute(); });
}

String TKwInetBase::GetQuery() {
  return String();
}

String TKwInetBase::GetRawHeaders() {
  // The proxy's credentials go to the proxy and nowhere else: an HTTP
  // request handed to the proxy carries them, a tunnel has given them with
  // its CONNECT, and what goes through the tunnel or over a direct
  // connection (UseProxy without a Server, or a server that no_proxy names)
  // reaches the server itself.
  if (!ProxyInUse()) return u"Proxy-Connection: Keep-Alive\r\n\r\n";
  if (SpeaksHTTP()) return ProxyAuthorizationLines() + u"\r\n";
  return u"\r\n";
}

void TKwInetBase::Connect() {
  if (FConnected) {
    if (!SpeaksHTTP() && FClientSocket->Socket()->PeerAlive()) return;
    // The server has closed its side since (or HTTP, which asks every
    // time anew): start over on a fresh socket.
    FClientSocket->Close();
  }
  if (FClientSocket->Host().empty() && FClientSocket->Address().empty()) throw Exception(strKwInEHost);
  // The server's name goes to the resolver, or into the request to a proxy:
  // a control character in it is refused before either.
  if (const String error = HostNameError(!FHost.empty() ? FHost : FAddress); !error.empty()) throw ESocketError(error);
  if (ProxyInUse()) {
    const String& server = FProxy->Server();
    if (AddrIsIP(server)) {
      FClientSocket->SetAddress(server);
      FClientSocket->SetHost(String());
    } else {
      FClientSocket->SetHost(server);
      FClientSocket->SetAddress(String());
    }
    FClientSocket->SetPort(FProxy->Port());
    FViaProxy = true;
  } else if (FViaProxy) {
    // The proxy was switched off since the last connection: back to the
    // server that was asked for.
    FClientSocket->SetHost(FHost);
    FClientSocket->SetAddress(FAddress);
    FClientSocket->SetPort(FPort);
    FViaProxy = false;
  }
  FClientSocket->Open();
  if (FViaProxy && !SpeaksHTTP()) {
    try {
      OpenTunnel();
    } catch (...) {
      FClientSocket->Close();
      throw;
    }
  }
}

String TKwInetBase::ProxyAuthorizationLines() {
  if (FLoginPrompt) {
    String user = FProxy->User(), password = FProxy->Password();
    if (KwInAskLogon(strKwInProxyLogon, user, password)) {
      FProxy->SetUser(user);
      FProxy->SetPassword(password);
    }
  }
  if (FProxy->User().empty()) return String();
  // Base64 keeps a line break from ending the header, but the proxy would
  // take it as part of the name or password: such a value is a mistake.
  const auto holdsLineBreak = [](const String& s) { return s.find_first_of(u"\r\n") != String::npos; };
  if (holdsLineBreak(FProxy->User()) || holdsLineBreak(FProxy->Password()))
    throw Exception(u"The proxy's user name or password holds a line break");
  const String credentials = BytesToString(StringToUtf8(FProxy->User() + u":" + FProxy->Password()));
  return u"Proxy-Authorization: Basic " + Encode64(credentials) + u"\r\n";
}

void TKwInetBase::OpenTunnel() {
  const String target = TargetHostPort(-1);
  const String request =
      u"CONNECT " + target + u" HTTP/1.0\r\nHost: " + target + u"\r\n" + ProxyAuthorizationLines() + u"\r\n";
  if (SendToSocket(request) <= 0) throw Exception(u"The proxy closed the connection before the tunnel to %s", {target});
  // The proxy's answer is read a byte at a time: whatever follows its empty
  // line already belongs to the server.
  TConnectAnswerReader answer;
  while (!answer.Done()) {
    char c;
    if (ReceiveFromSocket(&c, 1) <= 0)
      throw Exception(u"The proxy closed the connection before the tunnel to %s", {target});
    answer.Feed(std::string_view(&c, 1));
  }
  const String status = BytesToString(answer.StatusLine().substr(0, 200));
  switch (answer.Verdict()) {
    case cvOpen:
      return;
    case cvProxyAuth:
      throw Exception(strKwInEProxyAuth);
    case cvMalformed:
      if (answer.Head().Failed()) throw Exception(u"The proxy's answer to CONNECT %s is too long", {target});
      throw Exception(u"The proxy's answer to CONNECT %s is not HTTP: %s", {target, status});
    default:
      throw Exception(u"The proxy refused the tunnel to %s: %s", {target, status});
  }
}

bool TKwInetBase::ProxyInUse() const {
  if (!FProxy->UseProxy() || FProxy->Server().empty()) return false;
  return !TProxyPolicy::FromEnvironment().Bypassed(StringToUtf8(!FHost.empty() ? FHost : FAddress), FPort);
}

String TKwInetBase::TargetHostPort(int DefaultPort) const {
  String host = !FHost.empty() ? FHost : FAddress;
  if (host.find(u':') != String::npos) host = u"[" + host + u"]";
  return FPort == DefaultPort ? host : host + u":" + IntToStr(FPort);
}

void TKwInetBase::Disconnect() {
  if (FConnected) FClientSocket->Close();
}

void TKwInetBase::InternalExecute(String& Text) {
  String query = GetQuery();
  if (!query.empty() && SendsRawHeaders()) query += GetRawHeaders();
  int n = query.empty() ? 1 : SendToSocket(query);
  if (n <= 0) {
    Text = u"No answer from server";
    return;
  }
  Text.clear();
  constexpr int kChunk = 16386;
  std::vector<char> buf(kChunk);
  // The status check waits for the whole first line (or the end of the
  // reply); each chunk is searched once for its line end.
  bool checked = false;
  while (n > 0) {
    n = ReceiveFromSocket(buf.data(), kChunk);
    if (n > 0) {
      // One character per byte, widened in place.
      const std::size_t at = Text.size();
      Text.resize(at + static_cast<std::size_t>(n));
      for (int i = 0; i < n; ++i) Text[at + i] = static_cast<unsigned char>(buf[i]);
      if (!checked && Text.find(u'\n', at) != String::npos) {
        checked = true;
        CheckReplyStatus(Text);
      }
    } else if (!checked && n == 0) {
      checked = true;
      CheckReplyStatus(Text);
    }
  }
}

void TKwInetBase::CheckReplyStatus(const String& Reply) {
  // Only an answer that begins with an HTTP status line has a status: a
  // whois record or a daytime line that happens to hold "404" is text.
  const std::size_t end = std::min(Reply.find(u'\n'), Reply.size());
  constexpr std::size_t kLongestStatusLine = 8192;
  if (end > kLongestStatusLine) return;
  std::string line;
  line.reserve(end);
  for (std::size_t i = 0; i < end; ++i) {
    // A character beyond one byte makes no status line.
    if (Reply[i] > 0xFF) return;
    line.push_back(static_cast<char>(Reply[i]));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  THttpStatusLine status;
  if (!ParseHttpStatusLine(line, status)) return;
  switch (status.Code) {
    case 401:
      throw Exception(strKwInEAuthRequired);
    case 404:
      throw Exception(strKwInEFileNotFound);
    case 407:
      throw Exception(strKwInEProxyAuth);
    default:
      break;
  }
}

std::size_t TKwInetBase::ReadHttpHead(const String& Reply, THttpHeadReader& Head) {
  // A piece at a time, so that a long body is never copied.
  constexpr std::size_t kPiece = 4096;
  std::string piece;
  std::size_t taken = 0;
  while (taken < Reply.size() && Head.State() == hsReading) {
    const std::size_t n = std::min(kPiece, Reply.size() - taken);
    piece.resize(n);
    for (std::size_t i = 0; i < n; ++i) piece[i] = static_cast<char>(Reply[taken + i]);
    const std::size_t used = Head.Feed(piece);
    taken += used;
    if (used < n) break;
  }
  return taken;
}

void TKwInetBase::BeforeExecute() {
  FireEvent(FOnBeforeExecute, this);
}

void TKwInetBase::AfterExecute(String& Text) {
  FireEvent(FOnAfterExecute, this, Text);
}

int TKwInetBase::SendToSocket(const String& Text) {
  const std::string bytes = StringToBytes(Text);
  return FClientSocket->Socket()->SendBuf(bytes.data(), static_cast<int>(bytes.size()));
}

int TKwInetBase::ReceiveFromSocket(void* Buf, int Count) {
  return FClientSocket->Socket()->ReceiveBuf(Buf, Count);
}

String TKwInetBase::GetLocalHost() const {
  return FClientSocket->Socket()->LocalHost();
}

bool TKwInetBase::AddrIsIP(const String& S) {
  int parts[5] = {-1, -1, -1, -1, -1};
  int index = 0;
  String part;
  for (std::size_t i = 0; i < S.size() && index < 5; ++i) {
    const bool last = i + 1 == S.size();
    if (S[i] != u'.' && !last) {
      part.push_back(S[i]);
      continue;
    }
    if (last) part.push_back(S[i]);
    parts[index++] = StrToIntDef(part, -1);
    part.clear();
  }
  if (index >= 5) return false;
  for (int i = 0; i < 4; ++i)
    if (parts[i] < 0 || parts[i] > 255) return false;
  return true;
}

void TKwInetBase::DoLookup(TObject* Sender, TCustomWinSocket* Socket) {
  FireEvent(FOnLookup, Sender, Socket);
}

void TKwInetBase::DoConnecting(TObject* Sender, TCustomWinSocket* Socket) {
  FireEvent(FOnConnecting, Sender, Socket);
}

void TKwInetBase::DoConnect(TObject* Sender, TCustomWinSocket* Socket) {
  FConnected = true;
  FireEvent(FOnConnect, Sender, Socket);
}

void TKwInetBase::DoDisconnect(TObject* Sender, TCustomWinSocket* Socket) {
  FConnected = false;
  FireEvent(FOnDisconnect, Sender, Socket);
}

void TKwInetBase::DoError(TObject* Sender, TCustomWinSocket* Socket, TErrorEvent ErrorEvent, int& ErrorCode) {
  FConnected = false;
  FireEvent(FOnError, Sender, Socket, ErrorEvent, ErrorCode);
}

}  // namespace kwinet
