// The only place that speaks to libcurl.
#include "kwinet/web/InetDriver.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

#include "kwinet/core/Jobs.h"

namespace kwinet {

namespace {

using Clock = std::chrono::steady_clock;

// Body bytes held per transfer before the server is paused; the reader
// refills below a quarter of it so the socket keeps flowing.
constexpr std::size_t kBufferCap = 512 * 1024;
// The most of a listing held in memory, whatever the body bound says.
constexpr std::int64_t kListingCap = 64 * 1024 * 1024;
thread_local String gLastResponse;
thread_local String gLastError;
thread_local bool gLastErrorIsConnect = false;
thread_local bool gLastErrorIsTimeout = false;
thread_local bool gLastErrorIsTooLarge = false;

// libcurl's global set-up runs once for the process, when the first session
// needs it, never at start-up: most commands of the tool transfer nothing.
// False, with the reason as the last error, if it failed.
bool InitCurl() {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  if (!ready) gLastError = u"libcurl could not be initialised (curl_global_init failed)";
  return ready;
}

}  // namespace

String& InetLastResponse() {
  return gLastResponse;
}
String& InetLastError() {
  return gLastError;
}
bool& InetLastErrorIsConnect() {
  return gLastErrorIsConnect;
}
bool& InetLastErrorIsTimeout() {
  return gLastErrorIsTimeout;
}
bool& InetLastErrorIsTooLarge() {
  return gLastErrorIsTooLarge;
}

bool ParseHttpDate(const std::string& Text, std::int64_t& Seconds) {
  const time_t t = curl_getdate(Text.c_str(), nullptr);
  if (t == -1) return false;
  Seconds = static_cast<std::int64_t>(t);
  return true;
}

// --- session -----------------------------------------------------------------------

struct TTransferSession::TImpl {
  CURLM* Multi = nullptr;
};

TTransferSession::TTransferSession() : F(std::make_unique<TImpl>()) {
  if (InitCurl()) F->Multi = curl_multi_init();
}

TTransferSession::~TTransferSession() {
  if (F->Multi) curl_multi_cleanup(F->Multi);
}

bool TTransferSession::Valid() const {
  return F->Multi != nullptr;
}

// --- transfer state and callbacks ----------------------------------------------------

struct TTransfer::TState {
  TTransferSession* Session = nullptr;
  CURL* Easy = nullptr;
  curl_slist* Headers = nullptr;
  std::string PostBody;
  std::string Range;
  char ErrorBuffer[CURL_ERROR_SIZE] = {};

  bool Added = false;
  bool Done = false;
  CURLcode Result = CURLE_OK;

  std::string Buf;
  std::size_t Head = 0;
  bool Paused = false;
  std::size_t SincePerform = 0;  // bytes read since the reader last polled the socket
  bool Unbounded = false;
  std::int64_t MaxBody = 0;  // 0: no bound
  std::int64_t Received = 0;
  bool TooLarge = false;

  bool Http = false;
  bool FollowRedirects = false;
  THttpAnswer Answer;
  bool FtpStarted = false;  // the server accepted the file or listing transfer

  Clock::time_point LastActivity = Clock::now();

  ~TState() {
    if (Easy) {
      if (Added) curl_multi_remove_handle(Multi(), Easy);
      curl_easy_cleanup(Easy);
    }
    if (Headers) curl_slist_free_all(Headers);
  }
  CURLM* Multi() const { return Session->Impl().Multi; }
  std::size_t Available() const { return Buf.size() - Head; }

