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
#include <mutex>
#include <string>

#include "kwinet/core/SharedLibrary.h"

#ifndef KWINET_SSL_SONAME
#define KWINET_SSL_SONAME "libssl.so.3"
#endif

namespace kwinet {

namespace {

// OpenSSL is loaded on the first TLS connection, not at process start: most
// programs and most commands of the tool never make one, and loading libssl
// and libcrypto would cost them about as much as their own run. Every call
// into OpenSSL goes through this table; its macros are written out as the
// calls they stand for (SSL_ctrl, BIO_ctrl, ...), so that a call that slips
// past the table fails to link instead of loading OpenSSL eagerly.
// clang-format off
#define KWINET_SSL_FUNCTIONS(X)                                                                              \
  X(BIO_clear_flags) X(BIO_set_flags) X(BIO_ctrl) X(BIO_int_ctrl) X(BIO_new) X(BIO_s_socket)                 \
  X(BIO_get_new_index) X(BIO_meth_new) X(BIO_meth_set_write) X(BIO_meth_set_read) X(BIO_meth_set_puts)       \
  X(BIO_meth_set_ctrl) X(BIO_meth_get_ctrl) X(BIO_meth_set_create) X(BIO_meth_get_create)                    \
  X(BIO_meth_set_destroy) X(BIO_meth_get_destroy) X(ERR_get_error) X(ERR_clear_error) X(ERR_error_string_n)  \
  X(TLS_client_method) X(SSL_CTX_new) X(SSL_CTX_free) X(SSL_CTX_ctrl) X(SSL_CTX_set_options)                 \
  X(SSL_CTX_set_verify) X(SSL_CTX_load_verify_locations) X(SSL_CTX_set_default_verify_paths) X(SSL_new)      \
  X(SSL_free) X(SSL_ctrl) X(SSL_set_bio) X(SSL_get0_param) X(X509_VERIFY_PARAM_set1_ip_asc) X(SSL_set1_host) \
  X(SSL_connect) X(SSL_get_error) X(SSL_get_verify_result) X(X509_verify_cert_error_string) X(SSL_write)     \
  X(SSL_read) X(SSL_pending) X(SSL_shutdown)
// clang-format on

// Each entry keeps the exact type that OpenSSL's headers give the function.
struct TSslApi {
#define KWINET_SSL_ENTRY(name) decltype(&::name) name;
  KWINET_SSL_FUNCTIONS(KWINET_SSL_ENTRY)
#undef KWINET_SSL_ENTRY
};

// Set once OpenSSL is loaded; null before, or if that failed.
const TSslApi* gSsl = nullptr;
std::string gSslLoadError;

// Loads libssl (which brings libcrypto with it) once for the process. The
// reason stays in gSslLoadError if it could not be loaded.
bool LoadOpenSSL() {
  static std::once_flag once;
  std::call_once(once, [] {
    void* handle = OpenSharedLibrary(KWINET_SSL_SONAME, gSslLoadError);
    if (!handle) return;
    static TSslApi api;
#define KWINET_SSL_FIND(name) &&FindSharedFunction(handle, KWINET_SSL_SONAME, #name, api.name, gSslLoadError)
    if (true KWINET_SSL_FUNCTIONS(KWINET_SSL_FIND)) gSsl = &api;
#undef KWINET_SSL_FIND
  });
  return gSsl != nullptr;
}

// A BIO that moves bytes with send and recv, so that a peer that has gone
// is a failed write (never SIGPIPE) and nothing waits inside OpenSSL.
int BioFd(BIO* bio) { return static_cast<int>(gSsl->BIO_ctrl(bio, BIO_C_GET_FD, 0, nullptr)); }

bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }

int BioWrite(BIO* bio, const char* data, int len) {
  gSsl->BIO_clear_flags(bio, BIO_FLAGS_RWS | BIO_FLAGS_SHOULD_RETRY);
  ssize_t n = ::send(BioFd(bio), data, static_cast<std::size_t>(len), MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n < 0 && WouldBlock()) gSsl->BIO_set_flags(bio, BIO_FLAGS_WRITE | BIO_FLAGS_SHOULD_RETRY);
  return static_cast<int>(n);
}

int BioRead(BIO* bio, char* data, int len) {
  gSsl->BIO_clear_flags(bio, BIO_FLAGS_RWS | BIO_FLAGS_SHOULD_RETRY);
  ssize_t n = ::recv(BioFd(bio), data, static_cast<std::size_t>(len), MSG_DONTWAIT);
  if (n < 0 && WouldBlock()) gSsl->BIO_set_flags(bio, BIO_FLAGS_READ | BIO_FLAGS_SHOULD_RETRY);
  return static_cast<int>(n);
}

int BioPuts(BIO* bio, const char* s) { return BioWrite(bio, s, static_cast<int>(std::strlen(s))); }

BIO_METHOD* SocketMethod() {
  static BIO_METHOD* method = [] {
    const int type = gSsl->BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR;
    BIO_METHOD* m = gSsl->BIO_meth_new(type, "kwinet socket");
    const BIO_METHOD* base = gSsl->BIO_s_socket();
    gSsl->BIO_meth_set_write(m, BioWrite);
    gSsl->BIO_meth_set_read(m, BioRead);
    gSsl->BIO_meth_set_puts(m, BioPuts);
    gSsl->BIO_meth_set_ctrl(m, gSsl->BIO_meth_get_ctrl(base));
    gSsl->BIO_meth_set_create(m, gSsl->BIO_meth_get_create(base));
    gSsl->BIO_meth_set_destroy(m, gSsl->BIO_meth_get_destroy(base));
    return m;
  }();
  return method;
}

[[noreturn]] void HandshakeFailed(const String& host, const String& why) {
  throw ESocketError(u"TLS handshake with %s failed: %s", {host, why});
}

String OpenSSLReason() {
  unsigned long e = gSsl->ERR_get_error();
  gSsl->ERR_clear_error();
  if (e == 0) return u"the connection was closed";
  char buf[256];
  gSsl->ERR_error_string_n(e, buf, sizeof buf);
  return Utf8ToString(buf);
}

}  // namespace

