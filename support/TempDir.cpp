#include "support/TempDir.h"

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace kwinet::support {

TempDir::TempDir(const std::string& Prefix) {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/" + Prefix + "-XXXXXX";
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("cannot make a temporary folder " + tmpl);
  FPath = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(FPath, ec);
}

}  // namespace kwinet::support