  // Makes room for n more bytes: the consumed front goes only when the
  // buffer would otherwise grow, so bytes are rarely moved.
  void MakeRoom(std::size_t n) {
    if (Head == Buf.size()) {
      Buf.clear();
      Head = 0;
    } else if (Head > 0 && Buf.size() + n > Buf.capacity()) {
      Buf.erase(0, Head);
      Head = 0;
    }
  }
};

namespace {

using TState = TTransfer::TState;

// libcurl must never see an exception: each callback turns a failure into
// libcurl's error return, which ends the transfer with an error.
size_t WriteCallback(char* data, size_t size, size_t count, void* user) noexcept {
  try {
    auto* t = static_cast<TState*>(user);
    const std::size_t n = size * count;
    t->LastActivity = Clock::now();
    // A listing is read whole into memory: it keeps a bound of its own even
    // where a body may be as large as it comes.
    const std::int64_t bound = t->Unbounded && (t->MaxBody == 0 || t->MaxBody > kListingCap) ? kListingCap : t->MaxBody;
    if (bound > 0 && static_cast<std::int64_t>(n) > bound - t->Received) {
      t->TooLarge = true;
      return CURL_WRITEFUNC_ERROR;
    }
    if (!t->Unbounded && t->Available() >= kBufferCap) {
      t->Paused = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    if (t->Buf.capacity() < kBufferCap) t->Buf.reserve(2 * kBufferCap);
    t->MakeRoom(n);
    t->Buf.append(data, n);
    t->Received += static_cast<std::int64_t>(n);
    return n;
  } catch (...) {
    return CURL_WRITEFUNC_ERROR;
  }
}

bool IsFtpStartReply(std::string_view line) {
  if (line.size() < 4) return false;
  const std::string_view code = line.substr(0, 3);
  return (code == "150" || code == "125") && (line[3] == ' ' || line[3] == '-');
}

size_t HeaderCallback(char* data, size_t size, size_t count, void* user) noexcept {
  try {
    auto* t = static_cast<TState*>(user);
    const std::size_t n = size * count;
    t->LastActivity = Clock::now();
    std::string_view line(data, n);
    if (!t->Http) {
      // FTP server replies.
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
      if (!line.empty()) gLastResponse = Utf8ToString(std::string(line));
      if (IsFtpStartReply(line)) t->FtpStarted = true;
      return n;
    }
    if (TakeHeaderLine(t->Answer, line, t->FollowRedirects)) gLastResponse = Utf8ToString(t->Answer.StatusLine);
    return n;
  } catch (...) {
    return 0;  // any count other than n ends the transfer
  }
}

void CollectDone(CURLM* multi) {
  int left = 0;
  while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
    if (msg->msg != CURLMSG_DONE) continue;
    TState* t = nullptr;
    curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, reinterpret_cast<char**>(&t));
    if (!t) continue;
    t->Done = true;
    t->Result = msg->data.result;
    if (t->Result != CURLE_OK) {
      gLastError = Utf8ToString(t->ErrorBuffer[0] ? std::string(t->ErrorBuffer) : curl_easy_strerror(t->Result));
      gLastErrorIsTimeout = t->Result == CURLE_OPERATION_TIMEDOUT;
      gLastErrorIsTooLarge = t->TooLarge;
      if (t->TooLarge)
        gLastError =
            Utf8ToString("The answer is larger than " + std::to_string(t->MaxBody) + " bytes (MaxResponseSize)");
      else if (t->Result == CURLE_PEER_FAILED_VERIFICATION)
        gLastError = u"The server's certificate was refused: " + gLastError;
      switch (t->Result) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_CONNECT:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
          gLastErrorIsConnect = true;
          break;
        default:
          gLastErrorIsConnect = false;
      }
    }
  }
}

void Fail(TState* t, CURLcode code, const char* text) {
  t->Done = true;
  t->Result = code;
  gLastError = Utf8ToString(text);
  gLastErrorIsConnect = false;
  gLastErrorIsTimeout = code == CURLE_OPERATION_TIMEDOUT;
  gLastErrorIsTooLarge = false;
  if (t->Added) {
    curl_multi_remove_handle(t->Multi(), t->Easy);
    t->Added = false;
  }
}

void Unpause(TState* t) {
  if (!t->Paused || t->Done) return;
  t->Paused = false;
  t->LastActivity = Clock::now();
  curl_easy_pause(t->Easy, CURLPAUSE_CONT);
}

bool StartState(TState* t) {
  if (curl_multi_add_handle(t->Multi(), t->Easy) != CURLM_OK) {
    t->Done = true;
    t->Result = CURLE_FAILED_INIT;
    return false;
  }
  t->Added = true;
  t->LastActivity = Clock::now();
  return true;
}

