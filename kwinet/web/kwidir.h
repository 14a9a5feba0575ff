/// @file
/// TKwRemoteFiles: the names in a folder of an FTP server or of the file
/// system, optionally with every subfolder, in one Execute.
#pragma once

#include <memory>

#include "kwinet/core/StringList.h"
#include "kwinet/web/kwiupdate.h"

namespace kwinet {

/// Lists the names in a folder of an FTP server or of the file system,
/// optionally with every subfolder.
class TKwRemoteFiles : public TKwCustomWebComponent {
 public:
  /// Creates the component: WildCard "*.*", no subfolders,
  /// ContentMaxResponseSize as the bound.
  explicit TKwRemoteFiles(TComponent* AOwner);
  ~TKwRemoteFiles() override;

  ///@{
  /// For FTP an absolute path on the server ("/" when empty); for isNetwork
  /// a folder of the file system (the current folder when empty).
  const String& Directory() const { return FDirectory; }
  void SetDirectory(const String& value) { FDirectory = value; }
  ///@}
  ///@{
  /// The pattern the names must match; "*.*" matches every name.
  const String& WildCard() const { return FWildCard; }
  void SetWildCard(const String& value) { FWildCard = value; }
  ///@}
  ///@{
  /// Whether every subfolder is listed too (false at first).
  bool SubFolders() const { return FSubFolders; }
  void SetSubFolders(bool value) { FSubFolders = value; }
  ///@}

  /// One entry per file or folder found, in the order found: bare names for
  /// the folder asked for when it is the current one, paths otherwise.
  TStrings* FileList() const { return FFileList.get(); }

 protected:
  /// Fills FileList; ends isNotFound when nothing matched (always over
  /// HTTP), isFailed when the server could not be reached.
  void InternalExecute() override;

 private:
  String FDirectory;
  String FWildCard;
  bool FSubFolders = false;
  std::unique_ptr<TStringList> FFileList;
};

}  // namespace kwinet
