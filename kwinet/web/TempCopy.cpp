#include "kwinet/web/TempCopy.h"

#include "kwinet/utils/PrivateTemp.h"

namespace kwinet {

void RenewTempCopy(String& Name, const String& RemoteFileName) {
  DropTempCopy(Name);
  EnsureTempCopy(Name, RemoteFileName);
}

void EnsureTempCopy(String& Name, const String& RemoteFileName) {
  if (Name.empty()) Name = PrivateTempFileName(RemoteFileName);
}

void DropTempCopy(String& Name) {
  RemoveTempCopy(Name);
  Name.clear();
}

std::unique_ptr<TFileStream> OpenTempCopy(const String& Name) {
  return std::make_unique<TFileStream>(Name, fmOpenRead | fmShareDenyWrite | fmNoFollow);
}

}  // namespace kwinet
