/// @file
/// The link extractor: a web updater that keeps a private local copy of a
/// remote page and, after each job, collects every link of one kind in it
/// (mailto, http, https, ftp, file, telnet, news, gopher or wais addresses).
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "kwinet/core/StringList.h"
#include "kwinet/web/kwiupdate.h"

namespace kwinet {

/// The kind of link to collect: mailto, http, https, ftp, file, telnet, news,
/// gopher or wais.
enum TKwIExtract : std::uint8_t { ieMailTo, ieHTTP, itHTTPS, itFTP, itFile, itTelnet, itNews, itGopher, itWais };
/// @var ieMailTo
/// mailto: addresses.
/// @var ieHTTP
/// http:// links.
/// @var itHTTPS
/// https:// links.
/// @var itFTP
/// ftp:// links.
/// @var itFile
/// file: links.
/// @var itTelnet
/// telnet:// links.
/// @var itNews
/// news: links.
/// @var itGopher
/// gopher:// links.
/// @var itWais
/// wais:// links.

/// The prefix that each kind of link begins with ("mailto:", "http://"...).
std::string_view KwIExtractPrefix(TKwIExtract Value);

/// Fetches a page and collects every link of one kind in it.
class TKwInfoExtractor : public TKwCustomWebUpdater {
 public:
  /// Creates the extractor for mailto links, with ContentMaxResponseSize as the
  /// bound.
  explicit TKwInfoExtractor(TComponent* AOwner);
  /// Deletes the local copy.
  ~TKwInfoExtractor() override;

  /// The updater's job; then, unless it failed, the local copy (when there is
  /// one) is scanned into ExtractedInfo, so an unchanged page is scanned
  /// again. A failed job leaves ExtractedInfo as it was. A local copy that
  /// cannot be opened raises EFOpenError.
  bool Execute() override;
  /// Stores the name, deletes the local copy and picks a new private one that
  /// keeps the remote file's extension.
  void SetRemoteFileName(const String& Value) override;

  ///@{
  /// The kind of link collected (ieMailTo at first).
  TKwIExtract Extract() const { return FExtract; }
  void SetExtract(TKwIExtract value) { FExtract = value; }
  ///@}
  /// The links of the last scan, in the order found, duplicates kept; each
  /// character is one byte of the page.
  TStringList* ExtractedInfo() const { return FExtractedInfo.get(); }

 private:
  void DeleteLocalFile();
  void Scan();

  std::unique_ptr<TStringList> FExtractedInfo;
  TKwIExtract FExtract = ieMailTo;
};

}  // namespace kwinet
