#include "peers/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <link.h>
#include <malloc.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's own heap figure: malloc's statistics are empty under it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace kwinet::test {

bool LibraryLoaded(const char* Stem) {
  auto visit = [](dl_phdr_info* info, size_t, void* data) -> int {
    return info->dlpi_name && std::strstr(info->dlpi_name, static_cast<const char*>(data)) ? 1 : 0;
  };
  return dl_iterate_phdr(visit, const_cast<char*>(Stem)) != 0;
}

long long HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return static_cast<long long>(__sanitizer_get_current_allocated_bytes());
#else
  const struct mallinfo2 m = mallinfo2();
  return static_cast<long long>(m.uordblks + m.hblkhd);
#endif
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void SetMTime(const std::string& path, time_t t) {
  struct timespec times[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

TEnvScope::TEnvScope(const char* name, const std::string& value) : FName(name) {
  if (const char* old = std::getenv(name)) FOld = old;
  ::setenv(name, value.c_str(), 1);
}

TEnvScope::~TEnvScope() {
  if (FOld)
    ::setenv(FName, FOld->c_str(), 1);
  else
    ::unsetenv(FName);
}

bool InCI() {
  const char* ci = std::getenv("CI");
  return ci && std::string(ci) == "true";
}

}  // namespace kwinet::test
