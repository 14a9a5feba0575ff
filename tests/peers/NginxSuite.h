// A test suite that shares one nginx on loopback: started once before its
// first test, stopped after its last. The proxy variables are cleared first,
// so that the suite's loopback traffic goes straight to the server; a test
// runs only when the server is up.
//
//   class RssTool : public kwinet::test::TNginxSuite {};
//   TEST_F(RssTool, ...) { WriteFileBytes(server->Root() + "/a.xml", ...); }
//
// A suite that wants other options, or files in place before its first
// test, hides SetUpTestSuite with its own that calls StartNginx.
#pragma once

#include <gtest/gtest.h>

#include "peers/Nginx.h"

namespace kwinet::test {

// Unsets every proxy variable (both cases), for the rest of the process.
void ClearProxyEnvironment();

class TNginxSuite : public ::testing::Test {
 public:
  static void SetUpTestSuite() { StartNginx({}); }
  static void TearDownTestSuite() { StopNginx(); }

 protected:
  static void StartNginx(const TNginxOptions& options);
  static void StopNginx();
  // Fails or skips the test (by the rule for a missing peer) when nginx did
  // not come up. A suite's own SetUp calls it first and stops when
  // NoServer() says so.
  void SetUp() override;
  bool NoServer() const { return IsSkipped() || HasFatalFailure(); }

  static TNginx* server;
};

}  // namespace kwinet::test
