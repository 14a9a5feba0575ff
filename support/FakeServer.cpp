#include "support/FakeServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <stdexcept>

namespace kwinet::support {

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

// --- FakeConnection -----------------------------------------------------------------

FakeConnection::FakeConnection(FakeServer& server, int fd, std::size_t index)
    : FServer(server), FFd(fd), FIndex(index) {}

bool FakeConnection::Stopping() const {
  return FServer.FStopping.load();
}

bool FakeConnection::WaitReadable(int timeoutMs) {
  if (FFd < 0) return false;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (Stopping()) return false;
    pollfd p[2] = {{FFd, POLLIN, 0}, {FServer.FWakeFd, POLLIN, 0}};
    int r = ::poll(p, 2, MsLeft(deadline));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    if (p[1].revents) return false;
    return true;
  }
}

long FakeConnection::ReadOnce() {
  char buf[65536];
  for (;;) {
    ssize_t n = ::recv(FFd, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n > 0) {
      FData.append(buf, static_cast<std::size_t>(n));
      FServer.Record(FIndex, std::string_view(buf, static_cast<std::size_t>(n)));
    }
    if (n <= 0) FClientClosed = true;
    return static_cast<long>(n);
  }
}

bool FakeConnection::ReadUntil(std::string_view Delimiter, int TimeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (FData.find(Delimiter) == std::string::npos) {
    if (FClientClosed || !WaitReadable(MsLeft(deadline)) || ReadOnce() <= 0) return false;
  }
  return true;
}

bool FakeConnection::ReadCount(std::size_t Count, int TimeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (FData.size() < Count) {
    if (FClientClosed || !WaitReadable(MsLeft(deadline)) || ReadOnce() <= 0) return false;
  }
  return true;
}

bool FakeConnection::ReadHttpRequest(int TimeoutMs) {
  if (!ReadUntil("\r\n\r\n", TimeoutMs)) return false;
  const std::size_t headEnd = FData.find("\r\n\r\n") + 4;
  std::string head = FData.substr(0, headEnd);
  for (char& ch : head) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  const std::size_t p = head.find("\ncontent-length:");
  std::size_t length = 0;
  if (p != std::string::npos) {
    for (std::size_t i = p + 16; i < head.size() && head[i] != '\r'; ++i) {
      if (head[i] == ' ') continue;
      if (head[i] < '0' || head[i] > '9' || length > (std::size_t(1) << 32)) return false;
      length = length * 10 + static_cast<std::size_t>(head[i] - '0');
    }
  }
  return ReadCount(headEnd + length, TimeoutMs);
}

bool FakeConnection::ReadToEnd(int TimeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (!FClientClosed) {
    if (!WaitReadable(MsLeft(deadline))) return false;
    ReadOnce();
  }
  return true;
}

void FakeConnection::Consume(std::size_t Count) {
  FData.erase(0, Count);
}

