#include "kwinet/design/KwInetClasses.h"

#include <mutex>

#include "kwinet/storage/FormStream.h"

namespace kwinet {

void RegisterKwInetClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterCoreClasses();
    RegisterSocketClasses();
    RegisterWebClasses();
  });
}

}  // namespace kwinet
