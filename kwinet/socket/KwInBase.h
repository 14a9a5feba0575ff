/// @file
/// The socket family's common ground: TKwInetBase, which fixes the order of
/// one job (connect, send each step's query, read until the server closes,
/// collect). The proxy settings record it holds lives in utils, shared with
/// the web family.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "kwinet/core/Classes.h"
#include "kwinet/core/Jobs.h"
#include "kwinet/core/String.h"
#include "kwinet/socket/ClientSocket.h"
#include "kwinet/utils/HttpHead.h"
#include "kwinet/utils/KwInProxy.h"

namespace kwinet {

/// Called with the text a job collected, which the handler may change.
using TKwIReceivedEvent = std::function<void(TObject* Sender, String& Text)>;

/// The base of every socket client. Execute: OnBeforeExecute, check that a
/// server is given, Connect (to the proxy when one is set), then StepCount
/// steps of InternalExecute and AfterExecute, then Disconnect unless
/// KeepConnection. An Exception raised during the steps becomes the result
/// text, and the connection is left as it is.
///
/// Thread-safety: one component serves one thread at a time. ExecuteAsync
/// runs the job on a worker thread and fires every event on the thread that
/// owns the application's backend; while the job runs, the caller leaves the
/// component's properties alone (nothing checks this) and a second Execute or
/// ExecuteAsync is refused. Freeing the component cancels its job and waits
/// for it: every class derived from it calls EndJob first in its destructor,
/// before any part of the object goes (the job still calls its overrides).
class TKwInetBase : public TComponent {
 public:
  /// Creates the client with its socket (blocking, 30 s timeout), no proxy and
  /// LoginPrompt set.
  explicit TKwInetBase(TComponent* AOwner);
  ~TKwInetBase() override;

  /// The concatenated texts of all steps, or the message of the error that
  /// ended a step.
  String Execute();
  /// Execute on a worker thread: the job's result is what Execute returns.
  /// Raises EInvalidOperation while a job of the component runs.
  TJobHandle ExecuteAsync();
  /// The job ExecuteAsync started last, or nullptr.
  const TJobHandle& Job() const { return FJob.Current(); }

  /// The text to send in the current step; empty means: send nothing, only
  /// read (a server that talks first).
  virtual String GetQuery();
  /// Lines appended to a non-empty query, ending with an empty line: on a
  /// direct connection "Proxy-Connection: Keep-Alive"; an HTTP request to
  /// the proxy gets the proxy's credentials; a tunnel's query nothing more.
  /// The proxy's credentials never go on a connection to the server.
  virtual String GetRawHeaders();
  /// Opens the connection unless one is open and its peer still there; a
  /// connection whose peer has closed is closed and opened anew.
  virtual void Connect();
  /// The proxy's credentials as a "Proxy-Authorization: Basic" line, asked
  /// for first through the logon prompt when LoginPrompt is set; empty when
  /// the proxy has no user. Raises when the user or password holds a line
  /// break.
  String ProxyAuthorizationLines();
  /// Closes the connection when one is open.
  virtual void Disconnect();

  /// Sends the text, one byte per character: the count sent, or 0 or less
  /// when the peer has gone (the error notification has fired).
  int SendToSocket(const String& Text);
  /// One read of at most Count bytes: the count, 0 when the server has
  /// closed, less than 0 on a failure whose error code a handler cleared.
  int ReceiveFromSocket(void* Buf, int Count);
  /// The machine's host name.
  String GetLocalHost() const;
  /// Four dot-separated integers from 0 to 255.
  static bool AddrIsIP(const String& S);

  /// Published. Host, Address and Port name the server asked for, also
  /// while the connection goes through a proxy.
  const String& About() const { return FAbout; }
  /// Ignored: About is read-only.
  void SetAbout(const String&) {}
  ///@{
  /// The server's port.
  int Port() const { return FPort; }
  void SetPort(int value);
  ///@}
  ///@{
  /// The server's name; a dotted IPv4 address given here goes to Address and
  /// clears Host.
  const String& Host() const { return FHost; }
  void SetHost(const String& value);
  ///@}
  ///@{
  /// The server's dotted IPv4 address; SetAddress is SetHost.
  const String& Address() const { return FAddress; }
  void SetAddress(const String& value);
  ///@}
  ///@{
  /// Whether Execute leaves the connection open for the next job (false at
  /// first).
  bool KeepConnection() const { return FKeepConnection; }
  void SetKeepConnection(bool value) { FKeepConnection = value; }
  ///@}
  ///@{
  /// The proxy settings (none at first); SetProxy copies them.
  TKwInetProxy* Proxy() const { return FProxy.get(); }
  void SetProxy(TKwInetProxy* value) { FProxy->Assign(value); }
  ///@}
  ///@{
  /// Whether the proxy's credentials are asked for through the logon prompt
  /// first (true at first).
  bool LoginPrompt() const { return FLoginPrompt; }
  void SetLoginPrompt(bool value) { FLoginPrompt = value; }
  ///@}
  ///@{
  /// Milliseconds; bounds the connect, and each exchange as a whole: from a
  /// step's start or a send to the last byte of the reply. 0 = no bound.
  int Timeout() const;
  void SetTimeout(int value);
  ///@}
  ///@{
  /// Bytes one step's reply may reach before the step ends with an error;
  /// 0 = no bound.
  std::int64_t MaxReplySize() const;
  void SetMaxReplySize(std::int64_t value);
  ///@}

