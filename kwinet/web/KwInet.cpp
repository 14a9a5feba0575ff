#include "kwinet/web/KwInet.h"

#include <curl/curl.h>
#include <fnmatch.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "kwinet/core/DateTime.h"

namespace kwinet {

namespace {

using Clock = std::chrono::steady_clock;

// Body bytes held per transfer before the server is paused; the reader
// refills below a quarter of it so the socket keeps flowing.
constexpr std::size_t kBufferCap = 512 * 1024;
// An FTP listing is read whole; a bound keeps a hostile server from filling
// memory.
constexpr std::size_t kListingCap = 64 * 1024 * 1024;

thread_local String gLastResponse;
thread_local String gLastError;

void InitCurl() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

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

std::string HostForUrl(const std::string& host) {
  if (host.find(':') != std::string::npos && host.front() != '[') return "[" + host + "]";
  return host;
}

std::int64_t UnixToFileTime(std::int64_t seconds) {
  struct timespec ts {};
  ts.tv_sec = static_cast<time_t>(seconds);
  return TimespecToFileTime(ts);
}

std::string EnvFirst(const char* a, const char* b) {
  if (const char* v = std::getenv(a); v && *v) return v;
  if (const char* v = std::getenv(b); v && *v) return v;
  return std::string();
}

}  // namespace

// --- handle tree --------------------------------------------------------------

enum THandleKind : std::uint8_t { hkRoot, hkConnection, hkRequest, hkFind, hkFile, hkUrl };

class TInetHandle {
 public:
  TInetHandle(THandleKind kind, TInetHandle* parent) : Kind(kind), Parent(parent) {}
  virtual ~TInetHandle() = default;
  // Children go first, while the parent they use is still whole.
  void CloseChildren() { Children.clear(); }

  THandleKind Kind;
  TInetHandle* Parent;
  std::vector<std::unique_ptr<TInetHandle>> Children;
};

namespace {

std::mutex gLiveMutex;
std::unordered_set<const TInetHandle*> gLive;

bool Live(const TInetHandle* h) {
  if (!h) return false;
  std::lock_guard lock(gLiveMutex);
  return gLive.count(h) != 0;
}

void MarkLive(const TInetHandle* h, bool live) {
  std::lock_guard lock(gLiveMutex);
  if (live)
    gLive.insert(h);
  else
    gLive.erase(h);
}

struct TRoot;

// One transfer of libcurl in progress: the body comes into a bounded buffer
// from which the caller pulls.
struct TTransfer {
  TRoot* Root = nullptr;
  CURL* Easy = nullptr;
  curl_slist* Headers = nullptr;
  std::string PostBody;
  char ErrorBuffer[CURL_ERROR_SIZE] = {};

  bool Added = false;
  bool Done = false;
  CURLcode Result = CURLE_OK;

  std::string Buf;
  std::size_t Head = 0;
  bool Paused = false;
  std::size_t SincePerform = 0;  // bytes read since the reader last polled the socket
  bool Unbounded = false;        // an FTP listing: collect all (up to kListingCap)

  // HTTP answer: the last header block, and whether it is the final one.
  bool Http = false;
  bool FollowRedirects = false;
  int Status = 0;
  std::string StatusLine;
  std::vector<std::pair<std::string, std::string>> HeaderFields;
  bool HeadersFinal = false;
  // FTP: the server accepted the file or listing transfer.
  bool FtpStarted = false;

  Clock::time_point LastActivity = Clock::now();

  ~TTransfer();
  std::size_t Available() const { return Buf.size() - Head; }
  const std::string* Header(const std::string& lowerName) const {
    for (const auto& [k, v] : HeaderFields)
      if (k == lowerName) return &v;
    return nullptr;
  }
};

struct TRoot : TInetHandle {
  TRoot() : TInetHandle(hkRoot, nullptr) { Multi = curl_multi_init(); }
  ~TRoot() override {
    CloseChildren();
    if (Multi) curl_multi_cleanup(Multi);
  }
  CURLM* Multi = nullptr;
  std::string Agent;
  std::uint32_t AccessType = INTERNET_OPEN_TYPE_PRECONFIG;
  std::map<std::string, std::string> Proxies;  // scheme -> host:port; "" for all
  std::string NoProxy;
  long TimeoutMs = 30000;
  std::string CAFile;
  std::uint32_t SecurityFlags = 0;

  std::string ProxyFor(const std::string& scheme) const {
    if (auto it = Proxies.find(scheme); it != Proxies.end()) return it->second;
    if (auto it = Proxies.find(""); it != Proxies.end()) return it->second;
    return std::string();
  }
};

TTransfer::~TTransfer() {
  if (Easy) {
    if (Added && Root && Root->Multi) curl_multi_remove_handle(Root->Multi, Easy);
    curl_easy_cleanup(Easy);
  }
  if (Headers) curl_slist_free_all(Headers);
}

struct TConnection : TInetHandle {
  TConnection(TRoot* root) : TInetHandle(hkConnection, root), Root(root) {}
  TRoot* Root;
  std::string Host;
  std::uint16_t Port = 0;
  std::string User, Password;
  std::uint32_t Service = INTERNET_SERVICE_HTTP;
  std::string CurrentDir;  // FTP: absolute, from the server's entry path

