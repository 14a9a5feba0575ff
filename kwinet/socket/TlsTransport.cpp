#include "kwinet/socket/TlsTransport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "kwinet/core/Jobs.h"

namespace kwinet {

namespace {

// A BIO that moves bytes with send and recv, so that a peer that has gone
// is a failed write (never SIGPIPE) and nothing waits inside OpenSSL.
int BioFd(BIO* bio) { return static_cast<int>(BIO_get_fd(bio, nullptr)); }

bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }

int BioWrite(BIO* bio, const char* data, int len) {
  BIO_clear_flags(bio, BIO_FLAGS_RWS | BIO_FLAGS_SHOULD_RETRY);
  ssize_t n = ::send(BioFd(bio), data, static_cast<std::size_t>(len), MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n < 0 && WouldBlock()) BIO_set_flags(bio, BIO_FLAGS_WRITE | BIO_FLAGS_SHOULD_RETRY);
  return static_cast<int>(n);
}

int BioRead(BIO* bio, char* data, int len) {
  BIO_clear_flags(bio, BIO_FLAGS_RWS | BIO_FLAGS_SHOULD_RETRY);
  ssize_t n = ::recv(BioFd(bio), data, static_cast<std::size_t>(len), MSG_DONTWAIT);
  if (n < 0 && WouldBlock()) BIO_set_flags(bio, BIO_FLAGS_READ | BIO_FLAGS_SHOULD_RETRY);
  return static_cast<int>(n);
}

int BioPuts(BIO* bio, const char* s) { return BioWrite(bio, s, static_cast<int>(std::strlen(s))); }

BIO_METHOD* SocketMethod() {
  static BIO_METHOD* method = [] {
    const int type = BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR;
    BIO_METHOD* m = BIO_meth_new(type, "kwinet socket");
    const BIO_METHOD* base = BIO_s_socket();
    BIO_meth_set_write(m, BioWrite);
    BIO_meth_set_read(m, BioRead);
    BIO_meth_set_puts(m, BioPuts);
    BIO_meth_set_ctrl(m, BIO_meth_get_ctrl(base));
    BIO_meth_set_create(m, BIO_meth_get_create(base));
    BIO_meth_set_destroy(m, BIO_meth_get_destroy(base));
    return m;
  }();
  return method;
}

[[noreturn]] void HandshakeFailed(const String& host, const String& why) {
  throw ESocketError(u"TLS handshake with %s failed: %s", {host, why});
}

String OpenSSLReason() {
  unsigned long e = ERR_get_error();
  ERR_clear_error();
  if (e == 0) return u"the connection was closed";
  char buf[256];
  ERR_error_string_n(e, buf, sizeof buf);
  return Utf8ToString(buf);
}

}  // namespace

struct TTlsTransport::State {
  SSL_CTX* Ctx = nullptr;
  SSL* Ssl = nullptr;
  ~State() {
    if (Ssl) SSL_free(Ssl);
    if (Ctx) SSL_CTX_free(Ctx);
  }
};

TTlsTransport::~TTlsTransport() = default;

