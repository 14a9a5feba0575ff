// The public operations of the transfer layer: the handle tree over the
// handle table, what each operation asks of the libcurl driver, and the
// proxy route of each transfer from the proxy policy.
#include "kwinet/web/KwInet.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <vector>

#include "kwinet/core/DateTime.h"
#include "kwinet/utils/ProxyPolicy.h"
#include "kwinet/web/FtpListing.h"
#include "kwinet/web/InetDriver.h"
#include "kwinet/web/InetHandleTable.h"

namespace kwinet {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string TrimAscii(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return std::string(s.substr(b, e - b));
}

// Percent-encodes what may not stand in a URL path as it is, leaving
// reserved characters and existing escapes alone.
std::string EncodePath(const std::string& path, bool encodePercent) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    bool keep = c > 0x20 && c < 0x7F && c != '"' && c != '<' && c != '>' && c != '\\' && c != '^' && c != '`' &&
                c != '{' && c != '|' && c != '}' && !(encodePercent && (c == '%' || c == '#' || c == '?' || c == ';'));
    if (keep) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    }
  }
  return out;
}

// C0 and DEL. The bytes of every other character in UTF-8 are 0x20 to 0x7E
// or 0x80 and above, so a byte test is exact.
bool HasControl(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
  });
}

std::string PercentDecode(std::string_view s) {
  auto hex = [](char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
  };
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && hex(s[i + 1]) >= 0 && hex(s[i + 2]) >= 0) {
      out.push_back(static_cast<char>(hex(s[i + 1]) * 16 + hex(s[i + 2])));
      i += 2;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

// True, with the reason as the last error, when Value holds a control
// character: nothing of it may go on the wire.
bool Refused(std::string_view value, const char* what) {
  if (!HasControl(value)) return false;
  InetLastError() = Utf8ToString(std::string("Refused: the ") + what + " holds a control character");
  InetLastErrorIsConnect() = false;
  return true;
}

std::string HostForUrl(const std::string& host) {
  if (host.find(':') != std::string::npos && host.front() != '[') return "[" + host + "]";
  return host;
}

std::int64_t UnixToFileTime(std::int64_t seconds) {
  struct timespec ts {};
  ts.tv_sec = static_cast<time_t>(seconds);
  return TimespecToFileTime(ts);
}

std::string SchemeOf(const std::string& url) {
  std::size_t p = url.find("://");
  return p == std::string::npos ? std::string() : Lower(url.substr(0, p));
}

int DefaultPort(const std::string& scheme) {
  if (scheme == "http") return 80;
  if (scheme == "https") return 443;
  if (scheme == "ftp") return 21;
  if (scheme == "ftps") return 990;
  return -1;
}

// The host and port a URL names, for the proxy route.
void HostPortOfUrl(const std::string& url, const std::string& scheme, std::string& host, int& port) {
  std::size_t start = url.find("://");
  start = start == std::string::npos ? 0 : start + 3;
  std::size_t end = url.find_first_of("/?#", start);
  std::string authority = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
  if (std::size_t at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
  port = DefaultPort(scheme);
  if (!authority.empty() && authority.front() == '[') {
    std::size_t close = authority.find(']');
    host = authority.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    if (close != std::string::npos && close + 1 < authority.size() && authority[close + 1] == ':')
      port = std::atoi(authority.c_str() + close + 2);
    return;
  }
  std::size_t colon = authority.find(':');
  host = authority.substr(0, colon);
  if (colon != std::string::npos) port = std::atoi(authority.c_str() + colon + 1);
}

// --- the handle tree ------------------------------------------------------------------

struct TRoot : TInetNode {
  TRoot() : TInetNode(nkRoot, nullptr) {}
  TTransferSession Session;  // its timeout is the root's
  std::string Agent;
  TProxyPolicy Policy;  // direct unless the access type names a proxy
  std::string CAFile;
  std::uint32_t SecurityFlags = 0;
  std::uint32_t FtpTls = FTP_TLS_NONE;
  // When every transfer of the root must have ended; unset: no bound.
  std::optional<std::chrono::steady_clock::time_point> Deadline;
  std::int64_t MaxResponseSize = 0;
  long LowSpeedLimit = 0, LowSpeedTimeMs = 0;
};

struct TConnection : TInetNode {
  explicit TConnection(TRoot* root) : TInetNode(nkConnection, root), Root(root) {}
  TRoot* Root;
  std::string Host;
  std::uint16_t Port = 0;
  std::string User, Password;
  std::uint32_t Service = INTERNET_SERVICE_HTTP;
  std::string CurrentDir;  // FTP: absolute, from the server's entry path
  std::uint32_t FtpTls = FTP_TLS_NONE;

  std::string FtpScheme() const { return FtpTls == FTP_TLS_IMPLICIT ? "ftps" : "ftp"; }

  std::string BaseUrl(const std::string& scheme) const {
    return scheme + "://" + HostForUrl(Host) + ":" + std::to_string(Port);
  }
  // The URL of an FTP path: absolute paths and names relative to the
  // current folder both become absolute.
  std::string FtpUrl(const std::string& name, bool folder) const {
    std::string path = name;
    if (path.empty() || path.front() != '/') {
      std::string base = CurrentDir.empty() ? std::string("/") : CurrentDir;
      if (base.back() != '/') base += '/';
      path = base + path;
    }
    if (folder && path.back() != '/') path += '/';
    // curl resolves "/%2F..." as an absolute path on the server, not one
    // relative to the logon folder.
    return BaseUrl(FtpScheme()) + "/%2F" + EncodePath(path.substr(1), true);
  }
};

// A request, FTP file or URL: something with a body to pull.
struct TBodyHandle : TInetNode {
  TBodyHandle(TInetNodeKind kind, TInetNode* parent, TRoot* root) : TInetNode(kind, parent), Root(root) {}
  TRoot* Root;
  TConnection* Conn = nullptr;  // requests and FTP files
  std::string Url;
  std::string Scheme;
  std::string Host;  // for the proxy route
  int Port = -1;
  // Request settings.
  std::string Verb = "GET";
  std::string Version;
  std::vector<std::string> AddedHeaders;
  std::string User, Password, ProxyUser, ProxyPassword;
  bool HasUser = false, HasPassword = false;
  std::string LastBody;
  std::uint32_t SecurityFlags = 0;
  std::uint32_t Flags = 0;  // the request's INTERNET_FLAG_ values
  std::unique_ptr<TTransfer> Current;
  std::int64_t Position = 0;  // where the current transfer's body starts
};

struct TFind : TInetNode {
  explicit TFind(TInetNode* parent) : TInetNode(nkFind, parent) {}
  std::vector<TInetFindData> Entries;
  std::size_t Next = 0;
};

TInetNode* Node(HINTERNET h) {
  return TInetHandleTable::Global().Find(h);
}

TRoot* AsRoot(HINTERNET h) {
  TInetNode* n = Node(h);
  return n && n->Kind == nkRoot ? static_cast<TRoot*>(n) : nullptr;
}

TConnection* AsConnection(HINTERNET h, std::uint32_t service) {
  TInetNode* n = Node(h);
  if (!n || n->Kind != nkConnection) return nullptr;
  auto* c = static_cast<TConnection*>(n);
  return c->Service == service ? c : nullptr;
}

TBodyHandle* AsBody(HINTERNET h) {
  TInetNode* n = Node(h);
  if (!n || (n->Kind != nkRequest && n->Kind != nkFile && n->Kind != nkUrl)) return nullptr;
  return static_cast<TBodyHandle*>(n);
}

TBodyHandle* AsRequest(HINTERNET h) {
  TBodyHandle* b = AsBody(h);
  return b && b->Kind == nkRequest ? b : nullptr;
}

HINTERNET AddNode(std::unique_ptr<TInetNode> node) {
  return TInetHandleTable::Global().Add(std::move(node));
}

// --- transfers --------------------------------------------------------------------------

// What every transfer of the root shares, and its proxy route.
TTransferSettings BaseSettings(const TRoot* root, const std::string& url, const std::string& scheme,
                               const std::string& host, int port, std::uint32_t securityFlags) {
  TTransferSettings s;
  s.Url = url;
  s.Agent = root->Agent;
  s.TimeoutMs = root->Session.TimeoutMs;
  if (root->Deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(*root->Deadline - std::chrono::steady_clock::now());
    s.MaxTimeMs = std::max<long>(1, static_cast<long>(left.count()));
  }
  s.MaxBodyBytes = root->MaxResponseSize;
  s.LowSpeedLimit = root->LowSpeedLimit;
  s.LowSpeedTimeMs = root->LowSpeedTimeMs;
  // FTP over TLS takes the FTP proxy.
  const TProxyAddress proxy = root->Policy.Route(scheme == "ftps" ? std::string("ftp") : scheme, host, port);
  if (!proxy.Empty()) {
    s.Proxy = proxy.Url();
    s.NoProxy = root->Policy.NoProxyHostsOnly();
    if (proxy.HasUserInfo) {
      s.ProxyCredentials = true;
      s.ProxyUser = proxy.User;
      s.ProxyPassword = proxy.Password;
    }
  }
  s.CAFile = root->CAFile;
  const std::uint32_t flags = root->SecurityFlags | securityFlags;
  s.VerifyPeer = !(flags & SECURITY_FLAG_IGNORE_UNKNOWN_CA);
  s.VerifyHost = !(flags & SECURITY_FLAG_IGNORE_CERT_CN_INVALID);
  s.Http = scheme == "http" || scheme == "https";
  s.FtpTls = scheme == "ftps" || (scheme == "ftp" && root->FtpTls != FTP_TLS_NONE);
  return s;
}

TTransferSettings FtpSettings(const TConnection* c, const std::string& url) {
  TTransferSettings s = BaseSettings(c->Root, url, "ftp", c->Host, c->Port, 0);
  s.User = c->User;
  s.Password = c->Password;
  return s;
}

// Starts the body handle's transfer from byte From (0: the whole body) and
// waits for the answer.
bool StartBody(TBodyHandle* b, std::int64_t from) {
  b->Current.reset();
  TTransferSettings s = BaseSettings(b->Root, b->Url, b->Scheme, b->Host, b->Port, b->SecurityFlags);
  if (s.Http) {
    s.Http10 = b->Version == "HTTP/1.0";
    s.NoRedirect = (b->Flags & INTERNET_FLAG_NO_AUTO_REDIRECT) != 0;
    s.Verb = b->Verb;
    s.Headers = b->AddedHeaders;
    if (b->Verb == "POST") s.Body = b->LastBody;
    if (b->HasUser || b->HasPassword) {
      s.Credentials = true;
      s.User = b->User;
      s.Password = b->Password;
    }
    // The request's own proxy credentials answer the proxy's demand.
    if (!b->ProxyUser.empty() || !b->ProxyPassword.empty()) {
      s.ProxyCredentials = true;
      s.ProxyUser = b->ProxyUser;
      s.ProxyPassword = b->ProxyPassword;
    }
  } else if (b->Conn) {
    s.User = b->Conn->User;
    s.Password = b->Conn->Password;
  }
  s.From = from;
  auto t = std::make_unique<TTransfer>(b->Root->Session, s);
  if (!t->Valid()) return false;
  b->Current = std::move(t);
  b->Position = from;
  return b->Current->Start() && b->Current->WaitForAnswer();
}

// The final answer of a request or URL handle; nullptr when none came.
const THttpAnswer* Answer(HINTERNET h) {
  TBodyHandle* b = AsBody(h);
  if (!b || !b->Current || !b->Current->Http()) return nullptr;
  const THttpAnswer& a = b->Current->Answer();
  return a.Status != 0 ? &a : nullptr;
}

// Runs a body-less FTP transfer (logon check, folder change); true when the
// server agreed.
bool FtpProbe(TConnection* c, const std::string& url, std::string* entryPath) {
  TTransferSettings s = FtpSettings(c, url);
  s.NoBody = true;
  TTransfer t(c->Root->Session, s);
  if (!t.Start() || !t.RunToEnd()) return false;
  if (entryPath) *entryPath = t.FtpEntryPath();
  return true;
}

bool FetchListing(TConnection* c, const std::string& dirUrl, const char* command, std::string& out) {
  TTransferSettings s = FtpSettings(c, dirUrl);
  s.Command = command;
  s.Text = true;
  s.Unbounded = true;
  TTransfer t(c->Root->Session, s);
  if (!t.Start() || !t.RunToEnd()) return false;
  out = t.TakeBody();
  return true;
}

}  // namespace

// --- public operations -----------------------------------------------------------

HINTERNET InternetOpen(const String& Agent, std::uint32_t AccessType, const String& ProxyName) {
  // A new session: an earlier session's failure is no longer news.
  InetLastError().clear();
  InetLastErrorIsConnect() = false;
  InetLastErrorIsTimeout() = false;
  InetLastErrorIsTooLarge() = false;
  if (AccessType == INTERNET_OPEN_TYPE_PROXY && Refused(StringToUtf8(ProxyName), "proxy name")) return nullptr;
  auto root = std::make_unique<TRoot>();
  if (!root->Session.Valid()) return nullptr;
  root->Agent = StringToUtf8(Agent);
  if (AccessType == INTERNET_OPEN_TYPE_PROXY)
    root->Policy = TProxyPolicy::FromSetting(StringToUtf8(ProxyName));
  else if (AccessType == INTERNET_OPEN_TYPE_PRECONFIG)
    root->Policy = TProxyPolicy::FromEnvironment();
  return AddNode(std::move(root));
}

HINTERNET InternetConnect(HINTERNET Root, const String& Host, std::uint16_t Port, const String& User,
                          const String& Password, std::uint32_t Service) {
  TRoot* root = AsRoot(Root);
  if (!root || Host.empty()) return nullptr;
  auto c = std::make_unique<TConnection>(root);
  c->Host = StringToUtf8(Host);
  c->Port = Port;
  c->User = StringToUtf8(User);
  c->Password = StringToUtf8(Password);
  c->Service = Service;
  if (Refused(c->Host, "host name") || Refused(c->User, "user name") || Refused(c->Password, "password"))
    return nullptr;
  if (Service == INTERNET_SERVICE_FTP) {
    if (c->Port == 0) c->Port = 21;
    c->FtpTls = root->FtpTls;
    std::string entry;
    if (!FtpProbe(c.get(), c->BaseUrl(c->FtpScheme()) + "/", &entry)) return nullptr;
    c->CurrentDir = entry.empty() ? std::string("/") : entry;
  } else if (c->Port == 0) {
    c->Port = 80;
  }
  return AddNode(std::move(c));
}

HINTERNET HttpOpenRequest(HINTERNET Connection, const String& Verb, const String& ObjectName, const String& Version,
                          std::uint32_t Flags) {
  TConnection* c = AsConnection(Connection, INTERNET_SERVICE_HTTP);
  if (!c) return nullptr;
  auto r = std::make_unique<TBodyHandle>(nkRequest, c, c->Root);
  r->Conn = c;
  r->Scheme = (Flags & INTERNET_FLAG_SECURE) ? "https" : "http";
  r->Host = c->Host;
  r->Port = c->Port;
  std::string path = StringToUtf8(ObjectName);
  if (path.empty() || path.front() != '/') path.insert(0, "/");
  r->Url = c->BaseUrl(r->Scheme) + EncodePath(path, false);
  r->Verb = Verb.empty() ? std::string("GET") : StringToUtf8(UpperCase(Verb));
  r->Version = StringToUtf8(Version);
  r->Flags = Flags;
  return AddNode(std::move(r));
}

bool HttpAddRequestHeaders(HINTERNET Request, const String& Header) {
  TBodyHandle* b = AsRequest(Request);
  if (!b) return false;
  std::string line = TrimAscii(StringToUtf8(Header));
  // One line only: a line break inside would let a value add headers, and
  // a NUL would cut it short.
  if (line.empty() || HasControl(line) || line.find(':') == std::string::npos)
    return false;
  b->AddedHeaders.push_back(line);
  return true;
}

bool HttpSendRequest(HINTERNET Request, const String& Body) {
  TBodyHandle* b = AsRequest(Request);
  if (!b) return false;
  b->LastBody = StringToBytes(Body);
  return StartBody(b, 0);
}

bool HttpQueryStatusCode(HINTERNET Request, int& Code) {
  const THttpAnswer* a = Answer(Request);
  if (!a) return false;
  Code = a->Status;
  return true;
}

bool HttpQueryStatusText(HINTERNET Request, String& Text) {
  const THttpAnswer* a = Answer(Request);
  if (!a) return false;
  // "HTTP/1.1 404 Not Found" -> "Not Found"
  std::size_t sp = a->StatusLine.find(' ');
  sp = sp == std::string::npos ? sp : a->StatusLine.find(' ', sp + 1);
  Text = sp == std::string::npos ? String() : Utf8ToString(a->StatusLine.substr(sp + 1));
  return true;
}

bool HttpQueryHeader(HINTERNET Request, const String& Name, String& Value) {
  const THttpAnswer* a = Answer(Request);
  if (!a) return false;
  const std::string* v = a->Header(Lower(StringToUtf8(Name)));
  if (!v) return false;
  Value = BytesToString(*v);
  return true;
}

bool HttpQueryContentLength(HINTERNET Request, String& Text) {
  if (!HttpQueryHeader(Request, u"Content-Length", Text)) return false;
  if (Text.size() > 200) Text.resize(200);
  return true;
}

bool HttpQueryLastModified(HINTERNET Request, std::int64_t& FileTime) {
  String text;
  if (!HttpQueryHeader(Request, u"Last-Modified", text)) return false;
  std::int64_t seconds = 0;
  if (!ParseHttpDate(StringToBytes(text), seconds)) return false;
  FileTime = UnixToFileTime(seconds);
  return true;
}

bool InternetSetOption(HINTERNET Handle, TInetOption Option, const String& Value) {
  const std::string v = StringToUtf8(Value);
  if (TRoot* root = AsRoot(Handle)) {
    switch (Option) {
      case INTERNET_OPTION_TIMEOUT:
        root->Session.TimeoutMs = std::max(0L, std::atol(v.c_str()));
        return true;
      case INTERNET_OPTION_CA_FILE:
        root->CAFile = v;
        return true;
      case INTERNET_OPTION_MAX_TIME: {
        const long ms = std::max(0L, std::atol(v.c_str()));
        if (ms > 0)
          root->Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        else
          root->Deadline.reset();
        return true;
      }
      case INTERNET_OPTION_SECURITY_FLAGS:
        root->SecurityFlags = static_cast<std::uint32_t>(std::strtoul(v.c_str(), nullptr, 10));
        return true;
      case INTERNET_OPTION_MAX_RESPONSE_SIZE:
        root->MaxResponseSize = std::max(0LL, std::atoll(v.c_str()));
        return true;
      case INTERNET_OPTION_LOW_SPEED_LIMIT:
        root->LowSpeedLimit = std::max(0L, std::atol(v.c_str()));
        return true;
      case INTERNET_OPTION_LOW_SPEED_TIME:
        root->LowSpeedTimeMs = std::max(0L, std::atol(v.c_str()));
        return true;
      case INTERNET_OPTION_FTP_TLS: {
        const unsigned long tls = std::strtoul(v.c_str(), nullptr, 10);
        if (tls > FTP_TLS_IMPLICIT) return false;
        root->FtpTls = static_cast<std::uint32_t>(tls);
        return true;
      }
      default:
        return false;
    }
  }
  TBodyHandle* b = AsBody(Handle);
  if (!b) return false;
  switch (Option) {
    case INTERNET_OPTION_USERNAME:
      b->User = v;
      b->HasUser = true;
      return true;
    case INTERNET_OPTION_PASSWORD:
      b->Password = v;
      b->HasPassword = true;
      return true;
    case INTERNET_OPTION_PROXY_USERNAME:
      b->ProxyUser = v;
      return true;
    case INTERNET_OPTION_PROXY_PASSWORD:
      b->ProxyPassword = v;
      return true;
    case INTERNET_OPTION_SECURITY_FLAGS:
      b->SecurityFlags = static_cast<std::uint32_t>(std::strtoul(v.c_str(), nullptr, 10));
      return true;
    default:
      return false;
  }
}

HINTERNET FtpFindFirstFile(HINTERNET Connection, const String& Pattern, TInetFindData& Data) {
  TConnection* c = AsConnection(Connection, INTERNET_SERVICE_FTP);
  if (!c) return nullptr;
  std::string pattern = StringToUtf8(Pattern);
  if (Refused(pattern, "FTP path")) return nullptr;
  std::string dir, mask;
  if (std::size_t slash = pattern.rfind('/'); slash != std::string::npos) {
    dir = pattern.substr(0, slash + 1);
    mask = pattern.substr(slash + 1);
  } else {
    mask = pattern;
  }
  if (mask.empty()) mask = "*";
  const std::string url = c->FtpUrl(dir, true);
  std::string listing;
  bool mlsd = FetchListing(c, url, "MLSD", listing);
  // LIST is tried when MLSD is refused, not when its listing passed a bound.
  const bool bound = !mlsd && (InetLastErrorIsTooLarge() || InetLastErrorIsTimeout());
  if (!mlsd && (bound || !FetchListing(c, url, "LIST", listing))) {
    if (InetLastError().empty() || InetLastError() == kNoMoreFiles) InetLastError() = u"The server refused the listing";
    return nullptr;
  }
  auto find = std::make_unique<TFind>(c);
  std::size_t pos = 0;
  while (pos < listing.size()) {
    std::size_t end = listing.find('\n', pos);
    if (end == std::string::npos) end = listing.size();
    std::string line = listing.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    TInetFindData d;
    if (!InetParseListingLine(line, mlsd, d)) continue;
    if (!MatchesWildCard(mask, StringToUtf8(d.FileName))) continue;
    find->Entries.push_back(std::move(d));
  }
  if (find->Entries.empty()) {
    InetLastError() = kNoMoreFiles;
    return nullptr;
  }
  Data = find->Entries[0];
  find->Next = 1;
  return AddNode(std::move(find));
}

bool InternetFindNextFile(HINTERNET Find, TInetFindData& Data) {
  TInetNode* n = Node(Find);
  if (!n || n->Kind != nkFind) return false;
  auto* f = static_cast<TFind*>(n);
  if (f->Next >= f->Entries.size()) return false;
  Data = f->Entries[f->Next++];
  return true;
}

bool FtpGetCurrentDirectory(HINTERNET Connection, String& Directory) {
  TConnection* c = AsConnection(Connection, INTERNET_SERVICE_FTP);
  if (!c) return false;
  Directory = Utf8ToString(c->CurrentDir);
  return true;
}

bool FtpSetCurrentDirectory(HINTERNET Connection, const String& Directory) {
  TConnection* c = AsConnection(Connection, INTERNET_SERVICE_FTP);
  if (!c) return false;
  const std::string dir = StringToUtf8(Directory);
  if (dir.empty() || Refused(dir, "FTP path")) return false;
  const std::string resolved = FoldFtpPath(c->CurrentDir, dir);
  if (!FtpProbe(c, c->FtpUrl(resolved, true), nullptr)) return false;
  c->CurrentDir = resolved;
  return true;
}

bool FtpGetFileTime(HINTERNET Connection, const String& FileName, std::int64_t& FileTime) {
  TConnection* c = AsConnection(Connection, INTERNET_SERVICE_FTP);
  if (!c || FileName.empty() || Refused(StringToUtf8(FileName), "FTP path")) return false;
  TTransferSettings s = FtpSettings(c, c->FtpUrl(StringToUtf8(FileName), false));
  s.NoBody = true;
  s.FileTime = true;
  TTransfer t(c->Root->Session, s);
  std::int64_t seconds = 0;
  if (!t.Start() || !t.RunToEnd() || !t.FileTime(seconds)) return false;
  FileTime = UnixToFileTime(seconds);
  return true;
}

HINTERNET FtpOpenFile(HINTERNET Connection, const String& FileName, std::uint32_t Access, std::uint32_t Flags) {
  (void)Access;
  (void)Flags;
  TConnection* c = AsConnection(Connection, INTERNET_SERVICE_FTP);
  if (!c || FileName.empty() || Refused(StringToUtf8(FileName), "FTP path")) return nullptr;
  auto f = std::make_unique<TBodyHandle>(nkFile, c, c->Root);
  f->Conn = c;
  f->Scheme = "ftp";
  f->Host = c->Host;
  f->Port = c->Port;
  f->Url = c->FtpUrl(StringToUtf8(FileName), false);
  if (!StartBody(f.get(), 0)) return nullptr;
  return AddNode(std::move(f));
}

HINTERNET InternetOpenUrl(HINTERNET Root, const String& URL, std::uint32_t Flags) {
  (void)Flags;
  TRoot* root = AsRoot(Root);
  if (!root) return nullptr;
  const std::string raw = StringToUtf8(URL);
  const std::string scheme = SchemeOf(raw);
  const bool ftp = scheme == "ftp" || scheme == "ftps";
  // Percent-encoded, a control character is harmless only in an HTTP path,
  // which travels encoded.
  std::string checked = raw;
  if (!ftp) {
    const std::size_t start = raw.find("://") == std::string::npos ? 0 : raw.find("://") + 3;
    checked = raw.substr(0, raw.find_first_of("/?#", start));
  }
  if (Refused(raw, "URL") || Refused(PercentDecode(checked), "URL")) return nullptr;
  auto u = std::make_unique<TBodyHandle>(nkUrl, root, root);
  u->Url = EncodePath(raw, false);
  u->Scheme = SchemeOf(u->Url);
  if (u->Scheme != "http" && u->Scheme != "https" && !ftp) return nullptr;
  HostPortOfUrl(u->Url, u->Scheme, u->Host, u->Port);
  if (!StartBody(u.get(), 0)) return nullptr;
  return AddNode(std::move(u));
}

bool InternetReadFile(HINTERNET Handle, void* Buffer, std::uint32_t Size, std::uint32_t& BytesRead) {
  BytesRead = 0;
  TBodyHandle* b = AsBody(Handle);
  if (!b || !b->Current) return false;
  return b->Current->Read(Buffer, Size, BytesRead);
}

std::int64_t InternetSetFilePointer(HINTERNET Handle, std::int64_t Position) {
  TBodyHandle* b = AsBody(Handle);
  if (!b || Position < 0) return -1;
  if (Position == 0 && b->Position == 0 && b->Current && b->Current->Untouched()) return 0;
  if (StartBody(b, Position)) {
    TTransfer* t = b->Current.get();
    if (!t->Http()) {
      if (!t->Failed()) return Position;
    } else {
      const THttpAnswer& a = t->Answer();
      if (a.Status == 206) {
        // Only a range that starts where asked continues the file.
        const std::string* range = a.Header("content-range");
        if (range && range->find("bytes " + std::to_string(Position) + "-") == 0) return Position;
      } else if (a.Status >= 200 && a.Status < 300) {
        b->Position = 0;
        return 0;
      }
    }
  }
  if (Position == 0) return -1;
  if (!StartBody(b, 0)) return -1;
  TTransfer* t = b->Current.get();
  if (t->Http() && (t->Answer().Status < 200 || t->Answer().Status >= 300)) return -1;
  return 0;
}

String InternetGetLastResponseInfo() {
  return InetLastResponse();
}
String InternetGetLastErrorText() {
  return InetLastError();
}
bool InternetLastErrorIsConnect() {
  return InetLastErrorIsConnect();
}
bool InternetLastErrorIsTimeout() {
  return InetLastErrorIsTimeout();
}
bool InternetLastErrorIsTooLarge() {
  return InetLastErrorIsTooLarge();
}

bool InetHasControlCharacter(const String& Text) {
  return std::any_of(Text.begin(), Text.end(), [](char16_t c) { return c < 0x20 || c == 0x7F; });
}

bool InternetCloseHandle(HINTERNET Handle) noexcept {
  return TInetHandleTable::Global().Close(Handle);
}

}  // namespace kwinet
