// An in-process server on a free loopback port, for byte-exact checks of
// what a client sends and for faults that real servers do not make on
// demand: a server that stalls, closes mid-answer, resets, sends garbage or
// never stops sending. The tool's demo serves its small text protocols
// (whois, daytime) with it too.
//
// TCP: every accepted connection runs the handler on a thread of its own
// with a FakeConnection, which records every byte it reads. UDP: every
// datagram is recorded and the handler returns the datagrams to send back
// (none for a server that does not answer).
//
//   FakeServer server(FakeServer::ReplyAndClose("hello\r\n", "\r\n"));
//   ... client connects to server.Address():server.Port() ...
//   server.WaitForConnections(1);
//   EXPECT_EQ(server.Received(0), "query\r\n");
//
// Every wait is bounded: the handlers' reads give up after their timeout,
// and the destructor stops all handlers (their waits return at once), closes
// every connection and joins the threads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kwinet::support {

class FakeServer;

// One accepted TCP connection, as the handler sees it.
class FakeConnection {
 public:
  // Reads until Delimiter has arrived (true), or the client closed its
  // side, the time ran out or the server stops (false). What was read is
  // recorded and kept in Data().
  bool ReadUntil(std::string_view Delimiter, int TimeoutMs = 5000);
  // Reads until Data() holds at least Count bytes.
  bool ReadCount(std::size_t Count, int TimeoutMs = 5000);
  // Reads one HTTP request from the start of Data(): its head, then as
  // many body bytes as its Content-Length says (none without one).
  bool ReadHttpRequest(int TimeoutMs = 5000);
  // Reads whatever arrives until the client closes its side (true) or the
  // time runs out (false).
  bool ReadToEnd(int TimeoutMs = 5000);
  // Everything read on this connection so far.
  const std::string& Data() const { return FData; }
  // Removes the first Count bytes of Data() (handy for protocols with
  // several requests on one connection); the record keeps them.
  void Consume(std::size_t Count);

  // Sends all bytes; false when the client has gone.
  bool Send(std::string_view Bytes);
  // Ends the server's side of the stream; the client reads end of stream
  // but may still send.
  void ShutdownWrite();
  // Closes at once with a reset (RST) instead of an orderly end. When the
  // handler returns otherwise, the server ends its side (FIN) and takes in
  // what the client still sends until it closes (at most 5 s).
  void Reset();
  // Waits until the client closes its side, or the time runs out.
  bool WaitForClientClose(int TimeoutMs = 5000);
  // Sleeps, returning early (false) when the server stops.
  bool Sleep(int Ms);
  bool Stopping() const;

 private:
  friend class FakeServer;
  FakeConnection(FakeServer& server, int fd, std::size_t index);
  // Waits for the socket to become readable; false on timeout or stop.
  bool WaitReadable(int timeoutMs);
  // One read into FData: bytes read, 0 at end of stream, -1 on error.
  long ReadOnce();

  FakeServer& FServer;
  int FFd;
  std::size_t FIndex;
  std::string FData;
  bool FClientClosed = false;
};

class FakeServer {
 public:
  using ConnectionHandler = std::function<void(FakeConnection&)>;
  // Gets one datagram, returns the datagrams to answer with.
  using DatagramHandler = std::function<std::vector<std::string>(const std::string& Request)>;

  // A TCP server on BindAddress ("127.0.0.1" or "::1"), on Port or, with
  // 0, on a free port. Throws std::runtime_error when it cannot listen.
  explicit FakeServer(ConnectionHandler Handler, const std::string& BindAddress = "127.0.0.1", int Port = 0);
  // A UDP server on BindAddress and Port (a free one with 0).
  explicit FakeServer(DatagramHandler Handler, const std::string& BindAddress = "127.0.0.1", int Port = 0);
  ~FakeServer();
  FakeServer(const FakeServer&) = delete;
  FakeServer& operator=(const FakeServer&) = delete;

  int Port() const { return FPort; }
  const std::string& Address() const { return FAddress; }

  // TCP: connections accepted so far. UDP: datagrams received so far.
  std::size_t ConnectionCount() const;
  // What connection (or datagram) Index received; empty when there is none.
  std::string Received(std::size_t Index) const;
  // Waits until Count connections (TCP) or datagrams (UDP) have been taken
  // in and, for TCP, their handlers have returned.
  bool WaitForConnections(std::size_t Count, int TimeoutMs = 5000) const;

  // Ready-made handlers.
  // Reads until UntilDelimiter (at once when empty), sends Reply, closes.
  static ConnectionHandler ReplyAndClose(std::string Reply, std::string UntilDelimiter = "\r\n");
  // Sends Text as soon as the client connects, then closes (daytime).
  static ConnectionHandler SendOnConnect(std::string Text);
  // Takes the request in and never answers until the client goes or the
  // server stops (at most MaxMs).
  static ConnectionHandler Stall(int MaxMs = 60000);
  // Reads until UntilDelimiter, sends Partial, then resets the connection.
  static ConnectionHandler CloseMidAnswer(std::string Partial, std::string UntilDelimiter = "\r\n");
  // Reads until UntilDelimiter, then sends Count pseudo-random bytes, closes.
  static ConnectionHandler Garbage(std::size_t Count, std::string UntilDelimiter = "\r\n");
  // Sends without end until the client goes, the server stops or
  // MaxBytes have gone out; with UntilDelimiter, only once it has read that,
  // and with Head first.
  static ConnectionHandler Endless(std::uint64_t MaxBytes = std::uint64_t(1) << 32, std::string Head = std::string(),
                                   std::string UntilDelimiter = std::string());
  // Reads until UntilDelimiter (at once when empty), sends Head, then one
  // byte every IntervalMs until the client goes or the server stops (at
  // most MaxMs).
  static ConnectionHandler Drip(std::string Head, int IntervalMs, std::string UntilDelimiter = "\r\n\r\n",
                                int MaxMs = 60000);

 private:
  friend class FakeConnection;
  void Listen(const std::string& bindAddress, int port, int type);
  void AcceptLoop();
  void DatagramLoop();
  void Record(std::size_t index, std::string_view bytes);

  ConnectionHandler FConnectionHandler;
  DatagramHandler FDatagramHandler;
  std::string FAddress;
  int FPort = 0;
  int FListenFd = -1;
  int FWakeFd = -1;  // eventfd that wakes every wait when the server stops
  std::atomic<bool> FStopping{false};
  std::thread FThread;

  mutable std::mutex FLock;
  mutable std::condition_variable FChanged;
  std::vector<std::string> FReceived;
  std::vector<std::thread> FWorkers;
  std::size_t FFinished = 0;
};

}  // namespace kwinet::support
