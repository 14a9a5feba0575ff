#include "kwinet/design/KwInetClasses.h"
#include "kwinet/design/WebFamilyClasses.h"

namespace kwinet {

void RegisterWebClasses() {
  RegisterWebTransferClasses();
  RegisterTrackingClasses();
  RegisterTranslateClasses();
}

}  // namespace kwinet