  std::string BaseUrl(const std::string& scheme) const {
    return scheme + "://" + HostForUrl(Host) + ":" + std::to_string(Port);
  }
  // The URL of an FTP path: absolute paths and names relative to the
  // current folder both become absolute ("/%2F" keeps curl from taking them
  // relative to the logon folder).
  std::string FtpUrl(const std::string& name, bool folder) const {
    std::string path = name;
    if (path.empty() || path.front() != '/') {
      std::string base = CurrentDir.empty() ? std::string("/") : CurrentDir;
      if (base.back() != '/') base += '/';
      path = base + path;
    }
    if (folder && path.back() != '/') path += '/';
    // curl resolves "/%2F..." as an absolute path on the server.
    return BaseUrl("ftp") + "/%2F" + EncodePath(path.substr(1), true);
  }
};

// A request, FTP file or URL: something with a body to pull.
struct TBodyHandle : TInetHandle {
  TBodyHandle(THandleKind kind, TInetHandle* parent, TRoot* root) : TInetHandle(kind, parent), Root(root) {}
  TRoot* Root;
  TConnection* Conn = nullptr;  // requests and FTP files
  std::string Url;
  std::string Scheme;
  // Request settings.
  std::string Verb = "GET";
  std::string Version;
  std::vector<std::string> AddedHeaders;
  std::string User, Password, ProxyUser, ProxyPassword;
  bool HasUser = false, HasPassword = false;
  std::string LastBody;
  std::uint32_t SecurityFlags = 0;
  std::unique_ptr<TTransfer> Current;
  std::int64_t Position = 0;  // where the current transfer's body starts
};

struct TFind : TInetHandle {
  TFind(TInetHandle* parent) : TInetHandle(hkFind, parent) {}
  std::vector<TInetFindData> Entries;
  std::size_t Next = 0;
};

// --- libcurl callbacks -------------------------------------------------------

// Makes room for n more bytes: the consumed front goes only when the
// buffer would otherwise grow, so bytes are rarely moved.
void MakeRoom(TTransfer* t, std::size_t n) {
  if (t->Head == t->Buf.size()) {
    t->Buf.clear();
    t->Head = 0;
  } else if (t->Head > 0 && t->Buf.size() + n > t->Buf.capacity()) {
    t->Buf.erase(0, t->Head);
    t->Head = 0;
  }
}

size_t WriteCallback(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<TTransfer*>(user);
  const std::size_t n = size * count;
  t->LastActivity = Clock::now();
  if (t->Unbounded) {
    if (t->Buf.size() + n > kListingCap) return 0;  // ends the transfer with an error
  } else if (t->Available() >= kBufferCap) {
    t->Paused = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  if (t->Buf.capacity() < kBufferCap) t->Buf.reserve(2 * kBufferCap);
  MakeRoom(t, n);
  t->Buf.append(data, n);
  return n;
}

size_t HeaderCallback(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<TTransfer*>(user);
  const std::size_t n = size * count;
  t->LastActivity = Clock::now();
  std::string line(data, n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (!t->Http) {
    // FTP server replies.
    if (!line.empty()) gLastResponse = Utf8ToString(line);
    if (line.size() >= 4 && (line.compare(0, 4, "150 ") == 0 || line.compare(0, 4, "125 ") == 0 ||
                             line.compare(0, 4, "150-") == 0 || line.compare(0, 4, "125-") == 0))
      t->FtpStarted = true;
    return n;
  }
  if (line.compare(0, 5, "HTTP/") == 0) {
    t->HeaderFields.clear();
    t->StatusLine = line;
    t->Status = 0;
    std::size_t sp = line.find(' ');
    if (sp != std::string::npos) t->Status = std::atoi(line.c_str() + sp + 1);
    gLastResponse = Utf8ToString(line);
    return n;
  }
  if (line.empty()) {
    const int s = t->Status;
    const bool interim = s >= 100 && s < 200;
    const bool redirect = t->FollowRedirects && (s == 301 || s == 302 || s == 303 || s == 307 || s == 308) &&
                          t->Header("location") != nullptr;
    if (s != 0 && !interim && !redirect) t->HeadersFinal = true;
    return n;
  }
  if (std::size_t colon = line.find(':'); colon != std::string::npos)
    t->HeaderFields.emplace_back(Lower(TrimAscii(std::string_view(line).substr(0, colon))),
                                 TrimAscii(std::string_view(line).substr(colon + 1)));
  return n;
}

// --- driving the multi handle -------------------------------------------------

void CollectDone(TRoot* root) {
  int left = 0;
  while (CURLMsg* msg = curl_multi_info_read(root->Multi, &left)) {
    if (msg->msg != CURLMSG_DONE) continue;
    TTransfer* t = nullptr;
    curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, reinterpret_cast<char**>(&t));
    if (!t) continue;
    t->Done = true;
    t->Result = msg->data.result;
    if (t->Result != CURLE_OK) {
      gLastError = Utf8ToString(t->ErrorBuffer[0] ? std::string(t->ErrorBuffer) : curl_easy_strerror(t->Result));
    }
  }
}

void Fail(TTransfer* t, CURLcode code, const char* text) {
  t->Done = true;
  t->Result = code;
  gLastError = Utf8ToString(text);
  if (t->Added) {
    curl_multi_remove_handle(t->Root->Multi, t->Easy);
    t->Added = false;
  }
}

void Unpause(TTransfer* t) {
  if (!t->Paused || t->Done) return;
  t->Paused = false;
  t->LastActivity = Clock::now();
  curl_easy_pause(t->Easy, CURLPAUSE_CONT);
}

// Runs the transfers of t's root until Ready() holds or t ends. A wait
// without any data for longer than the root's timeout ends t as failed.
template <typename Pred>
bool Drive(TTransfer* t, Pred ready) {
  TRoot* root = t->Root;
  const auto entered = Clock::now();
  for (;;) {
    if (ready()) return true;
    if (t->Done) return ready();
    int running = 0;
    CURLMcode mc = curl_multi_perform(root->Multi, &running);
    if (mc != CURLM_OK) {
      Fail(t, CURLE_RECV_ERROR, curl_multi_strerror(mc));
      return false;
    }
    CollectDone(root);
    if (ready()) return true;
    if (t->Done) return ready();
    auto since = std::max(entered, t->LastActivity);
    auto waited = Clock::now() - since;
    int slice = 100;
    if (root->TimeoutMs > 0) {
      auto limit = std::chrono::milliseconds(root->TimeoutMs);
      if (waited >= limit) {
        Fail(t, CURLE_OPERATION_TIMEDOUT, "Timeout was reached");
        return false;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limit - waited).count();
      slice = static_cast<int>(std::min<long long>(slice, left + 1));
    }
    curl_multi_poll(root->Multi, nullptr, 0, slice, nullptr);
  }
}

// A new easy handle with what every transfer of the root shares.
std::unique_ptr<TTransfer> NewTransfer(TRoot* root, const std::string& url, const std::string& scheme,
                                       std::uint32_t securityFlags) {
  auto t = std::make_unique<TTransfer>();
  t->Root = root;
  t->Easy = curl_easy_init();
  if (!t->Easy) return nullptr;
  CURL* e = t->Easy;
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_PRIVATE, t.get());
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t->ErrorBuffer);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, WriteCallback);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, t.get());
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, HeaderCallback);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, t.get());
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, 256L * 1024);
  if (!root->Agent.empty()) curl_easy_setopt(e, CURLOPT_USERAGENT, root->Agent.c_str());
  if (root->TimeoutMs > 0) curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, root->TimeoutMs);
  curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  if (root->AccessType == INTERNET_OPEN_TYPE_DIRECT) {
    curl_easy_setopt(e, CURLOPT_PROXY, "");
  } else if (root->AccessType == INTERNET_OPEN_TYPE_PROXY) {
    std::string proxy = root->ProxyFor(scheme);
    curl_easy_setopt(e, CURLOPT_PROXY, proxy.c_str());
    if (!root->NoProxy.empty()) curl_easy_setopt(e, CURLOPT_NOPROXY, root->NoProxy.c_str());
  }
  const std::uint32_t flags = root->SecurityFlags | securityFlags;
  if (!root->CAFile.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, root->CAFile.c_str());
  if (flags & SECURITY_FLAG_IGNORE_UNKNOWN_CA) curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 0L);
  if (flags & SECURITY_FLAG_IGNORE_CERT_CN_INVALID) curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 0L);
  t->Http = scheme == "http" || scheme == "https";
  return t;
}

