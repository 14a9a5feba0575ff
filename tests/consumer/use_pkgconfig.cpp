// Built by hand with `g++ use_pkgconfig.cpp $(pkg-config --cflags --libs kwinet)`
// against an installed kwinet: its headers, its version and its library.
#include <cstdio>
#include <cstring>

#include "kwinet/Version.h"
#include "kwinet/utils/kwiutil.h"

int main() {
  const bool ok = kwinet::PercentEncode("a b/\xC3\xA9") == "a%20b%2F%C3%A9" &&
                  std::strcmp(kwinet::LibraryVersion(), KWINET_VERSION_STRING) == 0;
  std::printf("%s kwinet %s\n", ok ? "ok" : "FAIL", kwinet::LibraryVersion());
  return ok ? 0 : 1;
}
