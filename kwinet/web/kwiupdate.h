// The web family: TKwCustomWebComponent (one job over HTTP, HTTPS, FTP or a
// file path, with status, actions, progress and the optional progress
// dialog) and the updater that keeps a local copy of a remote file current.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "kwinet/core/Classes.h"
#include "kwinet/core/Streams.h"
#include "kwinet/core/StringList.h"
#include "kwinet/utils/KwInProxy.h"
#include "kwinet/web/KwInStat.h"
#include "kwinet/web/KwInet.h"

namespace kwinet {

enum TKwIService : std::uint8_t { isHTTP, isHTTPS, isFTP, isNetwork };
// FTP over TLS: none; AUTH TLS on the FTP port, the logon refused when the
// server refuses it; TLS from the first byte (ftps://, port 990 as a rule).
enum TKwIFtpTLS : std::uint8_t { ftNone, ftExplicit, ftImplicit };
enum TKwIStatus : std::uint8_t { isInProgress, isFinished, isFailed, isSkipped, isNotFound };
enum TKwIAction : std::uint8_t {
  iaIdle,
  iaConnecting,
  iaConnected,
  iaDisconnecting,
  iaDisconnected,
  iaFileSearch,
  iaFileFound,
  iaComparing,
  iaCompared,
  iaDownloading,
  iaDownloaded
};

using TKwIProgress = std::function<void(TObject* Sender, std::int32_t CurValue, std::int32_t MaxValue, bool& Abort)>;
using TKwIFileCompare = std::function<void(TObject* Sender, bool& Equal)>;

// The names of the values, as the tool prints them ("isFinished"...).
String KwIStatusName(TKwIStatus Value);

class TKwCustomWebComponent : public TComponent {
 public:
  explicit TKwCustomWebComponent(TComponent* AOwner);
  ~TKwCustomWebComponent() override;

  // The job: OnBeforeExecute, the dialog, InternalExecute, the dialog away,
  // OnAfterExecute. True unless Status ends isFailed. An exception out of
  // InternalExecute still releases the handles and the dialog.
  virtual bool Execute();

  // The whole body of URL into Stream from position 0 (whatever the status),
  // through a root handle of its own. Stream is left at position 0. False
  // when the URL could not be opened or the body did not arrive whole
  // (ErrorText() says why); what did arrive is in Stream.
  bool ReadHTTPGetResponse(const String& URL, TStream& Stream);
  // The same as text, one character per byte.
  String ReadHTTPGetResponseString(const String& URL);

  const String& Agent() const { return FWEBAgent; }
  void SetAgent(const String& value) { FWEBAgent = value; }
  std::uint16_t Port() const { return FWEBPort; }
  void SetPort(std::uint16_t value) { FWEBPort = value; }
  TKwIService Service() const { return FService; }
  // A different service also sets its port (80, 443, 21); isNetwork keeps it.
  void SetService(TKwIService value);
  const String& Host() const { return FWEBHost; }
  void SetHost(const String& value) { FWEBHost = value; }
  const String& User() const { return FWEBUser; }
  void SetUser(const String& value) { FWEBUser = value; }
  const String& Password() const { return FWEBPassword; }
  void SetPassword(const String& value) { FWEBPassword = value; }
  TKwInetProxy* Proxy() const { return FProxy.get(); }
  void SetProxy(TKwInetProxy* value) { FProxy->Assign(value); }
  TKwInetStatusDialog* StatusDialog() const { return FStatusDialog.get(); }
  void SetStatusDialog(TKwInetStatusDialog* value) { FStatusDialog->Assign(value); }
  bool LoginPrompt() const { return FLoginPrompt; }
  void SetLoginPrompt(bool value) { FLoginPrompt = value; }
  // Milliseconds for the connect and for the longest wait without data;
  // 0 = no bound.
  std::uint32_t Timeout() const { return FTimeout; }
  void SetTimeout(std::uint32_t value) { FTimeout = value; }
  // Milliseconds that the whole job may take, from its connect; 0 = no
  // bound.
  std::uint32_t MaxTime() const { return FMaxTime; }
  void SetMaxTime(std::uint32_t value) { FMaxTime = value; }
  // The CA certificates that HTTPS servers are checked against; empty: the
  // system's store.
  const String& CACertFile() const { return FCACertFile; }
  void SetCACertFile(const String& value) { FCACertFile = value; }
  // TLS for isFTP (checked against CACertFile as HTTPS is); the port is
  // left as it is.
  TKwIFtpTLS FtpTLS() const { return FFtpTLS; }
  void SetFtpTLS(TKwIFtpTLS value) { FFtpTLS = value; }

