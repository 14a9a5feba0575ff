#include "kwinet/socket/ClientSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>

#include "kwinet/core/Jobs.h"
#include "kwinet/socket/NameLookup.h"

namespace kwinet {

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds left until deadline for poll: -1 without a bound, never
// below 0.
int MsLeft(bool bounded, Clock::time_point deadline) {
  if (!bounded) return -1;
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

// poll that resumes after a signal with the time that is left. In a job it
// waits in slices and raises EJobCancelled once the job is cancelled.
int PollFor(pollfd* fds, nfds_t n, int timeoutMs) {
  const bool bounded = timeoutMs >= 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(bounded ? timeoutMs : 0);
  const bool job = InJob();
  for (;;) {
    CheckJobCancelled();
    int wait = bounded ? MsLeft(true, deadline) : -1;
    const bool sliced = job && (wait < 0 || wait > kJobCancelSlice.count());
    if (sliced) wait = static_cast<int>(kJobCancelSlice.count());
    int r = ::poll(fds, n, wait);
    if (r == 0 && sliced) continue;
    if (r >= 0 || errno != EINTR) return r;
  }
}

String AddressText(const sockaddr* sa) {
  char buf[INET6_ADDRSTRLEN] = {};
  if (sa->sa_family == AF_INET)
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(sa)->sin_addr, buf, sizeof buf);
  else if (sa->sa_family == AF_INET6)
    ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(sa)->sin6_addr, buf, sizeof buf);
  return Str(buf);
}

struct AddrInfoDeleter {
  void operator()(addrinfo* p) const { ::freeaddrinfo(p); }
};
using AddrInfoPtr = std::unique_ptr<addrinfo, AddrInfoDeleter>;

// The addresses to try for Host (any family) or Address (dotted IPv4 only).
// Returns 0 or an errno-style code with message set.
int Resolve(const String& host, const String& address, int port, int sockType, AddrInfoPtr& out, String& message) {
  addrinfo hints{};
  hints.ai_socktype = sockType;
  const std::string service = std::to_string(port);
  std::string node;
  if (!host.empty()) {
    hints.ai_family = AF_UNSPEC;
    hints.ai_flags = AI_ADDRCONFIG;
    node = StringToUtf8(host);
  } else {
    hints.ai_family = AF_INET;
    hints.ai_flags = AI_NUMERICHOST;
    node = StringToUtf8(address);
  }
  if (port < 0 || port > 65535) {
    message = Format(u"Invalid port %d", {port});
    return EINVAL;
  }
  message = HostNameError(!host.empty() ? host : address);
  if (!message.empty()) return EINVAL;
  addrinfo* res = nullptr;
  int rc = LookUpName(node.c_str(), service.c_str(), &hints, &res);
  if (rc == EAI_ADDRFAMILY || (rc == EAI_NONAME && !host.empty() && (hints.ai_flags & AI_ADDRCONFIG))) {
    // Without a configured address of the family (loopback only), try again
    // without AI_ADDRCONFIG so that localhost and ::1 still resolve.
    hints.ai_flags &= ~AI_ADDRCONFIG;
    rc = LookUpName(node.c_str(), service.c_str(), &hints, &res);
  }
  if (rc != 0) {
    int code = rc == EAI_SYSTEM ? errno : EHOSTUNREACH;
    if (code == 0) code = EHOSTUNREACH;
    message = host.empty() ? Format(u"Invalid address \"%s\"", {address})
                           : Format(u"Cannot resolve host \"%s\": %s", {host, Str(::gai_strerror(rc))});
    return code;
  }
  out.reset(res);
  return 0;
}

}  // namespace

String TimeoutMessage(const String& what, const String& target, int timeoutMs) {
  return Format(u"%s %s timed out after %d ms", {what, target, timeoutMs});
}

