#include "kwinet/core/FormStream.h"

namespace kwinet {

void RegisterCoreClasses() {}

}  // namespace kwinet
