// OpenSSL stays out of a process until the first TLS handshake needs it.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "kwinet/core/Exceptions.h"
#include "kwinet/socket/TlsTransport.h"
#include "peers/TestSupport.h"

namespace kwinet {
namespace {

using test::LibraryLoaded;

// Runs in a fresh process (the death-test child is started anew), so that no
// other test has loaded the libraries already. The handshake is made against
// a peer that has hung up: it must fail as a socket error, with OpenSSL
// loaded by then. The exit code tells which step went wrong.
TEST(LazyTls, LoadedByTheFirstHandshakeOnly) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        if (LibraryLoaded("libssl.so") || LibraryLoaded("libcrypto.so")) _exit(1);
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) _exit(2);
        ::close(fds[1]);
        try {
          TTlsTransport::Handshake(fds[0], u"localhost", u"", 2000);
          _exit(3);
        } catch (const ESocketError&) {
        }
        if (!LibraryLoaded("libssl.so") || !LibraryLoaded("libcrypto.so")) _exit(4);
        _exit(0);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace kwinet