String HostNameError(const String& Name) {
  const auto control = [](Char c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); };
  if (std::none_of(Name.begin(), Name.end(), control)) return String();
  String shown;
  for (Char c : Name) {
    if (!control(c)) {
      shown.push_back(c);
      continue;
    }
    static const char hex[] = "0123456789abcdef";
    shown += u"\\x";
    shown.push_back(static_cast<Char>(hex[c >> 4]));
    shown.push_back(static_cast<Char>(hex[c & 15]));
  }
  return Format(u"The server name \"%s\" holds a control character", {shown});
}

// --- TSocketTransport -------------------------------------------------------------

ssize_t TSocketTransport::Write(int Fd, const void* Buf, std::size_t Count) {
  // MSG_NOSIGNAL: a peer that has gone is a failed send, not a SIGPIPE.
  return ::send(Fd, Buf, Count, MSG_NOSIGNAL | MSG_DONTWAIT);
}

ssize_t TSocketTransport::Read(int Fd, void* Buf, std::size_t Count) {
  return ::recv(Fd, Buf, Count, MSG_DONTWAIT);
}

// --- TCustomWinSocket -------------------------------------------------------------

TCustomWinSocket::TCustomWinSocket(TClientSocket* Owner)
    : FOwner(Owner), FTransport(std::make_unique<TSocketTransport>()) {}

TCustomWinSocket::~TCustomWinSocket() {
  CloseHandle();
}

void TCustomWinSocket::SetTransport(std::unique_ptr<TSocketTransport> transport) {
  FTransport = transport ? std::move(transport) : std::make_unique<TSocketTransport>();
}

void TCustomWinSocket::CloseHandle() {
  if (FHandle < 0) return;
  FTransport->Shutdown(FHandle);
  ::close(FHandle);
  FHandle = -1;
  // A transport belongs to one connection (TLS state): the next starts plain.
  FTransport = std::make_unique<TSocketTransport>();
}

void TCustomWinSocket::StartExchange() {
  FBounded = FOwner->Timeout() > 0;
  FDeadline = Clock::now() + std::chrono::milliseconds(FBounded ? FOwner->Timeout() : 0);
}

bool TCustomWinSocket::WaitFor(short events) const {
  pollfd p{FHandle, events, 0};
  int r = PollFor(&p, 1, MsLeft(FBounded, FDeadline));
  // An error or hang-up is "ready": the following call reports it.
  return r != 0;
}

void TCustomWinSocket::RaiseError(const String& message) {
  throw ESocketError(message);
}

int TCustomWinSocket::SendBuf(const void* Buf, int Count) {
  if (Count <= 0) return 0;
  if (FHandle < 0) {
    FOwner->Error(eeSend, ENOTCONN);
    return -1;
  }
  // A send starts an exchange: the request and its whole reply share one
  // deadline.
  StartExchange();
  const char* p = static_cast<const char*>(Buf);
  int done = 0;
  while (done < Count) {
    if (!WaitFor(POLLOUT)) {
      FOwner->Error(eeSend, ETIMEDOUT);
      return -1;
    }
    if (FOwner->OnWrite) FOwner->OnWrite(FOwner, this);
    ssize_t n = FTransport->Write(FHandle, p + done, static_cast<std::size_t>(Count - done));
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (n <= 0) {
      FOwner->Error(eeSend, n < 0 ? errno : EPIPE);
      return -1;
    }
    done += static_cast<int>(n);
  }
  FReceived = 0;  // a new reply begins
  return done;
}

