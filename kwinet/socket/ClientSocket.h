/// @file
/// A blocking TCP client socket over POSIX sockets, with the notifications
/// that the socket family forwards (lookup, connecting, connect, disconnect,
/// error, read, write), and a bounded UDP request/answer exchange for the
/// datagram protocols.
///
/// Timeout (milliseconds, 0 = no bound) bounds the connect as a whole, and
/// then each exchange as a whole: a deadline is set when the connection opens
/// and again at each send, and every later wait for data or for room to send
/// ends with it, so a server that trickles its reply byte by byte cannot hold
/// the caller past Timeout after its request. Sends never raise
/// SIGPIPE. MaxReplySize bounds the bytes taken in since the last send, so a
/// server that never stops sending cannot exhaust memory.
///
/// All bytes cross one place, the socket's transport: plain by default; TLS
/// installs its own transport over the connected descriptor.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "kwinet/core/Classes.h"
#include "kwinet/core/Exceptions.h"
#include "kwinet/core/String.h"

namespace kwinet {

/// Kept for the socket family's property: every operation blocks either way.
enum TClientType : std::uint8_t { ctNonBlocking, ctBlocking };
/// @var ctNonBlocking
/// Non-blocking, in name only: operations block all the same.
/// @var ctBlocking
/// Blocking.

/// The operation a socket error came from.
enum TErrorEvent : std::uint8_t { eeGeneral, eeSend, eeReceive, eeConnect, eeDisconnect, eeAccept, eeLookup };
/// @var eeGeneral
/// Another failure.
/// @var eeSend
/// Sending failed.
/// @var eeReceive
/// Receiving failed (or ran out of time, or past MaxReplySize).
/// @var eeConnect
/// The connect failed.
/// @var eeDisconnect
/// Closing failed.
/// @var eeAccept
/// Accepting a connection failed (not raised by a client socket).
/// @var eeLookup
/// The name could not be resolved.

class TCustomWinSocket;
class TClientSocket;

/// A notification from the socket.
using TSocketNotifyEvent = std::function<void(TObject* Sender, TCustomWinSocket* Socket)>;
/// ErrorCode is the errno value; a handler that sets it to 0 stops the
/// socket from raising, and the failed operation returns its failure value.
using TSocketErrorEvent =
    std::function<void(TObject* Sender, TCustomWinSocket* Socket, TErrorEvent ErrorEvent, int& ErrorCode)>;

/// How bytes move over a connected descriptor. Read and Write return the
/// count moved (Read: 0 at the end of the stream) or -1 with errno set; they
/// are called only after the descriptor was found ready, so they need not
/// wait themselves.
class TSocketTransport {
 public:
  virtual ~TSocketTransport() = default;
  /// Sends without waiting and without SIGPIPE.
  virtual ssize_t Write(int Fd, const void* Buf, std::size_t Count);
  /// Reads without waiting.
  virtual ssize_t Read(int Fd, void* Buf, std::size_t Count);
  /// True when bytes are already waiting inside the transport (decrypted
  /// TLS data), so a read must not wait for the descriptor.
  virtual bool Pending() const { return false; }
  /// Called before the descriptor is closed.
  virtual void Shutdown(int /*Fd*/) {}
};

/// The connection object of a TClientSocket.
class TCustomWinSocket : public TObject {
 public:
  /// A connection object of Owner, closed, with the plain transport.
  explicit TCustomWinSocket(TClientSocket* Owner);
  ~TCustomWinSocket() override;

  /// Sends all Count bytes. Returns Count, or -1 after the error
  /// notification when the peer has gone or no room came within Timeout.
  int SendBuf(const void* Buf, int Count);
  /// One read of at most Count bytes: the count read, 0 when the peer has
  /// closed, -1 on failure. A failure (including a read that runs out of
  /// time and a reply past MaxReplySize) fires the error notification and
  /// raises ESocketError unless the handler cleared the code.
  int ReceiveBuf(void* Buf, int Count);

  /// True when the descriptor is open and the peer has not closed or reset
  /// the connection, as far as can be seen without reading.
  bool PeerAlive() const;

  /// Starts an exchange: every wait from now on ends Timeout from now (no
  /// bound with Timeout 0). Opening the connection and each send call it; a
  /// caller that only reads (a server that talks first on a kept
  /// connection) calls it itself.
  void StartExchange();

  /// The descriptor, -1 when closed.
  int Handle() const { return FHandle; }
  /// Whether the descriptor is open.
  bool Connected() const { return FHandle >= 0; }
  /// The machine's host name.
  String LocalHost() const;
  /// Address and port of the peer, as connected.
  String RemoteAddress() const { return FRemoteAddress; }
  /// The peer's port.
  int RemotePort() const { return FRemotePort; }

  /// Replaces the transport (TLS after the connect, or back to plain). Closing
  /// the connection puts the plain transport back.
  void SetTransport(std::unique_ptr<TSocketTransport> transport);
  /// The transport in use.
  TSocketTransport* Transport() const { return FTransport.get(); }