bool Start(TTransfer* t) {
  if (curl_multi_add_handle(t->Root->Multi, t->Easy) != CURLM_OK) {
    t->Done = true;
    t->Result = CURLE_FAILED_INIT;
    return false;
  }
  t->Added = true;
  t->LastActivity = Clock::now();
  return true;
}

template <typename T>
T* AddChild(TInetHandle* parent, std::unique_ptr<T> child) {
  T* raw = child.get();
  parent->Children.push_back(std::move(child));
  MarkLive(raw, true);
  return raw;
}

void Unregister(TInetHandle* h) {
  for (auto& c : h->Children) Unregister(c.get());
  MarkLive(h, false);
}

std::string SchemeOf(const std::string& url) {
  std::size_t p = url.find("://");
  return p == std::string::npos ? std::string() : Lower(url.substr(0, p));
}

// Starts the body handle's transfer from byte From (0: the whole body).
bool StartBody(TBodyHandle* b, std::int64_t from) {
  b->Current.reset();
  auto t = NewTransfer(b->Root, b->Url, b->Scheme, b->SecurityFlags);
  if (!t) return false;
  CURL* e = t->Easy;
  if (t->Http) {
    t->FollowRedirects = true;
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
    if (b->Version == "HTTP/1.0")
      curl_easy_setopt(e, CURLOPT_HTTP_VERSION, (long)CURL_HTTP_VERSION_1_0);
    else
      curl_easy_setopt(e, CURLOPT_HTTP_VERSION, (long)CURL_HTTP_VERSION_1_1);
    for (const auto& h : b->AddedHeaders) t->Headers = curl_slist_append(t->Headers, h.c_str());
    if (t->Headers) curl_easy_setopt(e, CURLOPT_HTTPHEADER, t->Headers);
    if (b->Verb == "POST") {
      t->PostBody = b->LastBody;
      curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t->PostBody.size()));
      curl_easy_setopt(e, CURLOPT_POSTFIELDS, t->PostBody.data());
    } else if (b->Verb == "HEAD") {
      curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else if (b->Verb != "GET") {
      curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, b->Verb.c_str());
    }
    // Credentials go only when set on the request, and then at once (basic),
    // as an answer to the server's demand.
    if (b->HasUser || b->HasPassword) {
      curl_easy_setopt(e, CURLOPT_HTTPAUTH, (long)CURLAUTH_BASIC);
      curl_easy_setopt(e, CURLOPT_USERNAME, b->User.c_str());
      curl_easy_setopt(e, CURLOPT_PASSWORD, b->Password.c_str());
    }
    if (!b->ProxyUser.empty() || !b->ProxyPassword.empty()) {
      curl_easy_setopt(e, CURLOPT_PROXYAUTH, (long)CURLAUTH_BASIC);
      curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, b->ProxyUser.c_str());
      curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, b->ProxyPassword.c_str());
    }
    if (from > 0) curl_easy_setopt(e, CURLOPT_RANGE, (std::to_string(from) + "-").c_str());
  } else {
    curl_easy_setopt(e, CURLOPT_TRANSFERTEXT, 0L);
    if (b->Conn) {
      if (!b->Conn->User.empty()) curl_easy_setopt(e, CURLOPT_USERNAME, b->Conn->User.c_str());
      if (!b->Conn->Password.empty()) curl_easy_setopt(e, CURLOPT_PASSWORD, b->Conn->Password.c_str());
    }
    if (from > 0) curl_easy_setopt(e, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(from));
  }
  b->Current = std::move(t);
  b->Position = from;
  TTransfer* cur = b->Current.get();
  if (!Start(cur)) return false;
  if (cur->Http) return Drive(cur, [cur] { return cur->HeadersFinal; }) && cur->HeadersFinal;
  // FTP: wait until the server accepted the file, sent data, or refused.
  Drive(cur, [cur] { return cur->FtpStarted || cur->Available() > 0; });
  return cur->FtpStarted || cur->Available() > 0 || (cur->Done && cur->Result == CURLE_OK);
}