int TCustomWinSocket::ReceiveBuf(void* Buf, int Count) {
  if (Count <= 0) return 0;
  if (FHandle < 0) {
    if (FOwner->Error(eeReceive, ENOTCONN) != 0) RaiseError(Format(u"Read from %s: not connected", {FOwner->Target()}));
    return -1;
  }
  std::size_t want = static_cast<std::size_t>(Count);
  const std::int64_t limit = FOwner->MaxReplySize();
  if (limit > 0) {
    // Ask for one byte past the limit at most, to see whether it is passed.
    const std::int64_t room = limit - FReceived + 1;
    if (room < static_cast<std::int64_t>(want)) want = static_cast<std::size_t>(room < 1 ? 1 : room);
  }
  for (;;) {
    if (!FTransport->Pending() && !WaitFor(POLLIN)) {
      if (FOwner->Error(eeReceive, ETIMEDOUT) != 0)
        RaiseError(TimeoutMessage(u"Read from", FOwner->Target(), FOwner->Timeout()));
      return -1;
    }
    if (FOwner->OnRead) FOwner->OnRead(FOwner, this);
    ssize_t n = FTransport->Read(FHandle, Buf, want);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (n < 0) {
      const int e = errno;
      if (FOwner->Error(eeReceive, e) != 0)
        RaiseError(Format(u"Read from %s failed: %s", {FOwner->Target(), SysErrorMessage(e)}));
      return -1;
    }
    FReceived += n;
    if (limit > 0 && FReceived > limit) {
      if (FOwner->Error(eeReceive, EMSGSIZE) != 0)
        RaiseError(Format(u"Reply from %s is larger than %d bytes", {FOwner->Target(), limit}));
      return -1;
    }
    return static_cast<int>(n);
  }
}

bool TCustomWinSocket::PeerAlive() const {
  if (FHandle < 0) return false;
  pollfd p{FHandle, static_cast<short>(POLLIN | POLLRDHUP), 0};
  if (PollFor(&p, 1, 0) <= 0) return true;  // nothing to see: still open
  if (p.revents & (POLLHUP | POLLERR | POLLRDHUP | POLLNVAL)) return false;
  if (FTransport->Pending()) return true;
  char c;
  ssize_t n = ::recv(FHandle, &c, 1, MSG_PEEK | MSG_DONTWAIT);
  if (n > 0) return true;
  return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
}

String TCustomWinSocket::LocalHost() const {
  char buf[256] = {};
  if (::gethostname(buf, sizeof buf - 1) != 0) return String();
  return Utf8ToString(buf);
}

// --- TClientSocket ----------------------------------------------------------------

TClientSocket::TClientSocket(TComponent* AOwner)
    : TComponent(AOwner), FSocket(std::make_unique<TCustomWinSocket>(this)) {}

TClientSocket::~TClientSocket() {
  // Closing quietly: the owner that listens may be half destroyed.
  FSocket->CloseHandle();
}

int TClientSocket::Error(TErrorEvent kind, int code) {
  if (OnError) OnError(this, FSocket.get(), kind, code);
  return code;
}

String TClientSocket::Target() const {
  String host = !FHost.empty() ? FHost : FAddress;
  if (host.find(u':') != String::npos) host = u"[" + host + u"]";
  return host + u":" + IntToStr(FPort);
}

void TClientSocket::Open() {
  if (FSocket->Connected()) Close();

  AddrInfoPtr addrs;
  String message;
  if (!FHost.empty() && OnLookup) OnLookup(this, FSocket.get());
  if (FHost.empty() && FAddress.empty()) {
    if (Error(eeLookup, EDESTADDRREQ) != 0) throw ESocketError(u"No host or address to connect to");
    return;
  }
  if (int code = Resolve(FHost, FAddress, FPort, SOCK_STREAM, addrs, message); code != 0) {
    if (Error(eeLookup, code) != 0) throw ESocketError(message);
    return;
  }

  if (OnConnecting) OnConnecting(this, FSocket.get());
  const bool bounded = FTimeout > 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(FTimeout);
  int lastError = ECONNREFUSED;
  bool timedOut = false;
  for (addrinfo* ai = addrs.get(); ai; ai = ai->ai_next) {
    int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
    if (fd < 0) {
      lastError = errno;
      continue;
    }
    int r = ::connect(fd, ai->ai_addr, ai->ai_addrlen);
    if (r != 0 && errno == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      int w = PollFor(&p, 1, MsLeft(bounded, deadline));
      if (w == 0) {
        ::close(fd);
        timedOut = true;
        break;
      }
      int err = 0;
      socklen_t len = sizeof err;
      ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
      r = err == 0 ? 0 : -1;
      errno = err;
    }
    if (r != 0) {
      lastError = errno;
      ::close(fd);
      continue;
    }
    // Descriptors stay non-blocking: every wait is made with poll.
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    FSocket->FHandle = fd;
    FSocket->FReceived = 0;
    FSocket->FRemoteAddress = AddressText(ai->ai_addr);
    FSocket->FRemotePort = FPort;
    FSocket->StartExchange();  // a server that talks first has Timeout to say it all
    if (OnConnect) OnConnect(this, FSocket.get());
    return;
  }
  if (timedOut) {
    if (Error(eeConnect, ETIMEDOUT) != 0) throw ESocketError(TimeoutMessage(u"Connect to", Target(), FTimeout));
    return;
  }
  if (Error(eeConnect, lastError) != 0)
    throw ESocketError(Format(u"Cannot connect to %s: %s", {Target(), SysErrorMessage(lastError)}));
}

