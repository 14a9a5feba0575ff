#include "kwinet/utils/KwInProxy.h"

#include "kwinet/utils/ProxyPolicy.h"

namespace kwinet {

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
  FillProxyInfo(u"http");
}

void TKwInetProxy::FillProxyInfo(const String& Scheme) {
  ReadProxyInfo(Scheme, FProxyServer, FUseProxyServer, FProxyPort, FProxyUser, FProxyPassword);
}

}  // namespace kwinet