bool FakeConnection::Send(std::string_view Bytes) {
  if (FFd < 0) return false;
  std::size_t done = 0;
  while (done < Bytes.size()) {
    if (Stopping()) return false;
    pollfd p[2] = {{FFd, POLLOUT, 0}, {FServer.FWakeFd, POLLIN, 0}};
    int r = ::poll(p, 2, 1000);
    if (r < 0 && errno == EINTR) continue;
    if (r == 0) continue;  // the client is slow to read; Stopping() bounds the wait
    if (p[1].revents) return false;
    ssize_t n = ::send(FFd, Bytes.data() + done, Bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void FakeConnection::ShutdownWrite() {
  if (FFd >= 0) ::shutdown(FFd, SHUT_WR);
}

void FakeConnection::Reset() {
  if (FFd < 0) return;
  linger l{1, 0};
  ::setsockopt(FFd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  ::close(FFd);  // with a zero linger time, close sends RST
  FFd = -1;
  FClientClosed = true;
}

bool FakeConnection::WaitForClientClose(int TimeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (!FClientClosed) {
    if (!WaitReadable(MsLeft(deadline))) return false;
    ReadOnce();
  }
  return true;
}

bool FakeConnection::Sleep(int Ms) {
  pollfd p{FServer.FWakeFd, POLLIN, 0};
  const auto deadline = Clock::now() + std::chrono::milliseconds(Ms);
  for (;;) {
    int r = ::poll(&p, 1, MsLeft(deadline));
    if (r < 0 && errno == EINTR) continue;
    return r == 0;
  }
}

// --- FakeServer -------------------------------------------------------------------

FakeServer::FakeServer(ConnectionHandler Handler, const std::string& BindAddress, int Port)
    : FConnectionHandler(std::move(Handler)) {
  Listen(BindAddress, Port, SOCK_STREAM);
  FThread = std::thread([this] { AcceptLoop(); });
}

FakeServer::FakeServer(DatagramHandler Handler, const std::string& BindAddress, int Port)
    : FDatagramHandler(std::move(Handler)) {
  Listen(BindAddress, Port, SOCK_DGRAM);
  FThread = std::thread([this] { DatagramLoop(); });
}

void FakeServer::Listen(const std::string& bindAddress, int port, int type) {
  FWakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  const bool v6 = bindAddress.find(':') != std::string::npos;
  FListenFd = ::socket(v6 ? AF_INET6 : AF_INET, type | SOCK_CLOEXEC, 0);
  if (FListenFd < 0 || FWakeFd < 0) throw std::runtime_error("FakeServer: no socket");
  // Throwing from here leaves the destructor unrun: close what is open.
  struct Guard {
    FakeServer* s;
    bool armed = true;
    ~Guard() {
      if (!armed) return;
      if (s->FListenFd >= 0) ::close(s->FListenFd);
      if (s->FWakeFd >= 0) ::close(s->FWakeFd);
    }
  } guard{this};
  int one = 1;
  ::setsockopt(FListenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_storage ss{};
  socklen_t len;
  if (v6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&ss);
    a->sin6_family = AF_INET6;
    a->sin6_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET6, bindAddress.c_str(), &a->sin6_addr);
    len = sizeof *a;
  } else {
    auto* a = reinterpret_cast<sockaddr_in*>(&ss);
    a->sin_family = AF_INET;
    a->sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, bindAddress.c_str(), &a->sin_addr);
    len = sizeof *a;
  }
  if (::bind(FListenFd, reinterpret_cast<sockaddr*>(&ss), len) != 0)
    throw std::runtime_error(std::string("FakeServer: bind failed: ") + std::strerror(errno));
  if (type == SOCK_STREAM && ::listen(FListenFd, 16) != 0) throw std::runtime_error("FakeServer: listen failed");
  ::getsockname(FListenFd, reinterpret_cast<sockaddr*>(&ss), &len);
  FPort = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port : reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
  FAddress = bindAddress;
  guard.armed = false;
}

FakeServer::~FakeServer() {
  FStopping = true;
  std::uint64_t one = 1;
  if (::write(FWakeFd, &one, sizeof one) < 0) {
  }
  if (FThread.joinable()) FThread.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> lock(FLock);
    workers.swap(FWorkers);
  }
  for (auto& w : workers) w.join();
  ::close(FListenFd);
  ::close(FWakeFd);
}

void FakeServer::Record(std::size_t index, std::string_view bytes) {
  std::lock_guard<std::mutex> lock(FLock);
  if (FReceived.size() <= index) FReceived.resize(index + 1);
  FReceived[index].append(bytes);
}

std::size_t FakeServer::ConnectionCount() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FReceived.size();
}

std::string FakeServer::Received(std::size_t Index) const {
  std::lock_guard<std::mutex> lock(FLock);
  return Index < FReceived.size() ? FReceived[Index] : std::string();
}

bool FakeServer::WaitForConnections(std::size_t Count, int TimeoutMs) const {
  std::unique_lock<std::mutex> lock(FLock);
  return FChanged.wait_for(lock, std::chrono::milliseconds(TimeoutMs),
                           [&] { return FReceived.size() >= Count && (FDatagramHandler || FFinished >= Count); });
}

