// An FTP server on loopback for the tests (shared with the tool's demo).
#pragma once

#include "peers/ServerProcess.h"
#include "support/FtpServer.h"

namespace kwinet::test {

using support::TFtpOptions;
using support::TFtpServer;

}  // namespace kwinet::test
