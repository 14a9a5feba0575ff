#include "kwinet/socket/KwInBase.h"

#include "kwinet/utils/kwiutil.h"

namespace kwinet {

// --- TKwInetProxy ----------------------------------------------------------------

void TKwInetProxy::Assign(TPersistent* Source) {
  if (auto* src = dynamic_cast<TKwInetProxy*>(Source)) {
    SetUseProxy(src->UseProxy());
    SetServer(src->Server());
    SetUser(src->User());
    SetPassword(src->Password());
    SetPort(src->Port());
    return;
  }
  TPersistent::Assign(Source);
}

void TKwInetProxy::FillProxyInfo() {
  String server = FProxyServer;
  bool use = FUseProxyServer;
  int port = FProxyPort;
  ReadProxyInfo(server, use, port);
  FProxyServer = server;
  FUseProxyServer = use;
  FProxyPort = port;
}

}  // namespace kwinet
