// Helpers shared by the test suites.
#pragma once

#include <string>

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

// True when running under CI (CI=true): a missing peer must fail, not skip.
bool InCI();

}  // namespace kwinet::test
