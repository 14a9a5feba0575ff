// nginx on loopback for the HTTP tests (shared with the tool's demo).
#pragma once

#include "peers/ServerProcess.h"
#include "support/Nginx.h"

namespace kwinet::test {

using support::TNginx;
using support::TNginxOptions;
using support::TTestCertificates;

}  // namespace kwinet::test
