#include "kwinet/web/kwixtract.h"

#include <unistd.h>

#include "kwinet/core/Streams.h"
#include "kwinet/utils/PrivateTemp.h"
#include "kwinet/web/LinkScanner.h"
#include "kwinet/web/TempCopy.h"

namespace kwinet {

std::string_view KwIExtractPrefix(TKwIExtract Value) {
  static constexpr std::string_view kPrefixes[] = {"mailto:", "http://", "https://",  "ftp://", "file://",
                                                   "telnet:", "news:",   "gopher://", "wais:"};
  return Value <= itWais ? kPrefixes[Value] : kPrefixes[ieMailTo];
}

TKwInfoExtractor::TKwInfoExtractor(TComponent* AOwner)
    : TKwCustomWebUpdater(AOwner), FExtractedInfo(std::make_unique<TStringList>()) {
  SetMaxResponseSize(ContentMaxResponseSize);
}

TKwInfoExtractor::~TKwInfoExtractor() {
  EndJob();  // the job uses what goes below
  DeleteLocalFile();
}

void TKwInfoExtractor::DeleteLocalFile() {
  // The copy and a partial download that a failed job left beside it; both
  // live in this user's private folder, where unlink touches only the name.
  RemoveTempCopy(FLocalFileName);
}

void TKwInfoExtractor::SetRemoteFileName(const String& Value) {
  TKwCustomWebUpdater::SetRemoteFileName(Value);
  // If no private folder can be had, Execute tries again.
  RenewTempCopy(FLocalFileName, Value);
}

bool TKwInfoExtractor::Execute() {
  // Never an empty name (the download would land in the working folder).
  EnsureTempCopy(FLocalFileName, FRemoteFileName);
  const bool result = TKwCustomWebUpdater::Execute();
  if (result && FileExists(FLocalFileName)) Scan();
  return result;
}

void TKwInfoExtractor::Scan() {
  FExtractedInfo->Clear();
  const auto file = OpenTempCopy(FLocalFileName);
  TStringList& links = *FExtractedInfo;
  TLinkScanner scanner(KwIExtractPrefix(FExtract), [&links](std::string_view link) { links.Add(BytesToString(link)); });
  ScanLinks(*file, scanner, 64 * 1024);
}

}  // namespace kwinet