// Runs the transfers of t's session until ready() holds or t ends. A wait
// without any data for longer than the session's timeout ends t as failed.
template <typename Pred>
bool Drive(TState* t, Pred ready) {
  CURLM* multi = t->Multi();
  const long timeoutMs = t->Session->TimeoutMs;
  const auto entered = Clock::now();
  for (;;) {
    if (ready()) return true;
    if (t->Done) return ready();
    int running = 0;
    CURLMcode mc = curl_multi_perform(multi, &running);
    if (mc != CURLM_OK) {
      Fail(t, CURLE_RECV_ERROR, curl_multi_strerror(mc));
      return false;
    }
    CollectDone(multi);
    if (ready()) return true;
    if (t->Done) return ready();
    if (JobCancelled()) {
      Fail(t, CURLE_ABORTED_BY_CALLBACK, "Cancelled");
      return false;
    }
    auto since = std::max(entered, t->LastActivity);
    auto waited = Clock::now() - since;
    int slice = static_cast<int>(kJobCancelSlice.count());
    if (timeoutMs > 0) {
      auto limit = std::chrono::milliseconds(timeoutMs);
      if (waited >= limit) {
        Fail(t, CURLE_OPERATION_TIMEDOUT, "Timeout was reached");
        return false;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limit - waited).count();
      slice = static_cast<int>(std::min<long long>(slice, left + 1));
    }
    curl_multi_poll(multi, nullptr, 0, slice, nullptr);
  }
}

// Sets the options that every transfer shares.
void SetCommonOptions(TState* t, const TTransferSettings& s) {
  CURL* e = t->Easy;
  curl_easy_setopt(e, CURLOPT_URL, s.Url.c_str());
  curl_easy_setopt(e, CURLOPT_PRIVATE, t);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t->ErrorBuffer);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, WriteCallback);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, t);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, HeaderCallback);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, t);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https,ftp,ftps");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, 256L * 1024);
  if (!s.Agent.empty()) curl_easy_setopt(e, CURLOPT_USERAGENT, s.Agent.c_str());
  if (s.TimeoutMs > 0) curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, s.TimeoutMs);
  if (s.MaxTimeMs > 0) curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, s.MaxTimeMs);
  if (s.LowSpeedLimit > 0 && s.LowSpeedTimeMs > 0) {
    // libcurl counts whole seconds; a paused transfer is not measured.
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, s.LowSpeedLimit);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, std::max(1L, (s.LowSpeedTimeMs + 999) / 1000));
  }
  curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  // Both always set, so that libcurl never reads the environment itself:
  // the proxy policy has decided already.
  curl_easy_setopt(e, CURLOPT_PROXY, s.Proxy.c_str());
  curl_easy_setopt(e, CURLOPT_NOPROXY, s.Proxy.empty() ? "" : s.NoProxy.c_str());
  if (s.ProxyCredentials) {
    curl_easy_setopt(e, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, s.ProxyUser.c_str());
    curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, s.ProxyPassword.c_str());
  }
  if (!s.CAFile.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, s.CAFile.c_str());
  if (!s.VerifyPeer) curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 0L);
  if (!s.VerifyHost) curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 0L);
}

void SetHttpOptions(TState* t, const TTransferSettings& s) {
  CURL* e = t->Easy;
  t->FollowRedirects = !s.NoRedirect;
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, s.NoRedirect ? 0L : 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION,
                   static_cast<long>(s.Http10 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1));
  for (const auto& h : s.Headers) {
    curl_slist* added = curl_slist_append(t->Headers, h.c_str());
    if (!added) throw std::bad_alloc();
    t->Headers = added;
  }
  if (t->Headers) curl_easy_setopt(e, CURLOPT_HTTPHEADER, t->Headers);
  if (s.Verb == "POST") {
    t->PostBody = s.Body;
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t->PostBody.size()));
    curl_easy_setopt(e, CURLOPT_POSTFIELDS, t->PostBody.data());
  } else if (s.Verb == "HEAD") {
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
  } else if (s.Verb != "GET") {
    curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, s.Verb.c_str());
  }
  // Credentials go only when set on the request, and then at once (basic),
  // as an answer to the server's demand.
  if (s.Credentials) {
    curl_easy_setopt(e, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(e, CURLOPT_USERNAME, s.User.c_str());
    curl_easy_setopt(e, CURLOPT_PASSWORD, s.Password.c_str());
  }
  if (s.From > 0) {
    t->Range = std::to_string(s.From) + "-";
    curl_easy_setopt(e, CURLOPT_RANGE, t->Range.c_str());
  }
}

