// Helpers shared by the test suites.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace kwinet::test {

// A private temporary folder, removed with everything in it at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return FPath; }
  std::string File(const std::string& name) const { return FPath + "/" + name; }

 private:
  std::string FPath;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

// Runs a program with arguments (argv[0] is the program's path), feeding it
// Input on standard input; it is killed when it outlives Timeout.
struct ProcessResult {
  int ExitCode = -1;  // -1 when it did not exit normally (killed, timed out)
  bool TimedOut = false;
  std::string Out, Err;
};
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input = "",
                         std::chrono::milliseconds timeout = std::chrono::seconds(60));

// True when running under CI (CI=true): a missing peer must fail, not skip.
bool InCI();

}  // namespace kwinet::test
