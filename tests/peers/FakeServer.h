// The scripted in-process server, shared with the tool's demo: see
// support/FakeServer.h.
#pragma once

#include "support/FakeServer.h"

namespace kwinet::test {

using support::FakeConnection;
using support::FakeServer;

}  // namespace kwinet::test
