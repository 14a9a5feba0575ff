#include "kwinet/utils/ProxyPolicy.h"

#include <charconv>
#include <cstdlib>

namespace kwinet {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view TrimView(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool IsSchemeWord(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
          c == '.'))
      return false;
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2])));
      i += 2;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

// The digits after a colon: the number, or 0 when they are not one.
int PortNumber(std::string_view s) {
  int value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size() || value < 0) return 0;
  return value;
}

// "host", "host:port", "[v6]", "[v6]:port" or a bare IPv6 address (more
// than one colon). Port is -1 when none is given.
void SplitHostPort(std::string_view s, std::string& host, int& port) {
  port = -1;
  if (!s.empty() && s.front() == '[') {
    std::size_t close = s.find(']');
    if (close != std::string_view::npos) {
      host = std::string(s.substr(1, close - 1));
      std::string_view rest = s.substr(close + 1);
      if (!rest.empty() && rest.front() == ':') port = PortNumber(rest.substr(1));
      return;
    }
  }
  std::size_t colon = s.find(':');
  if (colon != std::string_view::npos && s.find(':', colon + 1) == std::string_view::npos) {
    host = std::string(s.substr(0, colon));
    port = PortNumber(s.substr(colon + 1));
    return;
  }
  host = std::string(s);
}

// "name=value" where the name is a scheme word standing before any "://";
// the value is returned in Value.
bool IsNamedEntry(std::string_view part, std::string_view* name, std::string_view* value) {
  std::size_t eq = part.find('=');
  if (eq == std::string_view::npos) return false;
  std::size_t sep = part.find("://");
  if (sep != std::string_view::npos && sep < eq) return false;
  if (!IsSchemeWord(TrimView(part.substr(0, eq)))) return false;
  if (name) *name = TrimView(part.substr(0, eq));
  if (value) *value = part.substr(eq + 1);
  return true;
}

// A per-protocol list has at least one named entry among its parts.
bool IsProtocolList(std::string_view s) {
  std::size_t pos = 0;
  while (pos <= s.size()) {
    std::size_t end = s.find(';', pos);
    if (end == std::string_view::npos) end = s.size();
    if (IsNamedEntry(TrimView(s.substr(pos, end - pos)), nullptr, nullptr)) return true;
    pos = end + 1;
  }
  return false;
}

std::string Getenv(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

}  // namespace

std::string TProxyAddress::Url() const {
  std::string url = (Scheme.empty() ? std::string("http") : Scheme) + "://";
  url += Host.find(':') != std::string::npos ? "[" + Host + "]" : Host;
  if (Port >= 0) url += ":" + std::to_string(Port);
  return url;
}

TProxyAddress ParseProxyAddress(std::string_view Text) {
  TProxyAddress a;
  std::string_view s = TrimView(Text);
  if (std::size_t sep = s.find("://"); sep != std::string_view::npos && IsSchemeWord(s.substr(0, sep))) {
    a.Scheme = LowerAscii(s.substr(0, sep));
    s.remove_prefix(sep + 3);
  }
  // The last "@" ends the user information, which may hold "/" or "@"
  // of its own only percent-encoded, but is taken as it comes.
  if (std::size_t at = s.rfind('@'); at != std::string_view::npos) {
    std::string_view info = s.substr(0, at);
    s.remove_prefix(at + 1);
    std::size_t colon = info.find(':');
    a.User = PercentDecode(info.substr(0, colon));
    if (colon != std::string_view::npos) a.Password = PercentDecode(info.substr(colon + 1));
    a.HasUserInfo = true;
  }
  if (std::size_t slash = s.find('/'); slash != std::string_view::npos) s = s.substr(0, slash);
  SplitHostPort(s, a.Host, a.Port);
  if (a.Host.empty()) a = TProxyAddress();
  return a;
}

TProxyAddress ProxyEntryFor(std::string_view Setting, std::string_view Scheme) {
  std::string_view s = TrimView(Setting);
  if (s.empty()) return TProxyAddress();
  if (!IsProtocolList(s)) return ParseProxyAddress(s);
  const std::string scheme = LowerAscii(Scheme);
  std::string_view named, unnamed, http;
  std::size_t pos = 0;
  while (pos <= s.size()) {
    std::size_t end = s.find(';', pos);
    if (end == std::string_view::npos) end = s.size();
    std::string_view part = TrimView(s.substr(pos, end - pos));
    pos = end + 1;
    if (part.empty()) continue;
    std::string_view rawName, value;
    if (IsNamedEntry(part, &rawName, &value)) {
      const std::string name = LowerAscii(rawName);
      if (name == scheme && named.empty()) named = value;
      if (name == "http" && http.empty()) http = value;
    } else if (unnamed.empty()) {
      unnamed = part;
    }
  }
  if (!named.empty()) return ParseProxyAddress(named);
  if (!unnamed.empty()) return ParseProxyAddress(unnamed);
  if (scheme == "https" && !http.empty()) return ParseProxyAddress(http);
  return TProxyAddress();
}

