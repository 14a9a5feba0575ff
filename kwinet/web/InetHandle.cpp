#include "kwinet/web/InetHandle.h"

#include "kwinet/web/KwInet.h"

namespace kwinet {

void TInternetHandle::Reset(HINTERNET Handle) noexcept {
  // A handle closed already with its parent is refused: nothing to do.
  if (FHandle && FHandle != Handle) InternetCloseHandle(FHandle);
  FHandle = Handle;
}

}  // namespace kwinet