TBodyHandle* AsBody(HINTERNET h) {
  if (!Live(h) || (h->Kind != hkRequest && h->Kind != hkFile && h->Kind != hkUrl)) return nullptr;
  return static_cast<TBodyHandle*>(h);
}

TTransfer* Answer(HINTERNET h) {
  TBodyHandle* b = AsBody(h);
  if (!b || !b->Current || !b->Current->Http) return nullptr;
  TTransfer* t = b->Current.get();
  if (t->Status == 0 && t->Done) {
    // A proxy that refused a tunnel answers only through curl.
    long connectCode = 0;
    curl_easy_getinfo(t->Easy, CURLINFO_HTTP_CONNECTCODE, &connectCode);
    if (connectCode >= 400) t->Status = static_cast<int>(connectCode);
  }
  return t->Status != 0 ? t : nullptr;
}

// Runs a body-less FTP transfer (logon check, folder change); true when the
// server agreed.
bool FtpProbe(TConnection* c, const std::string& url, std::string* entryPath) {
  auto t = NewTransfer(c->Root, url, "ftp", 0);
  if (!t) return false;
  curl_easy_setopt(t->Easy, CURLOPT_NOBODY, 1L);
  if (!c->User.empty()) curl_easy_setopt(t->Easy, CURLOPT_USERNAME, c->User.c_str());
  if (!c->Password.empty()) curl_easy_setopt(t->Easy, CURLOPT_PASSWORD, c->Password.c_str());
  TTransfer* raw = t.get();
  if (!Start(raw)) return false;
  Drive(raw, [] { return false; });
  if (!raw->Done || raw->Result != CURLE_OK) return false;
  if (entryPath) {
    char* path = nullptr;
    if (curl_easy_getinfo(raw->Easy, CURLINFO_FTP_ENTRY_PATH, &path) == CURLE_OK && path) *entryPath = path;
  }
  return true;
}