 private:
  friend class TClientSocket;
  // Waits until the descriptor is readable (events POLLIN) or writable
  // (POLLOUT); false when the exchange's deadline has passed.
  bool WaitFor(short events) const;
  void CloseHandle();
  [[noreturn]] void RaiseError(const String& message);

  TClientSocket* FOwner;
  int FHandle = -1;
  std::unique_ptr<TSocketTransport> FTransport;
  std::int64_t FReceived = 0;  // bytes taken in since the last send
  bool FBounded = false;       // the exchange has a deadline (Timeout > 0)
  std::chrono::steady_clock::time_point FDeadline{};
  String FRemoteAddress;
  int FRemotePort = 0;
};

/// A client TCP connection: names the server, opens and closes the connection,
/// and tells of each event.
class TClientSocket : public TComponent {
 public:
  /// Creates the socket, closed, with a 30 s timeout and a 64 MiB reply bound.
  explicit TClientSocket(TComponent* AOwner);
  ~TClientSocket() override;

  /// Resolves Host (IPv4 and IPv6, through getaddrinfo) or takes Address as a
  /// dotted IPv4 address, and connects within Timeout. Fires OnLookup (when
  /// resolving), OnConnecting and OnConnect. A failure fires OnError and
  /// raises ESocketError unless the handler cleared the code. A connection
  /// still open (after an error, say) is closed first.
  void Open();
  /// Closes the connection; fires OnDisconnect when it was open.
  void Close();
  /// Whether the connection is open.
  bool Active() const { return FSocket->Connected(); }

  /// The connection object.
  TCustomWinSocket* Socket() const { return FSocket.get(); }

  ///@{
  /// The server's name, resolved by Open.
  const String& Host() const { return FHost; }
  void SetHost(const String& value) { FHost = value; }
  ///@}
  ///@{
  /// The server's dotted IPv4 address, used when Host is empty.
  const String& Address() const { return FAddress; }
  void SetAddress(const String& value) { FAddress = value; }
  ///@}
  ///@{
  /// The server's port.
  int Port() const { return FPort; }
  void SetPort(int value) { FPort = value; }
  ///@}
  ///@{
  /// Kept for the socket family's property; every operation blocks.
  TClientType ClientType() const { return FClientType; }
  void SetClientType(TClientType value) { FClientType = value; }
  ///@}

  ///@{
  /// Milliseconds; bounds the connect, and each exchange from its send (or
  /// from the connect, for a server that talks first) to the last byte of
  /// its reply. 0 = no bound.
  int Timeout() const { return FTimeout; }
  void SetTimeout(int value) { FTimeout = value < 0 ? 0 : value; }
  ///@}
  ///@{
  /// Bytes a reply (all that is read between two sends) may reach; 0 = no bound.
  std::int64_t MaxReplySize() const { return FMaxReplySize; }
  void SetMaxReplySize(std::int64_t value) { FMaxReplySize = value < 0 ? 0 : value; }
  ///@}

  ///@{
  /// Called before the name is resolved, before the connect, when the
  /// connection is open, and when it is closed.
  TSocketNotifyEvent OnLookup, OnConnecting, OnConnect, OnDisconnect;
  ///@}
  ///@{
  /// Fired when data is about to be read and when the socket is about to send.
  TSocketNotifyEvent OnRead, OnWrite;
  ///@}
  /// Called with the errno value of a failure; a handler that sets it to 0
  /// stops the raise.
  TSocketErrorEvent OnError;

 private:
  friend class TCustomWinSocket;
  // Fires OnError and returns the code as the handler left it.
  int Error(TErrorEvent kind, int code);
  String Target() const;

  std::unique_ptr<TCustomWinSocket> FSocket;
  String FHost, FAddress;
  int FPort = 0;
  TClientType FClientType = ctBlocking;
  int FTimeout = 30000;
  std::int64_t FMaxReplySize = 64 * 1024 * 1024;
};

/// One request and its answer over UDP, for the datagram protocols. The
/// request goes out; answers that Accept refuses are dropped; when none is
/// accepted within half of TimeoutMs the request is sent once more and the
/// second half is waited. With TimeoutMs 0 it waits without bound.
/// Raises ESocketError when the host cannot be resolved, the exchange fails,
/// or no answer was accepted in time.
std::string DatagramExchange(const String& Host, const String& Address, int Port, const std::string& Request,
                             int TimeoutMs, const std::function<bool(const std::string& Answer)>& Accept);

/// The message of a wait that ran out: what was waited for, and how long.
String TimeoutMessage(const String& what, const String& target, int timeoutMs);

/// Why Name cannot name a server (it holds a control character: a NUL would
/// cut it short before the resolver, a line break would end a request line),
/// as a message that shows it with such characters escaped; empty when it can.
String HostNameError(const String& Name);

}  // namespace kwinet