std::unique_ptr<TTlsTransport> TTlsTransport::Handshake(int Fd, const String& Host, const String& CAFile,
                                                         int TimeoutMs) {
  // The name is what the certificate is checked against: OpenSSL takes it
  // as a C string, so a NUL would check a shorter name, and an empty one
  // would check none.
  if (Host.empty()) HandshakeFailed(u"the server", u"no server name to check the certificate against");
  if (const String error = HostNameError(Host); !error.empty()) HandshakeFailed(u"the server", error);
  std::unique_ptr<TTlsTransport> t(new TTlsTransport());
  t->FState = std::make_unique<State>();
  State& s = *t->FState;
  const std::string host = StringToUtf8(Host);
  ERR_clear_error();
  // OpenSSL sets itself up on the first context of the process, not before.
  s.Ctx = SSL_CTX_new(TLS_client_method());
  if (!s.Ctx) HandshakeFailed(Host, OpenSSLReason());
  SSL_CTX_set_min_proto_version(s.Ctx, TLS1_2_VERSION);
  SSL_CTX_set_options(s.Ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_mode(s.Ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  SSL_CTX_set_verify(s.Ctx, SSL_VERIFY_PEER, nullptr);
  if (!CAFile.empty()) {
    if (SSL_CTX_load_verify_locations(s.Ctx, StringToUtf8(CAFile).c_str(), nullptr) != 1)
      HandshakeFailed(Host, u"cannot load the CA file \"" + CAFile + u"\": " + OpenSSLReason());
  } else if (SSL_CTX_set_default_verify_paths(s.Ctx) != 1) {
    HandshakeFailed(Host, OpenSSLReason());
  }
  s.Ssl = SSL_new(s.Ctx);
  if (!s.Ssl) HandshakeFailed(Host, OpenSSLReason());
  BIO* bio = BIO_new(SocketMethod());
  BIO_set_fd(bio, Fd, BIO_NOCLOSE);
  SSL_set_bio(s.Ssl, bio, bio);
  // The name to verify: an address literal, or a host name (also sent as SNI).
  unsigned char addr[16];
  const bool isIP = ::inet_pton(AF_INET, host.c_str(), addr) == 1 || ::inet_pton(AF_INET6, host.c_str(), addr) == 1;
  // A name that cannot be set would leave the certificate's name unchecked:
  // the handshake stops there.
  if (isIP) {
    if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(s.Ssl), host.c_str()) != 1)
      HandshakeFailed(Host, u"cannot set the address to check the certificate against: " + OpenSSLReason());
  } else {
    if (SSL_set_tlsext_host_name(s.Ssl, host.c_str()) != 1)
      HandshakeFailed(Host, u"cannot set the server name to send: " + OpenSSLReason());
    if (SSL_set1_host(s.Ssl, host.c_str()) != 1)
      HandshakeFailed(Host, u"cannot set the name to check the certificate against: " + OpenSSLReason());
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    int r = SSL_connect(s.Ssl);
    if (r == 1) break;
    int err = SSL_get_error(s.Ssl, r);
    short events;
    if (err == SSL_ERROR_WANT_READ) events = POLLIN;
    else if (err == SSL_ERROR_WANT_WRITE) events = POLLOUT;
    else {
      long verify = SSL_get_verify_result(s.Ssl);
      if (verify != X509_V_OK) HandshakeFailed(Host, Utf8ToString(X509_verify_cert_error_string(verify)));
      HandshakeFailed(Host, OpenSSLReason());
    }
    int wait = -1;
    if (TimeoutMs > 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) HandshakeFailed(Host, Format(u"no answer within %d ms", {TimeoutMs}));
      wait = static_cast<int>(left.count());
    }
    // A job's cancel is looked at between slices.
    if (InJob() && (wait < 0 || wait > kJobCancelSlice.count())) wait = static_cast<int>(kJobCancelSlice.count());
    pollfd p{Fd, events, 0};
    int n = ::poll(&p, 1, wait);
    CheckJobCancelled();
    if (n == 0 && InJob() && (TimeoutMs <= 0 || std::chrono::steady_clock::now() < deadline)) continue;
    if (n == 0) HandshakeFailed(Host, Format(u"no answer within %d ms", {TimeoutMs}));
    if (n < 0 && errno != EINTR) HandshakeFailed(Host, SysErrorMessage(errno));
  }
  return t;
}

ssize_t TTlsTransport::Write(int, const void* Buf, std::size_t Count) {
  ERR_clear_error();
  int n = SSL_write(FState->Ssl, Buf, static_cast<int>(std::min<std::size_t>(Count, 1 << 30)));
  if (n > 0) return n;
  int err = SSL_get_error(FState->Ssl, n);
  if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) errno = EAGAIN;
  else if (errno == 0 || errno == EAGAIN) errno = EPIPE;
  return -1;
}

ssize_t TTlsTransport::Read(int, void* Buf, std::size_t Count) {
  ERR_clear_error();
  int n = SSL_read(FState->Ssl, Buf, static_cast<int>(std::min<std::size_t>(Count, 1 << 30)));
  if (n > 0) return n;
  int err = SSL_get_error(FState->Ssl, n);
  if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
    errno = EAGAIN;
    return -1;
  }
  if (err == SSL_ERROR_ZERO_RETURN) return 0;
  if (err == SSL_ERROR_SYSCALL && errno == 0) return 0;
  if (errno == 0 || errno == EAGAIN) errno = ECONNRESET;
  return -1;
}

bool TTlsTransport::Pending() const { return SSL_pending(FState->Ssl) > 0; }

void TTlsTransport::Shutdown(int) {
  ERR_clear_error();
  SSL_shutdown(FState->Ssl);  // one try: the close does not wait for the peer
}

}  // namespace kwinet
