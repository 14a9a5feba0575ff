// A private temporary folder, removed with everything in it at destruction.
#pragma once

#include <string>

namespace kwinet::support {

class TempDir {
 public:
  // Makes $TMPDIR (or /tmp) / Prefix-XXXXXX, readable by this user only.
  // Throws std::runtime_error when it cannot.
  explicit TempDir(const std::string& Prefix = "kwinet-test");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return FPath; }
  std::string File(const std::string& name) const { return FPath + "/" + name; }

 private:
  std::string FPath;
};

}  // namespace kwinet::support
