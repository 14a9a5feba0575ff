// A virtual X server (Xvfb) for the desktop dialogs' tests: started on the
// first free display number (Xvfb picks it and tells it through
// -displayfd), with its log in a private folder, stopped with the object.
#pragma once

#include <string>

#include "peers/ServerProcess.h"
#include "peers/TestSupport.h"

namespace kwinet::test {

class Xvfb {
 public:
  static constexpr const char* Program = "/usr/bin/Xvfb";
  static constexpr const char* Package = "xvfb";

  // Starts the server and waits (at most 10 s) until it has a display;
  // Ok() tells whether it did, Error() why not.
  Xvfb();
  bool Ok() const { return FOk; }
  const std::string& Error() const { return FError; }
  // The DISPLAY value of the server, ":N".
  const std::string& Display() const { return FDisplay; }

 private:
  TempDir FDir;
  TServerProcess FServer;
  std::string FDisplay;
  bool FOk = false;
  std::string FError;
};

}  // namespace kwinet::test
