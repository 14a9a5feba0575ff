// The libcurl driver of the transfer layer: one session (a multi handle)
// per root, transfers that run on it, the callbacks and the loop that
// drives them. Nothing above this file sees libcurl: a transfer is
// described by plain settings and read through plain calls.
//
// Every wait is bounded by the session's timeout (the connect, and the
// longest time without any data). Body bytes come into a bounded buffer
// from which the caller pulls, so memory stays bounded whatever the size.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kwinet/core/String.h"
#include "kwinet/web/InetHttpAnswer.h"

namespace kwinet {

// What one transfer asks for.
struct TTransferSettings {
  std::string Url;
  std::string Agent;
  long TimeoutMs = 30000;  // 0 = no bound
  // The longest the whole transfer may take, in ms; 0 = no bound.
  long MaxTimeMs = 0;
  // A transfer slower than LowSpeedLimit bytes a second for LowSpeedTimeMs
  // ends; 0 in either = no such bound.
  long LowSpeedLimit = 0;
  long LowSpeedTimeMs = 0;
  // The most body bytes the transfer may bring; one more ends it. 0 = no
  // bound.
  std::int64_t MaxBodyBytes = 0;
  // The proxy as a URL ("http://host:port"); empty: direct. NoProxy names
  // the hosts that a redirect reaches directly (comma-separated).
  std::string Proxy;
  std::string NoProxy;
  bool ProxyCredentials = false;
  std::string ProxyUser, ProxyPassword;
  std::string CAFile;  // empty: the system's store
  bool VerifyPeer = true;
  bool VerifyHost = true;

  // HTTP and HTTPS.
  bool Http = false;
  std::string Verb = "GET";
  bool Http10 = false;
  bool NoRedirect = false;           // the answer is what the server said
  std::vector<std::string> Headers;  // "Name: value" lines
  std::string Body;                  // for POST
  bool Credentials = false;          // User and Password go at once (basic)
  std::string User, Password;

  // FTP: the logon, a command in place of the transfer (MLSD, LIST), no
  // body at all (a logon or folder check), text mode.
  std::string Command;
  bool NoBody = false;
  bool Text = false;
  // A listing is read whole (up to MaxBodyBytes) instead of being paused.
  bool Unbounded = false;
  // FTP: ask for the file's time (MDTM).
  bool FileTime = false;
  // TLS for the logon, the commands and the data, or no transfer at all:
  // never a fallback to clear text.
  bool FtpTls = false;

  // Where the body starts: a byte range for HTTP, REST for FTP.
  std::int64_t From = 0;
};

class TTransfer;

// One root's share of libcurl: the transfers of a session run together.
class TTransferSession {
 public:
  TTransferSession();
  ~TTransferSession();
  TTransferSession(const TTransferSession&) = delete;
  TTransferSession& operator=(const TTransferSession&) = delete;

  bool Valid() const;
  long TimeoutMs = 30000;

  struct TImpl;  // the driver's own
  TImpl& Impl() const { return *F; }

 private:
  std::unique_ptr<TImpl> F;
};

class TTransfer {
 public:
  // Nothing goes on the wire until Start. Valid() is false when libcurl
  // could not make the transfer.
  TTransfer(TTransferSession& Session, const TTransferSettings& Settings);
  ~TTransfer();
  TTransfer(const TTransfer&) = delete;
  TTransfer& operator=(const TTransfer&) = delete;

  bool Valid() const;
  bool Start();
  // HTTP: runs until the final answer's header block (true) or the end.
  // FTP: until the server accepted the transfer or sent data (true), or
  // the end (true when it ended well).
  bool WaitForAnswer();
  // Runs to the end; true when the transfer ended well.
  bool RunToEnd();
  // Pulls up to Size bytes of the body (0 with true at the end); false
  // when the transfer failed before any byte of this call.
  bool Read(void* Buffer, std::uint32_t Size, std::uint32_t& BytesRead);
  // The body received and not yet pulled.
  std::string TakeBody();

  bool Http() const;
  bool Done() const;
  bool Failed() const;  // ended with an error
  // Nothing has come yet and nothing has been pulled.
  bool Untouched() const;
  // The last answer's header block; a proxy's refusal of a tunnel gives
  // its status too. Status 0: no answer.
  const THttpAnswer& Answer();
  // FTP: the folder the server put the user in at logon.
  std::string FtpEntryPath() const;
  // FTP with FileTime: the file's time in seconds since 1970; false when
  // the server gave none.
  bool FileTime(std::int64_t& Seconds) const;

  struct TState;  // the driver's own

 private:
  std::unique_ptr<TState> F;
};

// An HTTP date (Last-Modified) as seconds since 1970; false when it is none.
bool ParseHttpDate(const std::string& Text, std::int64_t& Seconds);

// The server's last answer on this thread (an FTP reply, an HTTP status
// line), and the reason of the last failure.
String& InetLastResponse();
String& InetLastError();
// The last failure was a connection that could not be opened (no such
// host, refused, no secure channel), not a failure of a running exchange.
bool& InetLastErrorIsConnect();
// The last failure was a bound of time (no data within the timeout, the
// whole-transfer bound, too slow), or a body larger than its bound.
bool& InetLastErrorIsTimeout();
bool& InetLastErrorIsTooLarge();

}  // namespace kwinet
