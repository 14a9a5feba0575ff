#include "DemoSupport.h"

#include <cstdio>

#include "Tool.h"

namespace kwinet::tool {

bool Show(const std::vector<std::string>& args, int expected) {
  std::string line = "$ kwinet";
  for (const auto& a : args)
    line += (a.empty() || a.find_first_of(" &;'\"<>|*?$") != std::string::npos) ? " '" + a + "'" : " " + a;
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  const int code = Run(args);
  std::fflush(stdout);
  std::fflush(stderr);
  if (code != expected) std::printf("(exit status %d, expected %d)\n", code, expected);
  return code == expected;
}

}  // namespace kwinet::tool
