#include "kwinet/design/KwInetClasses.h"

namespace kwinet {

void RegisterSocketClasses() {}

}  // namespace kwinet