void SetFtpOptions(TState* t, const TTransferSettings& s) {
  CURL* e = t->Easy;
  if (!s.Command.empty()) curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, s.Command.c_str());
  if (s.NoBody) curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
  if (s.FileTime) curl_easy_setopt(e, CURLOPT_FILETIME, 1L);
  curl_easy_setopt(e, CURLOPT_TRANSFERTEXT, s.Text ? 1L : 0L);
  if (!s.User.empty()) curl_easy_setopt(e, CURLOPT_USERNAME, s.User.c_str());
  if (!s.Password.empty()) curl_easy_setopt(e, CURLOPT_PASSWORD, s.Password.c_str());
  if (s.From > 0) curl_easy_setopt(e, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(s.From));
  if (s.FtpTls) {
    // A server that refuses AUTH TLS ends the transfer before USER is sent.
    curl_easy_setopt(e, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    curl_easy_setopt(e, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
    // A proxy that spoke FTP for us would carry the logon in clear: through
    // a proxy only as a tunnel.
    if (!s.Proxy.empty()) curl_easy_setopt(e, CURLOPT_HTTPPROXYTUNNEL, 1L);
  }
}

}  // namespace

// --- transfer ------------------------------------------------------------------------

TTransfer::TTransfer(TTransferSession& Session, const TTransferSettings& Settings) : F(std::make_unique<TState>()) {
  F->Session = &Session;
  if (!Session.Valid()) return;
  F->Easy = curl_easy_init();
  if (!F->Easy) return;
  F->Http = Settings.Http;
  F->Unbounded = Settings.Unbounded;
  F->MaxBody = std::max<std::int64_t>(0, Settings.MaxBodyBytes);
  SetCommonOptions(F.get(), Settings);
  if (F->Http)
    SetHttpOptions(F.get(), Settings);
  else
    SetFtpOptions(F.get(), Settings);
}

TTransfer::~TTransfer() = default;

bool TTransfer::Valid() const {
  return F->Easy != nullptr;
}
bool TTransfer::Http() const {
  return F->Http;
}
bool TTransfer::Done() const {
  return F->Done;
}
bool TTransfer::Failed() const {
  return F->Done && F->Result != CURLE_OK;
}
bool TTransfer::Untouched() const {
  return !F->Done && F->Head == 0 && F->Buf.empty();
}

bool TTransfer::Start() {
  return Valid() && StartState(F.get());
}

bool TTransfer::WaitForAnswer() {
  TState* t = F.get();
  if (t->Http) return Drive(t, [t] { return t->Answer.Final; }) && t->Answer.Final;
  Drive(t, [t] { return t->FtpStarted || t->Available() > 0; });
  return t->FtpStarted || t->Available() > 0 || (t->Done && t->Result == CURLE_OK);
}

bool TTransfer::RunToEnd() {
  TState* t = F.get();
  Drive(t, [] { return false; });
  return t->Done && t->Result == CURLE_OK;
}

bool TTransfer::Read(void* Buffer, std::uint32_t Size, std::uint32_t& BytesRead) {
  BytesRead = 0;
  TState* t = F.get();
  if (!t->Easy) return false;
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
          curl_multi_perform(t->Multi(), &running);
          CollectDone(t->Multi());
        }
      }
      continue;
    }
    if (t->Done) break;
    t->SincePerform = 0;
    Unpause(t);
    if (!t->Added && !StartState(t)) break;
    Drive(t, [t] { return t->Available() > 0; });
  }
  return !(BytesRead == 0 && t->Done && t->Result != CURLE_OK);
}

std::string TTransfer::TakeBody() {
  std::string out = F->Buf.substr(F->Head);
  F->Buf.clear();
  F->Head = 0;
  return out;
}

const THttpAnswer& TTransfer::Answer() {
  TState* t = F.get();
  if (t->Http && t->Answer.Status == 0 && t->Done && t->Easy) {
    // A proxy that refused a tunnel answers only through libcurl.
    long connectCode = 0;
    curl_easy_getinfo(t->Easy, CURLINFO_HTTP_CONNECTCODE, &connectCode);
    if (connectCode >= 400) t->Answer.Status = static_cast<int>(connectCode);
  }
  return t->Answer;
}

bool TTransfer::FileTime(std::int64_t& Seconds) const {
  curl_off_t time = -1;
  if (!F->Easy || curl_easy_getinfo(F->Easy, CURLINFO_FILETIME_T, &time) != CURLE_OK || time < 0) return false;
  Seconds = static_cast<std::int64_t>(time);
  return true;
}

std::string TTransfer::FtpEntryPath() const {
  char* path = nullptr;
  if (F->Easy && curl_easy_getinfo(F->Easy, CURLINFO_FTP_ENTRY_PATH, &path) == CURLE_OK && path) return path;
  return std::string();
}

}  // namespace kwinet