  ///@{
  /// Called when the connection is open.
  const TSocketNotifyEvent& OnConnect() const { return FOnConnect; }
  void SetOnConnect(TSocketNotifyEvent value) { FOnConnect = std::move(value); }
  ///@}
  ///@{
  /// Called when the connection is closed.
  const TSocketNotifyEvent& OnDisconnect() const { return FOnDisconnect; }
  void SetOnDisconnect(TSocketNotifyEvent value) { FOnDisconnect = std::move(value); }
  ///@}
  ///@{
  /// Called on a socket failure; clearing the code stops the raise.
  const TSocketErrorEvent& OnError() const { return FOnError; }
  void SetOnError(TSocketErrorEvent value) { FOnError = std::move(value); }
  ///@}
  ///@{
  /// Called before the server's name is resolved.
  const TSocketNotifyEvent& OnLookup() const { return FOnLookup; }
  void SetOnLookup(TSocketNotifyEvent value) { FOnLookup = std::move(value); }
  ///@}
  ///@{
  /// Called before the connect.
  const TSocketNotifyEvent& OnConnecting() const { return FOnConnecting; }
  void SetOnConnecting(TSocketNotifyEvent value) { FOnConnecting = std::move(value); }
  ///@}
  ///@{
  /// Called when the socket is about to send.
  const TSocketNotifyEvent& OnSendTextToSocket() const { return FOnSendTextToSocket; }
  void SetOnSendTextToSocket(TSocketNotifyEvent value);
  ///@}
  ///@{
  /// Called when data is about to be read.
  const TSocketNotifyEvent& OnReceiveTextFromSocket() const { return FOnReceiveTextFromSocket; }
  void SetOnReceiveTextFromSocket(TSocketNotifyEvent value);
  ///@}
  ///@{
  /// Called first thing in Execute.
  const TNotifyEvent& OnBeforeExecute() const { return FOnBeforeExecute; }
  void SetOnBeforeExecute(TNotifyEvent value) { FOnBeforeExecute = std::move(value); }
  ///@}
  ///@{
  /// Called after each step with that step's text, which it may change.
  const TKwIReceivedEvent& OnAfterExecute() const { return FOnAfterExecute; }
  void SetOnAfterExecute(TKwIReceivedEvent value) { FOnAfterExecute = std::move(value); }
  ///@}

  ///@{
  /// Public, not published.
  TClientType ClientType() const;
  void SetClientType(TClientType value);
  ///@}
  /// Whether the connection is open.
  bool Connected() const { return FConnected; }

 protected:
  /// One step: send GetQuery (with GetRawHeaders when SendsRawHeaders),
  /// read until the server closes, check the status of an HTTP answer once
  /// its first line is in.
  virtual void InternalExecute(String& Text);
  /// Fires OnBeforeExecute.
  virtual void BeforeExecute();
  /// Fires OnAfterExecute with Text.
  virtual void AfterExecute(String& Text);
  /// Whether InternalExecute appends GetRawHeaders to a query; a protocol
  /// whose servers would take the lines as input says no.
  virtual bool SendsRawHeaders() const { return true; }
  /// Whether the component speaks HTTP/1.0: then every request goes out on
  /// a connection of its own (the server closes after its answer, and an
  /// answer cut short by an error must not reach the next request), and
  /// through a proxy it talks to the proxy itself, with basic authorization.
  /// The other protocols reach their server through a CONNECT tunnel.
  virtual bool SpeaksHTTP() const { return false; }

  /// Raises the exception of a 401, 404 or 407 when the reply's first line
  /// is an HTTP status line with that code; any other reply passes.
  static void CheckReplyStatus(const String& Reply);
  /// Feeds the head of a reply (one character per byte) to Head until the
  /// head ends; returns the characters it took, so the body starts there.
  static std::size_t ReadHttpHead(const String& Reply, THttpHeadReader& Head);

  /// The socket, a child component.
  TClientSocket* ClientSocket() const { return FClientSocket; }
  /// True when Connect goes to the proxy: UseProxy with a Server, and the
  /// proxy policy's no_proxy does not name the server on its port.
  bool ProxyInUse() const;
  /// The server as "host" or "host:port" (no port when it is DefaultPort);
  /// an IPv6 address in brackets.
  String TargetHostPort(int DefaultPort) const;

  /// Cancels the running job and waits for it to end.
  void EndJob() { FJob.End(); }

  /// The step being run, from 0.
  std::int32_t CurrentStep = 0;
  /// How many steps Execute runs (1 unless a protocol needs more).
  std::int32_t StepCount = 1;

 private:
  // Asks the proxy for a tunnel to the server; raises when it refuses.
  void OpenTunnel();
  void DoLookup(TObject* Sender, TCustomWinSocket* Socket);
  void DoConnecting(TObject* Sender, TCustomWinSocket* Socket);
  void DoConnect(TObject* Sender, TCustomWinSocket* Socket);
  void DoDisconnect(TObject* Sender, TCustomWinSocket* Socket);
  void DoError(TObject* Sender, TCustomWinSocket* Socket, TErrorEvent ErrorEvent, int& ErrorCode);

  TClientSocket* FClientSocket;  // owned as a child component
  String FAbout;
  bool FConnected = false;
  std::int32_t FPort = 0;
  String FHost;
  String FAddress;
  bool FKeepConnection = false;
  std::unique_ptr<TKwInetProxy> FProxy;
  bool FLoginPrompt = true;
  bool FViaProxy = false;  // the socket points at the proxy, not at FHost/FAddress/FPort
  TSocketNotifyEvent FOnConnect, FOnDisconnect;
  TSocketErrorEvent FOnError;
  TSocketNotifyEvent FOnLookup, FOnConnecting;
  TSocketNotifyEvent FOnSendTextToSocket, FOnReceiveTextFromSocket;
  TNotifyEvent FOnBeforeExecute;
  TKwIReceivedEvent FOnAfterExecute;
  TJobSlot FJob;
};

}  // namespace kwinet