  TKwIAction Action() const { return FAction; }
  void SetAction(TKwIAction Value);
  TKwIStatus Status() const { return FStatus; }
  void SetStatus(TKwIStatus Value);
  // Why the last job ended isFailed or isNotFound (or why the last
  // ReadHTTPGetResponse failed), or why a job that ended otherwise did not
  // do all it was asked (a folder walk cut short); empty when it did, or no
  // reason is known.
  const String& ErrorText() const { return FErrorText; }
  bool ResumeDownload() const { return FResumeDownload; }
  void SetResumeDownload(bool value) { FResumeDownload = value; }

  TKwIProgress OnProgress;
  TNotifyEvent OnBeforeExecute;
  TNotifyEvent OnAfterExecute;
  TNotifyEvent OnActionChange;
  TNotifyEvent OnStatusChange;

 protected:
  virtual void InternalExecute() = 0;

  void ConnectToInet(bool FillProxy);
  void DisconnectFromInet();
  bool GetFileInfoFromInet(const String& FileName, std::uint32_t& FileSize, std::int64_t& FileTime);
  bool ReadFileFromInet(const String& RemoteFileName, const String& LocalFileName, std::uint32_t FileSize);
  // Appends the entries of Dir that match WildCard to Strings (never
  // clearing it), and with SubFolders those of every subfolder: on the FTP
  // server folder by folder (all entries of a folder, then its subfolders
  // in the order found), in the file system depth first (a subfolder's
  // entries right after its own). True when Strings holds any entry
  // afterwards, also one that was there before. An FTP walk enters no
  // folder twice and stops at kFtpWalkMaxDepth and kFtpWalkMaxFolders;
  // a walk cut short sets ErrorText() and lists what it found.
  bool ReadDirFromInet(const String& Dir, const String& WildCard, TStrings& Strings, bool SubFolders);
  void UpdateProgress(std::uint32_t CurValue, std::uint32_t MaxValue, bool& Abort);
  // Keeps the reason of a failure; with an empty Text, the transfer
  // layer's last one.
  void SetErrorText(const String& Text = String());
  // The last GetFileInfoFromInet that returned False failed (a refused
  // authorization, an error answer, a broken or malformed exchange) rather
  // than finding no such file.
  bool SearchFailed() const { return FSearchFailed; }
  // The last search gave the remote file's time.
  bool FoundTime() const { return FFoundTime != 0; }

  // Owned: each closes itself, and a root closes what it holds.
  TInternetHandle hInet;
  TInternetHandle hURL;
  TInternetHandle hFindFile;
  std::unique_ptr<TfrmKwInetUpdate> dlgStatus;

 private:
  // The proxy name for the root handle: Server, with Port added when Server
  // names none.
  String ProxyName() const;
  HINTERNET OpenRoot();
  // Closes the search or file, the connection and the root, in that order.
  void CloseHandles();
  void ShowDialog();
  // The GET request and the authorization exchange; leaves the request in
  // hFindFile for a successful answer. False for no file, with
  // FSearchFailed set when the search failed rather than found nothing.
  bool HttpSearch(const String& FileName);

  String FWEBAgent;
  std::uint16_t FWEBPort = 80;
  String FWEBHost;
  String FWEBUser;
  String FWEBPassword;
  TKwIService FService = isHTTP;
  TKwIStatus FStatus = isInProgress;
  TKwIAction FAction = iaIdle;
  std::unique_ptr<TKwInetProxy> FProxy;
  std::unique_ptr<TKwInetStatusDialog> FStatusDialog;
  bool FLoginPrompt = true;
  bool FResumeDownload = false;
  std::uint32_t FTimeout = 30000;
  std::uint32_t FMaxTime = 0;
  String FErrorText;
  bool FSearchFailed = false;
  String FCACertFile;
  TKwIFtpTLS FFtpTLS = ftNone;
  // The time of the file that the last search found (0: none given); a
  // partial download carries it, so that a resume never joins two versions.
  std::int64_t FFoundTime = 0;
};

class TKwCustomWebUpdater : public TKwCustomWebComponent {
 public:
  explicit TKwCustomWebUpdater(TComponent* AOwner);

  const String& RemoteFileName() const { return FRemoteFileName; }
  virtual void SetRemoteFileName(const String& Value);
  std::uint32_t RemoteFileSize() const { return FRemoteFileSize; }
  std::int64_t RemoteFileCreated() const { return FRemoteFileCreated; }
  const String& LocalFileName() const { return FLocalFileName; }

  TKwIFileCompare OnFileCompare;

 protected:
  void InternalExecute() override;

  std::uint32_t FRemoteFileSize = 0;
  std::int64_t FRemoteFileCreated = 0;
  String FRemoteFileName;
  String FLocalFileName;
};

class TKwWebUpdater : public TKwCustomWebUpdater {
 public:
  explicit TKwWebUpdater(TComponent* AOwner) : TKwCustomWebUpdater(AOwner) {}
  void SetLocalFileName(const String& value) { FLocalFileName = value; }
};

}  // namespace kwinet