bool NoProxyMatches(std::string_view List, std::string_view Host, int Port) {
  std::string host = LowerAscii(TrimView(Host));
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  if (!host.empty() && host.back() == '.') host.pop_back();
  if (host.empty()) return false;
  std::size_t pos = 0;
  while (pos <= List.size()) {
    std::size_t end = List.find_first_of(", \t", pos);
    if (end == std::string_view::npos) end = List.size();
    std::string_view raw = List.substr(pos, end - pos);
    pos = end + 1;
    if (raw.empty()) continue;
    if (raw == "*") return true;
    std::string entry;
    int entryPort = -1;
    SplitHostPort(raw, entry, entryPort);
    entry = LowerAscii(entry);
    if (entry.size() > 1 && entry[0] == '*' && entry[1] == '.') entry.erase(0, 1);
    if (!entry.empty() && entry.front() == '.') entry.erase(0, 1);
    if (!entry.empty() && entry.back() == '.') entry.pop_back();
    if (entry.empty()) continue;
    if (entryPort >= 0 && Port >= 0 && entryPort != Port) continue;
    if (host == entry) return true;
    if (host.size() > entry.size() && host.compare(host.size() - entry.size(), entry.size(), entry) == 0 &&
        host[host.size() - entry.size() - 1] == '.')
      return true;
  }
  return false;
}

// --- TProxyPolicy ----------------------------------------------------------------

TProxyPolicy TProxyPolicy::FromEnvironment() {
  return FromEnvironment(Getenv);
}

TProxyPolicy TProxyPolicy::FromEnvironment(const TLookup& Lookup) {
  TProxyPolicy p;
  auto add = [&](std::vector<std::string>& to, const char* lower, const char* upper) {
    for (const char* name : {lower, upper}) {
      std::string v = Lookup(name);
      if (!TrimView(v).empty()) to.push_back(std::move(v));
    }
  };
  add(p.FHttp, "http_proxy", "HTTP_PROXY");
  add(p.FHttps, "https_proxy", "HTTPS_PROXY");
  add(p.FFtp, "ftp_proxy", "FTP_PROXY");
  add(p.FAny, "all_proxy", "ALL_PROXY");
  p.FNoProxy = Lookup("no_proxy");
  if (TrimView(p.FNoProxy).empty()) p.FNoProxy = Lookup("NO_PROXY");
  return p;
}

TProxyPolicy TProxyPolicy::FromSetting(std::string_view Setting) {
  std::string noProxy = Getenv("no_proxy");
  if (TrimView(noProxy).empty()) noProxy = Getenv("NO_PROXY");
  return FromSetting(Setting, noProxy);
}

TProxyPolicy TProxyPolicy::FromSetting(std::string_view Setting, std::string_view NoProxy) {
  TProxyPolicy p;
  if (!TrimView(Setting).empty()) p.FAny.emplace_back(Setting);
  p.FNoProxy = std::string(NoProxy);
  return p;
}

const std::vector<std::string>& TProxyPolicy::OwnSettings(std::string_view Scheme) const {
  static const std::vector<std::string> none;
  const std::string scheme = LowerAscii(Scheme);
  if (scheme == "http") return FHttp;
  if (scheme == "https") return FHttps;
  if (scheme == "ftp") return FFtp;
  return none;
}

const std::string& TProxyPolicy::SettingFor(std::string_view Scheme) const {
  static const std::string none;
  for (const auto* list : {&OwnSettings(Scheme), &FAny})
    for (const std::string& s : *list)
      if (!ProxyEntryFor(s, Scheme).Empty()) return s;
  return none;
}

TProxyAddress TProxyPolicy::ProxyFor(std::string_view Scheme) const {
  const std::string& setting = SettingFor(Scheme);
  return setting.empty() ? TProxyAddress() : ProxyEntryFor(setting, Scheme);
}

TProxyAddress TProxyPolicy::Route(std::string_view Scheme, std::string_view Host, int Port) const {
  if (Bypassed(Host, Port)) return TProxyAddress();
  return ProxyFor(Scheme);
}

std::string TProxyPolicy::NoProxyHostsOnly() const {
  std::string out;
  std::string_view list = FNoProxy;
  std::size_t pos = 0;
  while (pos <= list.size()) {
    std::size_t end = list.find_first_of(", \t", pos);
    if (end == std::string_view::npos) end = list.size();
    std::string_view raw = list.substr(pos, end - pos);
    pos = end + 1;
    if (raw.empty()) continue;
    std::string host;
    int port = -1;
    if (raw == "*") {
      host = "*";
    } else {
      SplitHostPort(raw, host, port);
      if (port >= 0 || host.empty()) continue;
    }
    if (!out.empty()) out += ',';
    out += host;
  }
  return out;
}

// --- the record's view -------------------------------------------------------------

void ReadProxyInfo(const String& Scheme, String& Server, bool& UseProxy, int& Port, String& User, String& Password) {
  const std::string scheme = StringToUtf8(Scheme);
  const TProxyPolicy policy = TProxyPolicy::FromEnvironment();
  const std::string& setting = policy.SettingFor(scheme);
  if (!setting.empty()) {
    Server = Trim(Utf8ToString(setting));
    UseProxy = true;
  }
  if (!UseProxy || Server.empty()) return;
  const TProxyAddress a = ProxyEntryFor(StringToUtf8(Server), scheme);
  if (a.Empty()) return;
  Server = Utf8ToString(a.Host);
  if (a.Port >= 0) Port = a.Port;
  if (a.HasUserInfo) {
    User = Utf8ToString(a.User);
    Password = Utf8ToString(a.Password);
  }
}

void ReadProxyInfo(String& Server, bool& UseProxy, int& Port) {
  String user, password;
  ReadProxyInfo(u"http", Server, UseProxy, Port, user, password);
}

bool ProxyBypassed(const String& Host) {
  return TProxyPolicy::FromEnvironment().Bypassed(StringToUtf8(Host));
}

}  // namespace kwinet
