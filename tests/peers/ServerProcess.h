// Starting and stopping real servers for the tests: free loopback ports, a
// child process with its output in a log file, and waits that have a bound
// (shared with the tool's demo: support/Ports.h, support/Process.h), and the
// rule for a peer that cannot be had.
#pragma once

#include <gtest/gtest.h>

#include "peers/TestSupport.h"
#include "support/Ports.h"
#include "support/Process.h"

namespace kwinet::test {

using support::FreePort;
using support::FreeUdpTcpPort;
using support::HaveProgram;
using support::PortOpen;
using support::RunShell;
using support::TServerProcess;
using support::UdpAnswers;
using support::WaitForPort;

}  // namespace kwinet::test

// A peer server that could not be had: a failure under CI, elsewhere a skip
// that names the package to install.
#define KWINET_REQUIRE_PEER(ok, what)                                       \
  do {                                                                      \
    if (!(ok)) {                                                            \
      if (::kwinet::test::InCI()) FAIL() << "peer not available: " << what; \
      GTEST_SKIP() << "peer not available: " << what;                       \
    }                                                                       \
  } while (0)
