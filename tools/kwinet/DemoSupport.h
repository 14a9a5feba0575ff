// What the demo parts share: showing a command as a user would type it and
// running it. Servers for the demo come from the support library that the
// tests use too: a private temporary folder, server processes on loopback
// ports for as long as the demo part runs, and the scripted fake server.
#pragma once

#include <string>
#include <vector>

#include "support/FakeServer.h"
#include "support/FtpServer.h"
#include "support/Nginx.h"
#include "support/Ports.h"
#include "support/Process.h"
#include "support/TempDir.h"

namespace kwinet::tool {

// Prints "$ kwinet ARGS" and runs the tool with ARGS in this process;
// true when it exits with Expected.
bool Show(const std::vector<std::string>& args, int expected = 0);

}  // namespace kwinet::tool