// --- FTP listings ------------------------------------------------------------

int MonthIndex(const std::string& m) {
  static const char* names[] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  std::string l = Lower(m);
  for (int i = 0; i < 12; ++i)
    if (l == names[i]) return i + 1;
  return 0;
}

std::int64_t FileTimeOfUtc(int y, int mo, int d, int h, int mi, int s) {
  TDateTime date, time;
  if (!TryEncodeDate(y, mo, d, date) || !TryEncodeTime(h, mi, s, 0, time)) return 0;
  return UnixToFileTime(DateTimeToUnix(date + time));
}

// "type=file;size=10;modify=20240101120000; name"
bool ParseMlsdLine(const std::string& line, TInetFindData& d) {
  std::size_t sp = line.find(' ');
  if (sp == std::string::npos) return false;
  std::string facts = line.substr(0, sp);
  d = TInetFindData();
  d.FileName = Utf8ToString(line.substr(sp + 1));
  std::string type;
  bool writable = true;
  std::size_t pos = 0;
  while (pos < facts.size()) {
    std::size_t end = facts.find(';', pos);
    if (end == std::string::npos) end = facts.size();
    std::string fact = facts.substr(pos, end - pos);
    pos = end + 1;
    std::size_t eq = fact.find('=');
    if (eq == std::string::npos) continue;
    std::string key = Lower(fact.substr(0, eq)), value = fact.substr(eq + 1);
    if (key == "type") {
      type = Lower(value);
    } else if (key == "size" || key == "sizd") {
      d.FileSize = std::strtoull(value.c_str(), nullptr, 10);
    } else if (key == "modify" && value.size() >= 14) {
      auto num = [&](int at, int len) { return std::atoi(value.substr(at, len).c_str()); };
      d.LastWriteTime = FileTimeOfUtc(num(0, 4), num(4, 2), num(6, 2), num(8, 2), num(10, 2), num(12, 2));
    } else if (key == "perm") {
      writable = value.find_first_of("wa") != std::string::npos;
    }
  }
  if (type == "cdir" || type == "pdir") return false;
  d.Attributes = type == "dir" ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  if (!writable && type != "dir") d.Attributes = FILE_ATTRIBUTE_READONLY;
  return !d.FileName.empty();
}

// "-rw-r--r-- 1 owner group 12345 Dec 10 05:18 name"
bool ParseListLine(const std::string& line, TInetFindData& d) {
  if (line.size() < 10 || std::string("-dl").find(line[0]) == std::string::npos) return false;
  std::vector<std::pair<std::size_t, std::size_t>> fields;  // start, length
  std::size_t i = 0;
  while (i < line.size() && fields.size() < 8) {
    while (i < line.size() && line[i] == ' ') ++i;
    std::size_t s = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (i > s) fields.emplace_back(s, i - s);
  }
  if (fields.size() < 8) return false;
  while (i < line.size() && line[i] == ' ') ++i;
  std::string name = line.substr(i);
  auto field = [&](int k) { return line.substr(fields[k].first, fields[k].second); };
  if (line[0] == 'l') {
    if (std::size_t arrow = name.find(" -> "); arrow != std::string::npos) name.resize(arrow);
  }
  if (name.empty() || name == "." || name == "..") return false;
  d = TInetFindData();
  d.FileName = Utf8ToString(name);
  d.FileSize = std::strtoull(field(4).c_str(), nullptr, 10);
  d.Attributes = line[0] == 'd' ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  int month = MonthIndex(field(5)), day = std::atoi(field(6).c_str());
  std::string yt = field(7);
  if (month > 0) {
    time_t now = std::time(nullptr);
    struct tm utc {};
    gmtime_r(&now, &utc);
    int year = utc.tm_year + 1900, hour = 0, minute = 0;
    if (std::size_t colon = yt.find(':'); colon != std::string::npos) {
      hour = std::atoi(yt.c_str());
      minute = std::atoi(yt.c_str() + colon + 1);
    } else {
      year = std::atoi(yt.c_str());
    }
    d.LastWriteTime = FileTimeOfUtc(year, month, day, hour, minute, 0);
    // A listing shows the time of day only for recent months: a date more
    // than a day ahead of now belongs to last year.
    if (yt.find(':') != std::string::npos && d.LastWriteTime > UnixToFileTime(now + 86400))
      d.LastWriteTime = FileTimeOfUtc(year - 1, month, day, hour, minute, 0);
  }
  return true;
}