struct TTlsTransport::State {
  SSL_CTX* Ctx = nullptr;
  SSL* Ssl = nullptr;
  ~State() {
    if (Ssl) gSsl->SSL_free(Ssl);
    if (Ctx) gSsl->SSL_CTX_free(Ctx);
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
  if (!LoadOpenSSL()) HandshakeFailed(Host, Utf8ToString("OpenSSL could not be loaded: " + gSslLoadError));
  std::unique_ptr<TTlsTransport> t(new TTlsTransport());
  t->FState = std::make_unique<State>();
  State& s = *t->FState;
  const std::string host = StringToUtf8(Host);
  gSsl->ERR_clear_error();
  s.Ctx = gSsl->SSL_CTX_new(gSsl->TLS_client_method());
  if (!s.Ctx) HandshakeFailed(Host, OpenSSLReason());
  gSsl->SSL_CTX_ctrl(s.Ctx, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr);
  gSsl->SSL_CTX_set_options(s.Ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
  gSsl->SSL_CTX_ctrl(s.Ctx, SSL_CTRL_MODE, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER,
                     nullptr);
  gSsl->SSL_CTX_set_verify(s.Ctx, SSL_VERIFY_PEER, nullptr);
  if (!CAFile.empty()) {
    if (gSsl->SSL_CTX_load_verify_locations(s.Ctx, StringToUtf8(CAFile).c_str(), nullptr) != 1)
      HandshakeFailed(Host, u"cannot load the CA file \"" + CAFile + u"\": " + OpenSSLReason());
  } else if (gSsl->SSL_CTX_set_default_verify_paths(s.Ctx) != 1) {
    HandshakeFailed(Host, OpenSSLReason());
  }
  s.Ssl = gSsl->SSL_new(s.Ctx);
  if (!s.Ssl) HandshakeFailed(Host, OpenSSLReason());
  BIO* bio = gSsl->BIO_new(SocketMethod());
  gSsl->BIO_int_ctrl(bio, BIO_C_SET_FD, BIO_NOCLOSE, Fd);
  gSsl->SSL_set_bio(s.Ssl, bio, bio);
  // The name to verify: an address literal, or a host name (also sent as SNI).
  unsigned char addr[16];
  const bool isIP = ::inet_pton(AF_INET, host.c_str(), addr) == 1 || ::inet_pton(AF_INET6, host.c_str(), addr) == 1;
  // A name that cannot be set would leave the certificate's name unchecked:
  // the handshake stops there.
  if (isIP) {
    if (gSsl->X509_VERIFY_PARAM_set1_ip_asc(gSsl->SSL_get0_param(s.Ssl), host.c_str()) != 1)
      HandshakeFailed(Host, u"cannot set the address to check the certificate against: " + OpenSSLReason());
  } else {
    if (gSsl->SSL_ctrl(s.Ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                       const_cast<char*>(host.c_str())) != 1)
      HandshakeFailed(Host, u"cannot set the server name to send: " + OpenSSLReason());
    if (gSsl->SSL_set1_host(s.Ssl, host.c_str()) != 1)
      HandshakeFailed(Host, u"cannot set the name to check the certificate against: " + OpenSSLReason());
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    int r = gSsl->SSL_connect(s.Ssl);
    if (r == 1) break;
    int err = gSsl->SSL_get_error(s.Ssl, r);
    short events;
    if (err == SSL_ERROR_WANT_READ) events = POLLIN;
    else if (err == SSL_ERROR_WANT_WRITE) events = POLLOUT;
    else {
      long verify = gSsl->SSL_get_verify_result(s.Ssl);
      if (verify != X509_V_OK) HandshakeFailed(Host, Utf8ToString(gSsl->X509_verify_cert_error_string(verify)));
      HandshakeFailed(Host, OpenSSLReason());
    }
    int wait = -1;
    if (TimeoutMs > 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) HandshakeFailed(Host, Format(u"no answer within %d ms", {TimeoutMs}));
      wait = static_cast<int>(left.count());
    }
    pollfd p{Fd, events, 0};
    int n = ::poll(&p, 1, wait);
    if (n == 0) HandshakeFailed(Host, Format(u"no answer within %d ms", {TimeoutMs}));
    if (n < 0 && errno != EINTR) HandshakeFailed(Host, SysErrorMessage(errno));
  }
  return t;
}

ssize_t TTlsTransport::Write(int, const void* Buf, std::size_t Count) {
  gSsl->ERR_clear_error();
  int n = gSsl->SSL_write(FState->Ssl, Buf, static_cast<int>(std::min<std::size_t>(Count, 1 << 30)));
  if (n > 0) return n;
  int err = gSsl->SSL_get_error(FState->Ssl, n);
  if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) errno = EAGAIN;
  else if (errno == 0 || errno == EAGAIN) errno = EPIPE;
  return -1;
}

ssize_t TTlsTransport::Read(int, void* Buf, std::size_t Count) {
  gSsl->ERR_clear_error();
  int n = gSsl->SSL_read(FState->Ssl, Buf, static_cast<int>(std::min<std::size_t>(Count, 1 << 30)));
  if (n > 0) return n;
  int err = gSsl->SSL_get_error(FState->Ssl, n);
  if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
    errno = EAGAIN;
    return -1;
  }
  if (err == SSL_ERROR_ZERO_RETURN) return 0;
  if (err == SSL_ERROR_SYSCALL && errno == 0) return 0;
  if (errno == 0 || errno == EAGAIN) errno = ECONNRESET;
  return -1;
}

bool TTlsTransport::Pending() const { return gSsl->SSL_pending(FState->Ssl) > 0; }

void TTlsTransport::Shutdown(int) {
  gSsl->ERR_clear_error();
  gSsl->SSL_shutdown(FState->Ssl);  // one try: the close does not wait for the peer
}

}  // namespace kwinet
