// Running the built kwinet tool from the tool's tests, and reading what it
// says on standard error.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "peers/TestSupport.h"

namespace kwinet::test {

// Runs kwinet with the arguments, Input on standard input, killed when it
// outlives Timeout.
ProcessResult Tool(std::vector<std::string> args, const std::string& input = "",
                   std::chrono::milliseconds timeout = std::chrono::seconds(60));

// How many lines a text holds (its line ends).
int Lines(const std::string& text);

// A failure says why in one line on standard error.
bool OneErrorLine(const ProcessResult& r);

}  // namespace kwinet::test
