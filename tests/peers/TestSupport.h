// Helpers shared by the test suites. Temporary folders and running programs
// come from the support library that the tool's demo uses as well.
#pragma once

#include <ctime>
#include <optional>
#include <string>

#include "support/Process.h"
#include "support/TempDir.h"

namespace kwinet::test {

using support::ProcessResult;
using support::RunProcess;
using support::TempDir;

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// Sets the file's access and modification times to t (a test failure when it
// cannot).
void SetMTime(const std::string& path, time_t t);

// Heap bytes in use now (the sanitizer's count under AddressSanitizer).
long long HeapInUse();

// Whether a shared library whose file name holds Stem is loaded in this
// process.
bool LibraryLoaded(const char* Stem);

// Sets an environment variable for as long as it lives; the old value (or
// its absence) comes back afterwards.
class TEnvScope {
 public:
  TEnvScope(const char* name, const std::string& value);
  ~TEnvScope();
  TEnvScope(const TEnvScope&) = delete;
  TEnvScope& operator=(const TEnvScope&) = delete;

 private:
  const char* FName;
  std::optional<std::string> FOld;
};

// True when running under CI (CI=true): a missing peer must fail, not skip.
bool InCI();

}  // namespace kwinet::test