bool FetchListing(TConnection* c, const std::string& dirUrl, const char* command, std::string& out) {
  auto t = NewTransfer(c->Root, dirUrl, "ftp", 0);
  if (!t) return false;
  t->Unbounded = true;
  curl_easy_setopt(t->Easy, CURLOPT_CUSTOMREQUEST, command);
  curl_easy_setopt(t->Easy, CURLOPT_TRANSFERTEXT, 1L);
  if (!c->User.empty()) curl_easy_setopt(t->Easy, CURLOPT_USERNAME, c->User.c_str());
  if (!c->Password.empty()) curl_easy_setopt(t->Easy, CURLOPT_PASSWORD, c->Password.c_str());
  TTransfer* raw = t.get();
  if (!Start(raw)) return false;
  Drive(raw, [] { return false; });
  if (!raw->Done || raw->Result != CURLE_OK) return false;
  out = raw->Buf.substr(raw->Head);
  return true;
}

}  // namespace

// --- public operations -----------------------------------------------------------

HINTERNET InternetOpen(const String& Agent, std::uint32_t AccessType, const String& ProxyName) {
  InitCurl();
  // A new session: an earlier session's failure is no longer news.
  gLastError.clear();
  auto root = std::make_unique<TRoot>();
  if (!root->Multi) return nullptr;
  root->Agent = StringToUtf8(Agent);
  root->AccessType = AccessType;
  if (AccessType == INTERNET_OPEN_TYPE_PROXY) {
    std::string list = StringToUtf8(ProxyName);
    std::size_t pos = 0;
    while (pos <= list.size()) {
      std::size_t end = list.find(';', pos);
      if (end == std::string::npos) end = list.size();
      std::string part = TrimAscii(std::string_view(list).substr(pos, end - pos));
      pos = end + 1;
      if (part.empty()) continue;
      std::size_t eq = part.find('=');
      if (eq != std::string::npos && part.find("://") == std::string::npos)
        root->Proxies[Lower(part.substr(0, eq))] = part.substr(eq + 1);
      else
        root->Proxies[""] = part;
    }
    // An https entry missing: the http proxy tunnels it, as browsers do.
    if (!root->Proxies.count("https") && root->Proxies.count("http") && !root->Proxies.count(""))
      root->Proxies["https"] = root->Proxies["http"];
    root->NoProxy = EnvFirst("no_proxy", "NO_PROXY");
  }
  TRoot* raw = root.release();
  MarkLive(raw, true);
  return raw;
}

HINTERNET InternetConnect(HINTERNET Root, const String& Host, std::uint16_t Port, const String& User,
                          const String& Password, std::uint32_t Service) {
  if (!Live(Root) || Root->Kind != hkRoot || Host.empty()) return nullptr;
  auto* root = static_cast<TRoot*>(Root);
  auto c = std::make_unique<TConnection>(root);
  c->Host = StringToUtf8(Host);
  c->Port = Port;
  c->User = StringToUtf8(User);
  c->Password = StringToUtf8(Password);
  c->Service = Service;
  if (Service == INTERNET_SERVICE_FTP) {
    if (c->Port == 0) c->Port = 21;
    std::string entry;
    if (!FtpProbe(c.get(), c->BaseUrl("ftp") + "/", &entry)) return nullptr;
    c->CurrentDir = entry.empty() ? std::string("/") : entry;
  } else if (c->Port == 0) {
    c->Port = 80;
  }
  return AddChild(Root, std::move(c));
}

HINTERNET HttpOpenRequest(HINTERNET Connection, const String& Verb, const String& ObjectName, const String& Version,
                          std::uint32_t Flags) {
  if (!Live(Connection) || Connection->Kind != hkConnection) return nullptr;
  auto* c = static_cast<TConnection*>(Connection);
  if (c->Service != INTERNET_SERVICE_HTTP) return nullptr;
  auto r = std::make_unique<TBodyHandle>(hkRequest, c, c->Root);
  r->Conn = c;
  r->Scheme = (Flags & INTERNET_FLAG_SECURE) ? "https" : "http";
  std::string path = StringToUtf8(ObjectName);
  if (path.empty() || path.front() != '/') path.insert(0, "/");
  r->Url = c->BaseUrl(r->Scheme) + EncodePath(path, false);
  r->Verb = Verb.empty() ? std::string("GET") : StringToUtf8(UpperCase(Verb));
  r->Version = StringToUtf8(Version);
  return AddChild(Connection, std::move(r));
}

bool HttpAddRequestHeaders(HINTERNET Request, const String& Header) {
  TBodyHandle* b = AsBody(Request);
  if (!b || b->Kind != hkRequest) return false;
  std::string line = TrimAscii(StringToUtf8(Header));
  // One line only: a line break inside would let a value add headers.
  if (line.empty() || line.find_first_of("\r\n") != std::string::npos || line.find(':') == std::string::npos)
    return false;
  b->AddedHeaders.push_back(line);
  return true;
}

