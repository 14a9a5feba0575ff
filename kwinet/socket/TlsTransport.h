// TLS over a connected socket, through OpenSSL. The server's certificate
// chain is verified against a CA file (or the system's store) and its name
// against the host that was asked for.
#pragma once

#include <memory>

#include "kwinet/socket/ClientSocket.h"

namespace kwinet {

class TTlsTransport : public TSocketTransport {
 public:
  ~TTlsTransport() override;

  // Makes the TLS handshake on Fd within TimeoutMs (0 = no bound) and
  // returns the transport to install on the socket. Host is the server's
  // name or dotted address as the caller knows it; CAFile empty means the
  // system's store. Raises ESocketError with OpenSSL's reason on failure.
  static std::unique_ptr<TTlsTransport> Handshake(int Fd, const String& Host, const String& CAFile, int TimeoutMs);

  ssize_t Write(int Fd, const void* Buf, std::size_t Count) override;
  ssize_t Read(int Fd, void* Buf, std::size_t Count) override;
  bool Pending() const override;
  void Shutdown(int Fd) override;

 private:
  TTlsTransport() = default;
  struct State;
  std::unique_ptr<State> FState;
};

}  // namespace kwinet
