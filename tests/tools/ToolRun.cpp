#include "tools/ToolRun.h"

#include <algorithm>

namespace kwinet::test {

ProcessResult Tool(std::vector<std::string> args, const std::string& input, std::chrono::milliseconds timeout) {
  args.insert(args.begin(), KWINET_TOOL_PATH);
  return RunProcess(args, input, timeout);
}

int Lines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

bool OneErrorLine(const ProcessResult& r) {
  return !r.Err.empty() && r.Err.find('\n') == r.Err.size() - 1;
}

}  // namespace kwinet::test