bool HttpSendRequest(HINTERNET Request, const String& Body) {
  TBodyHandle* b = AsBody(Request);
  if (!b || b->Kind != hkRequest) return false;
  b->LastBody = StringToBytes(Body);
  return StartBody(b, 0);
}

bool HttpQueryStatusCode(HINTERNET Request, int& Code) {
  TTransfer* t = Answer(Request);
  if (!t) return false;
  Code = t->Status;
  return true;
}

bool HttpQueryStatusText(HINTERNET Request, String& Text) {
  TTransfer* t = Answer(Request);
  if (!t) return false;
  // "HTTP/1.1 404 Not Found" -> "Not Found"
  std::size_t sp = t->StatusLine.find(' ');
  sp = sp == std::string::npos ? sp : t->StatusLine.find(' ', sp + 1);
  Text = sp == std::string::npos ? String() : Utf8ToString(t->StatusLine.substr(sp + 1));
  return true;
}

bool HttpQueryHeader(HINTERNET Request, const String& Name, String& Value) {
  TTransfer* t = Answer(Request);
  if (!t) return false;
  const std::string* v = t->Header(Lower(StringToUtf8(Name)));
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
  time_t t = curl_getdate(StringToBytes(text).c_str(), nullptr);
  if (t == -1) return false;
  FileTime = UnixToFileTime(t);
  return true;
}

