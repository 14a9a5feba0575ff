#include "kwinet/web/kwidir.h"

namespace kwinet {

TKwRemoteFiles::TKwRemoteFiles(TComponent* AOwner)
    : TKwCustomWebComponent(AOwner), FWildCard(u"*.*"), FFileList(std::make_unique<TStringList>()) {
  SetMaxResponseSize(ContentMaxResponseSize);
}

TKwRemoteFiles::~TKwRemoteFiles() {
  EndJob();  // the job uses what goes below
}

void TKwRemoteFiles::InternalExecute() {
  FFileList->Clear();
  ConnectToInet(true);
  if ((!hInet || !hURL) && Service() != isNetwork) {
    SetErrorText();
    if (ErrorText().empty()) SetErrorText(u"Cannot connect to " + Host());
    SetStatus(isFailed);
  } else if (!ReadDirFromInet(FDirectory, FWildCard, *FFileList, FSubFolders) && Status() != isFailed) {
    if (Service() == isHTTP || Service() == isHTTPS)
      SetErrorText(u"Nothing is listed over HTTP");
    else
      SetErrorText(u"Nothing matches " + FWildCard + u" in " +
                   (FDirectory.empty() ? String(Service() == isFTP ? u"/" : u".") : FDirectory));
    SetStatus(isNotFound);
  }
  DisconnectFromInet();
}

}  // namespace kwinet
