// The kwinet tool: each component family adds one subcommand from a file of
// its own, through a registration object, and may add a part to the demo.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <vector>

#include "kwinet/core/Exceptions.h"
#include "kwinet/core/String.h"

namespace kwinet::tool {

// A failure that the tool reports as one line on stderr with this exit code.
class ToolError : public std::runtime_error {
 public:
  ToolError(int code, const std::string& message) : std::runtime_error(message), Code(code) {}
  int Code;
};

struct Command {
  std::string Name;
  int Order;  // place in the help text and in the demo
  // Adds the subcommand to the application; its callback sets ExitCode().
  std::function<void(CLI::App& app)> Setup;
  // The command's part of the demo, or empty. Returns 0 when it went well.
  std::function<int()> Demo;
};

std::vector<Command>& Registry();

struct Register {
  explicit Register(Command command) { Registry().push_back(std::move(command)); }
};

// The exit status that the running command sets (0 unless it says otherwise).
int& ExitCode();

// Runs the tool in this process with the given arguments (without the
// program name) and returns its exit status; the demo uses it to show each
// command as a user would type it.
int Run(const std::vector<std::string>& args);

// Writes text as UTF-8 to standard output, with or without a line end.
void Print(const String& text, bool newline = true);
void PrintBytes(std::string_view bytes);

// A value from a server on one line of a terminal, as UTF-8: line breaks,
// tabs and every other control character (an escape sequence must not reach
// the terminal) are written as "\n", "\r", "\t" or "\xHH"; a backslash as
// "\\".
std::string OneLineValue(const String& value);

}  // namespace kwinet::tool
