// libcurl stays out of a process until the first transfer session needs it.
#include <gtest/gtest.h>
#include <unistd.h>

#include "kwinet/web/InetDriver.h"
#include "peers/TestSupport.h"

namespace kwinet {
namespace {

using test::LibraryLoaded;

// Runs in a fresh process (the death-test child is started anew), so that no
// other test has loaded the library already. The exit code tells which step
// went wrong.
TEST(LazyCurl, LoadedByTheFirstSessionOnly) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        if (LibraryLoaded("libcurl.so")) _exit(1);
        std::int64_t seconds = 0;
        TTransferSession session;
        if (!session.Valid()) _exit(2);
        if (!LibraryLoaded("libcurl.so")) _exit(3);
        if (!ParseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT", seconds) || seconds != 784111777) _exit(4);
        _exit(0);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace kwinet