void TClientSocket::Close() {
  if (!FSocket->Connected()) return;
  FSocket->CloseHandle();
  if (OnDisconnect) OnDisconnect(this, FSocket.get());
}

// --- datagrams ----------------------------------------------------------------------

std::string DatagramExchange(const String& Host, const String& Address, int Port, const std::string& Request,
                             int TimeoutMs, const std::function<bool(const std::string& Answer)>& Accept) {
  AddrInfoPtr addrs;
  String message;
  if (Resolve(Host, Address, Port, SOCK_DGRAM, addrs, message) != 0) throw ESocketError(message);
  String target = !Host.empty() ? Host : Address;
  if (target.find(u':') != String::npos) target = u"[" + target + u"]";
  target += u":" + IntToStr(Port);

  // A connected datagram socket: the kernel drops datagrams from other
  // senders, and an unreachable port is reported as a refused connection,
  // upon which the next address of the name is tried (localhost may give
  // ::1 first to a server that listens on 127.0.0.1 only).
  int lastError = EHOSTUNREACH;
  for (addrinfo* ai = addrs.get(); ai; ai = ai->ai_next) {
    int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
    if (fd < 0) {
      lastError = errno;
      continue;
    }
    struct Closer {
      int fd;
      ~Closer() { ::close(fd); }
    } closer{fd};
    if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
      lastError = errno;
      continue;
    }
    const bool more = ai->ai_next != nullptr;
    const int tries = TimeoutMs > 0 ? 2 : 1;
    std::string answer(65536, '\0');
    bool refused = false;
    for (int attempt = 0; attempt < tries && !refused; ++attempt) {
      if (::send(fd, Request.data(), Request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(Request.size())) {
        lastError = errno;
        if (lastError == ECONNREFUSED && more) {
          refused = true;
          break;
        }
        throw ESocketError(Format(u"Send to %s failed: %s", {target, SysErrorMessage(lastError)}));
      }
      const int slice = TimeoutMs > 0 ? (attempt == 0 ? TimeoutMs / 2 : TimeoutMs - TimeoutMs / 2) : -1;
      const auto deadline = Clock::now() + std::chrono::milliseconds(slice > 0 ? slice : 0);
      for (;;) {
        pollfd p{fd, POLLIN, 0};
        int r = PollFor(&p, 1, slice < 0 ? -1 : MsLeft(true, deadline));
        if (r == 0) break;  // this try ran out
        ssize_t n = ::recv(fd, answer.data(), answer.size(), MSG_DONTWAIT);
        if (n < 0) {
          if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
          lastError = errno;
          if (lastError == ECONNREFUSED && more) {
            refused = true;
            break;
          }
          throw ESocketError(Format(u"Read from %s failed: %s", {target, SysErrorMessage(lastError)}));
        }
        std::string got(answer.data(), static_cast<std::size_t>(n));
        if (Accept(got)) return got;
      }
    }
    if (!refused) throw ESocketError(TimeoutMessage(u"Read from", target, TimeoutMs));
  }
  throw ESocketError(Format(u"Cannot reach %s: %s", {target, SysErrorMessage(lastError)}));
}

}  // namespace kwinet
