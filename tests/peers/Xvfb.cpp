#include "peers/Xvfb.h"

#include <unistd.h>

#include <chrono>
#include <sstream>

namespace kwinet::test {

namespace {

// The display number Xvfb wrote on its own line of the log, or -1.
int DisplayNumber(const std::string& log) {
  std::istringstream lines(log);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line.size() > 6 || line.find_first_not_of("0123456789") != std::string::npos) continue;
    return std::stoi(line);
  }
  return -1;
}

}  // namespace

Xvfb::Xvfb() {
  if (!HaveProgram(Program)) {
    FError = std::string(Program) + " is missing (install the Debian package " + Package + ")";
    return;
  }
  const std::string log = FDir.File("xvfb.log");
  // -displayfd 1: the number chosen goes to standard output, that is the
  // log. Only local connections; no reset when the last client leaves.
  if (!FServer.Start({Program, "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"},
                     log)) {
    FError = "cannot start Xvfb";
    return;
  }
  int number = -1;
  FOk = FServer.WaitReady(
      [&] {
        number = DisplayNumber(ReadFileBytes(log));
        return number >= 0 && ::access(("/tmp/.X11-unix/X" + std::to_string(number)).c_str(), F_OK) == 0;
      },
      std::chrono::seconds(10));
  if (!FOk) {
    FError = "Xvfb did not come up: " + ReadFileBytes(log);
    return;
  }
  FDisplay = ":" + std::to_string(number);
}

}  // namespace kwinet::test
