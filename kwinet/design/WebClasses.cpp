#include "kwinet/design/KwInetClasses.h"

namespace kwinet {

void RegisterWebClasses() {}

}  // namespace kwinet