void FakeServer::AcceptLoop() {
  while (!FStopping) {
    pollfd p[2] = {{FListenFd, POLLIN, 0}, {FWakeFd, POLLIN, 0}};
    int r = ::poll(p, 2, -1);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0 || p[1].revents) break;
    int fd = ::accept4(FListenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> lock(FLock);
    const std::size_t index = FReceived.size();
    FReceived.emplace_back();
    FWorkers.emplace_back([this, fd, index] {
      FakeConnection c(*this, fd, index);
      FConnectionHandler(c);
      if (c.FFd >= 0) {
        // An orderly end: FIN, then take in what the client still sends
        // until it closes, so that closing never resets the connection.
        ::shutdown(fd, SHUT_WR);
        c.ReadToEnd(5000);
        ::close(fd);
      }
      std::lock_guard<std::mutex> lock(FLock);
      ++FFinished;
      FChanged.notify_all();
    });
    FChanged.notify_all();
  }
}

void FakeServer::DatagramLoop() {
  std::string buf(65536, '\0');
  while (!FStopping) {
    pollfd p[2] = {{FListenFd, POLLIN, 0}, {FWakeFd, POLLIN, 0}};
    int r = ::poll(p, 2, -1);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0 || p[1].revents) break;
    sockaddr_storage from{};
    socklen_t fromLen = sizeof from;
    ssize_t n = ::recvfrom(FListenFd, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n < 0) continue;
    const std::string request(buf.data(), static_cast<std::size_t>(n));
    std::vector<std::string> answers = FDatagramHandler(request);
    {
      std::lock_guard<std::mutex> lock(FLock);
      FReceived.push_back(request);
      FChanged.notify_all();
    }
    for (const auto& a : answers)
      ::sendto(FListenFd, a.data(), a.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLen);
  }
}

// --- ready-made handlers ----------------------------------------------------------

FakeServer::ConnectionHandler FakeServer::ReplyAndClose(std::string Reply, std::string UntilDelimiter) {
  return [Reply, UntilDelimiter](FakeConnection& c) {
    if (!UntilDelimiter.empty()) c.ReadUntil(UntilDelimiter);
    c.Send(Reply);
  };
}

FakeServer::ConnectionHandler FakeServer::SendOnConnect(std::string Text) {
  return [Text](FakeConnection& c) { c.Send(Text); };
}

FakeServer::ConnectionHandler FakeServer::Stall(int MaxMs) {
  return [MaxMs](FakeConnection& c) { c.WaitForClientClose(MaxMs); };
}

FakeServer::ConnectionHandler FakeServer::CloseMidAnswer(std::string Partial, std::string UntilDelimiter) {
  return [Partial, UntilDelimiter](FakeConnection& c) {
    if (!UntilDelimiter.empty()) c.ReadUntil(UntilDelimiter);
    c.Send(Partial);
    c.Reset();
  };
}

FakeServer::ConnectionHandler FakeServer::Garbage(std::size_t Count, std::string UntilDelimiter) {
  return [Count, UntilDelimiter](FakeConnection& c) {
    if (!UntilDelimiter.empty()) c.ReadUntil(UntilDelimiter);
    std::mt19937 rng(12345);
    std::string bytes(Count, '\0');
    for (auto& b : bytes) b = static_cast<char>(rng() & 0xFF);
    c.Send(bytes);
  };
}

FakeServer::ConnectionHandler FakeServer::Endless(std::uint64_t MaxBytes, std::string Head,
                                                  std::string UntilDelimiter) {
  return [MaxBytes, Head, UntilDelimiter](FakeConnection& c) {
    if (!UntilDelimiter.empty() && !c.ReadUntil(UntilDelimiter)) return;
    if (!Head.empty() && !c.Send(Head)) return;
    const std::string block(65536, 'x');
    for (std::uint64_t sent = 0; sent < MaxBytes; sent += block.size())
      if (!c.Send(block)) break;
  };
}

FakeServer::ConnectionHandler FakeServer::Drip(std::string Head, int IntervalMs, std::string UntilDelimiter,
                                               int MaxMs) {
  return [Head, IntervalMs, UntilDelimiter, MaxMs](FakeConnection& c) {
    if (!UntilDelimiter.empty() && !c.ReadUntil(UntilDelimiter)) return;
    if (!c.Send(Head)) return;
    for (int waited = 0; waited < MaxMs; waited += IntervalMs)
      if (!c.Sleep(IntervalMs) || !c.Send("x")) break;
  };
}

}  // namespace kwinet::support
