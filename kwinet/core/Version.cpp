#include "kwinet/Version.h"

namespace kwinet {

const char* LibraryVersion() noexcept {
  return KWINET_VERSION_STRING;
}

}  // namespace kwinet