bool InternetSetOption(HINTERNET Handle, TInetOption Option, const String& Value) {
  if (!Live(Handle)) return false;
  const std::string v = StringToUtf8(Value);
  if (Handle->Kind == hkRoot) {
    auto* root = static_cast<TRoot*>(Handle);
    switch (Option) {
      case INTERNET_OPTION_TIMEOUT:
        root->TimeoutMs = std::max(0L, std::atol(v.c_str()));
        return true;
      case INTERNET_OPTION_CA_FILE:
        root->CAFile = v;
        return true;
      case INTERNET_OPTION_SECURITY_FLAGS:
        root->SecurityFlags = static_cast<std::uint32_t>(std::strtoul(v.c_str(), nullptr, 10));
        return true;
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
  if (!Live(Connection) || Connection->Kind != hkConnection) return nullptr;
  auto* c = static_cast<TConnection*>(Connection);
  if (c->Service != INTERNET_SERVICE_FTP) return nullptr;
  std::string pattern = StringToUtf8(Pattern);
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
  if (!mlsd && !FetchListing(c, url, "LIST", listing)) return nullptr;
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
    if (::fnmatch(mask.c_str(), StringToUtf8(d.FileName).c_str(), FNM_PERIOD) != 0) continue;
    find->Entries.push_back(std::move(d));
  }
  if (find->Entries.empty()) {
    gLastError = u"No more files";
    return nullptr;
  }
  Data = find->Entries[0];
  find->Next = 1;
  return AddChild(Connection, std::move(find));
}

bool InternetFindNextFile(HINTERNET Find, TInetFindData& Data) {
  if (!Live(Find) || Find->Kind != hkFind) return false;
  auto* f = static_cast<TFind*>(Find);
  if (f->Next >= f->Entries.size()) return false;
  Data = f->Entries[f->Next++];
  return true;
}

bool FtpGetCurrentDirectory(HINTERNET Connection, String& Directory) {
  if (!Live(Connection) || Connection->Kind != hkConnection) return false;
  auto* c = static_cast<TConnection*>(Connection);
  if (c->Service != INTERNET_SERVICE_FTP) return false;
  Directory = Utf8ToString(c->CurrentDir);
  return true;
}

bool FtpSetCurrentDirectory(HINTERNET Connection, const String& Directory) {
  if (!Live(Connection) || Connection->Kind != hkConnection) return false;
  auto* c = static_cast<TConnection*>(Connection);
  if (c->Service != INTERNET_SERVICE_FTP) return false;
  std::string dir = StringToUtf8(Directory);
  if (dir.empty()) return false;
  // Resolve against the current folder, folding "." and "..".
  std::string full = dir.front() == '/' ? dir : c->CurrentDir + "/" + dir;
  std::vector<std::string> parts;
  std::size_t pos = 0;
  while (pos <= full.size()) {
    std::size_t end = full.find('/', pos);
    if (end == std::string::npos) end = full.size();
    std::string p = full.substr(pos, end - pos);
    pos = end + 1;
    if (p.empty() || p == ".") continue;
    if (p == "..") {
      if (!parts.empty()) parts.pop_back();
    } else {
      parts.push_back(p);
    }
  }
  std::string resolved = "/";
  for (std::size_t i = 0; i < parts.size(); ++i) resolved += (i ? "/" : "") + parts[i];
  if (!FtpProbe(c, c->FtpUrl(resolved, true), nullptr)) return false;
  c->CurrentDir = resolved;
  return true;
}

HINTERNET FtpOpenFile(HINTERNET Connection, const String& FileName, std::uint32_t Access, std::uint32_t Flags) {
  (void)Access;
  (void)Flags;
  if (!Live(Connection) || Connection->Kind != hkConnection) return nullptr;
  auto* c = static_cast<TConnection*>(Connection);
  if (c->Service != INTERNET_SERVICE_FTP || FileName.empty()) return nullptr;
  auto f = std::make_unique<TBodyHandle>(hkFile, c, c->Root);
  f->Conn = c;
  f->Scheme = "ftp";
  f->Url = c->FtpUrl(StringToUtf8(FileName), false);
  if (!StartBody(f.get(), 0)) return nullptr;
  return AddChild(Connection, std::move(f));
}

HINTERNET InternetOpenUrl(HINTERNET Root, const String& URL, std::uint32_t Flags) {
  (void)Flags;
  if (!Live(Root) || Root->Kind != hkRoot) return nullptr;
  auto* root = static_cast<TRoot*>(Root);
  auto u = std::make_unique<TBodyHandle>(hkUrl, root, root);
  u->Url = EncodePath(StringToUtf8(URL), false);
  u->Scheme = SchemeOf(u->Url);
  if (u->Scheme != "http" && u->Scheme != "https" && u->Scheme != "ftp") return nullptr;
  if (!StartBody(u.get(), 0)) return nullptr;
  return AddChild(Root, std::move(u));
}

bool InternetReadFile(HINTERNET Handle, void* Buffer, std::uint32_t Size, std::uint32_t& BytesRead) {
  BytesRead = 0;
  TBodyHandle* b = AsBody(Handle);
  if (!b || !b->Current) return false;
  TTransfer* t = b->Current.get();
  auto* out = static_cast<char*>(Buffer);
  while (BytesRead < Size) {
    if (t->Available() > 0) {
      std::size_t n = std::min<std::size_t>(t->Available(), Size - BytesRead);
      std::memcpy(out + BytesRead, t->Buf.data() + t->Head, n);
      t->Head += n;
      BytesRead += static_cast<std::uint32_t>(n);
      t->SincePerform += n;
      if (t->Available() < kBufferCap / 4 && t->SincePerform >= kBufferCap / 8) {
        t->SincePerform = 0;
        Unpause(t);
        // Take what the socket already holds, without waiting.
        if (!t->Done && t->Added) {
          int running = 0;
          curl_multi_perform(t->Root->Multi, &running);
          CollectDone(t->Root);
        }
      }
      continue;
    }
    if (t->Done) break;
    t->SincePerform = 0;
    Unpause(t);
    if (!t->Added && !Start(t)) break;
    Drive(t, [t] { return t->Available() > 0; });
  }
  if (BytesRead == 0 && t->Done && t->Result != CURLE_OK) return false;
  return true;
}

std::int64_t InternetSetFilePointer(HINTERNET Handle, std::int64_t Position) {
  TBodyHandle* b = AsBody(Handle);
  if (!b || Position < 0) return -1;
  if (Position == 0 && b->Position == 0 && b->Current && !b->Current->Done && b->Current->Head == 0 &&
      b->Current->Buf.empty())
    return 0;
  if (StartBody(b, Position)) {
    TTransfer* t = b->Current.get();
    if (!t->Http) {
      if (!(t->Done && t->Result != CURLE_OK)) return Position;
    } else if (t->Status == 206) {
      // Only a range that starts where asked continues the file.
      const std::string* range = t->Header("content-range");
      if (range && range->find("bytes " + std::to_string(Position) + "-") == 0) return Position;
    } else if (t->Status >= 200 && t->Status < 300) {
      b->Position = 0;
      return 0;
    }
  }
  if (Position == 0) return -1;
  if (!StartBody(b, 0)) return -1;
  TTransfer* t = b->Current.get();
  if (t->Http && (t->Status < 200 || t->Status >= 300)) return -1;
  return 0;
}

bool InetParseListingLine(const std::string& Line, bool Mlsd, TInetFindData& Data) {
  return Mlsd ? ParseMlsdLine(Line, Data) : ParseListLine(Line, Data);
}

String InternetGetLastResponseInfo() {
  return gLastResponse;
}
String InternetGetLastErrorText() {
  return gLastError;
}

bool InternetCloseHandle(HINTERNET Handle) {
  if (!Live(Handle)) return false;
  Unregister(Handle);
  if (Handle->Kind == hkRoot) {
    delete static_cast<TRoot*>(Handle);
    return true;
  }
  auto& siblings = Handle->Parent->Children;
  auto it = std::find_if(siblings.begin(), siblings.end(), [&](const auto& p) { return p.get() == Handle; });
  if (it != siblings.end()) {
    std::unique_ptr<TInetHandle> owned = std::move(*it);
    siblings.erase(it);
    owned->CloseChildren();
  }
  return true;
}

}  // namespace kwinet
