/// @file
/// The web family: TKwCustomWebComponent (one job over HTTP, HTTPS, FTP or a
/// file path, with status, actions, progress and the optional progress
/// dialog) and the updater that keeps a local copy of a remote file current.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "kwinet/core/Classes.h"
#include "kwinet/core/Jobs.h"
#include "kwinet/core/Streams.h"
#include "kwinet/core/StringList.h"
#include "kwinet/utils/KwInProxy.h"
#include "kwinet/web/KwInStat.h"
#include "kwinet/web/KwInet.h"
#include "kwinet/web/ProgressPresenter.h"
#include "kwinet/web/ServiceCall.h"

namespace kwinet {

/// How a web component reaches its files: HTTP, HTTPS, FTP, or a local or
/// network path.
enum TKwIService : std::uint8_t { isHTTP, isHTTPS, isFTP, isNetwork };
/// @var isHTTP
/// HTTP.
/// @var isHTTPS
/// HTTPS.
/// @var isFTP
/// FTP (with TLS as FtpTLS says).
/// @var isNetwork
/// A path of the file system, local or mounted.

/// FTP over TLS: none; AUTH TLS on the FTP port, the logon refused when the
/// server refuses it; TLS from the first byte (ftps://, port 990 as a rule).
enum TKwIFtpTLS : std::uint8_t { ftNone, ftExplicit, ftImplicit };
/// @var ftNone
/// No TLS.
/// @var ftExplicit
/// AUTH TLS on the FTP port.
/// @var ftImplicit
/// TLS from the first byte.

/// How the last job ended: still in progress, finished, failed, skipped (the
/// copy was current) or not found.
enum TKwIStatus : std::uint8_t { isInProgress, isFinished, isFailed, isSkipped, isNotFound };
/// @var isInProgress
/// The job is running (or has not run).
/// @var isFinished
/// The job did all it was asked.
/// @var isFailed
/// The job failed; ErrorText says why.
/// @var isSkipped
/// Nothing was fetched: the local copy is current.
/// @var isNotFound
/// The remote file or folder is not there.

/// The stage a job is at, as the progress dialog and OnActionChange show it.
enum TKwIAction : std::uint8_t {
  iaIdle,           ///< Nothing under way.
  iaConnecting,     ///< Connecting to the server.
  iaConnected,      ///< Connected.
  iaDisconnecting,  ///< Disconnecting.
  iaDisconnected,   ///< Disconnected.
  iaFileSearch,     ///< Looking the remote file up.
  iaFileFound,      ///< The remote file was found.
  iaComparing,      ///< Comparing the local copy with the remote file.
  iaCompared,       ///< Compared.
  iaDownloading,    ///< Downloading.
  iaDownloaded      ///< Downloaded.
};

/// Progress of a transfer, scaled to 32 bits; setting Abort stops it.
using TKwIProgress = std::function<void(TObject* Sender, std::int32_t CurValue, std::int32_t MaxValue, bool& Abort)>;
/// The same in 64 bits: the bytes as they are, for files of 2 GiB and more.
using TKwIProgress64 =
    std::function<void(TObject* Sender, std::int64_t CurValue, std::int64_t MaxValue, bool& Abort)>;
/// Lets the application decide whether the local copy equals the remote file;
/// Equal comes in as the updater's own verdict.
using TKwIFileCompare = std::function<void(TObject* Sender, bool& Equal)>;

/// The names of the values, as the tool prints them ("isFinished"...).
String KwIStatusName(TKwIStatus Value);

/// Progress values for the 32-bit event and the bar: both are halved
/// together until they fit a signed 32-bit value, so that files past 2 GiB
/// keep their proportion.
void KwIScaleProgress(std::uint64_t CurValue, std::uint64_t MaxValue, std::int32_t& ScaledCur,
                      std::int32_t& ScaledMax);

/// The updater's rule, with sizes in 64 bits. A missing local copy is always
/// fetched. A remote size of 0 is no size (the server may not have said):
/// then the times decide, and with no remote time nothing shows the copy
/// current. Otherwise the copy is fetched when the sizes differ or it is
/// older than the remote file.
bool KwIDownloadNeeded(bool LocalExists, std::uint64_t LocalSize, std::int64_t LocalTime, std::uint64_t RemoteSize,
                       std::int64_t RemoteTime, bool RemoteTimeKnown);

/// The base of the web components: one job over HTTP, HTTPS, FTP or a path,
/// with status, actions, progress and the optional progress dialog.
///
/// Thread-safety: one component serves one thread at a time. ExecuteAsync
/// runs the job on a worker thread and fires every event (status, action,
/// progress, the dialog, the logon prompt, message boxes) on the thread that
/// owns the application's backend; while the job runs, the caller leaves the
/// component's properties alone (nothing checks this) and a second Execute or
/// ExecuteAsync is refused. Freeing the component cancels its job and waits
/// for it: every class derived from it calls EndJob first in its destructor,
/// before any part of the object goes (the job still calls its overrides).
class TKwCustomWebComponent : public TComponent {
 public:
  /// Creates the component for HTTP on port 80, with no proxy and the progress
  /// dialog's default settings.
  explicit TKwCustomWebComponent(TComponent* AOwner);
  ~TKwCustomWebComponent() override;

  /// The job: OnBeforeExecute, the dialog, InternalExecute, the dialog away,
  /// OnAfterExecute. True unless Status ends isFailed. An exception out of
  /// InternalExecute still releases the handles and the dialog.
  virtual bool Execute();
  /// Execute on a worker thread. The job's result is the final Status's name
  /// (KwIStatusName); it fails with ErrorText (or "ended isFailed") when
  /// Execute returns false, and is cancelled by TJob::Cancel, which ends a
  /// download without touching the local file. Raises EInvalidOperation while
  /// a job of the component runs.
  TJobHandle ExecuteAsync();
  /// Runs Work as the component's job on a worker thread, as ExecuteAsync
  /// runs Execute: for work that is a call of the component's own (a
  /// translator's TranslateText, say), whose events then reach the backend's
  /// thread and which Cancel ends. Raises EInvalidOperation while a job of the
  /// component runs.
  TJobHandle StartJob(TJob::TWork Work);
  /// The job ExecuteAsync or StartJob started last, or nullptr.
  const TJobHandle& Job() const { return FJob.Current(); }

  /// The whole body of URL into Stream from position 0 (whatever the status),
  /// through a root handle of its own. Stream is left at position 0. False
  /// when the URL could not be opened or the body did not arrive whole
  /// (ErrorText() says why); what did arrive is in Stream.
  bool ReadHTTPGetResponse(const String& URL, TStream& Stream);
  /// The same as text, one character per byte.
  String ReadHTTPGetResponseString(const String& URL);
  /// One exchange with a web service (ServiceCall.h) through a root handle
  /// of its own, within the component's bounds. A redirection is not
  /// followed (a token or key goes nowhere else): it fails. A 429 or 503
  /// whose Retry-After asks for at most kMaxRetryAfterSeconds (and no more
  /// than Timeout) is tried once more after that wait. True, with Answer
  /// filled, for an answer that came whole, whatever its status; False, with
  /// ErrorText() saying why, for none.
  bool CallService(const TServiceRequest& Request, TServiceAnswer& Answer);

  ///@{
  /// The User-Agent sent over HTTP.
  const String& Agent() const { return FWEBAgent; }
  void SetAgent(const String& value) { FWEBAgent = value; }
  ///@}
  ///@{
  /// The server's port (80 at first).
  std::uint16_t Port() const { return FWEBPort; }
  void SetPort(std::uint16_t value) { FWEBPort = value; }
  ///@}
  /// How the files are reached (isHTTP at first).
  TKwIService Service() const { return FService; }
  /// A different service also sets its port (80, 443, 21); isNetwork keeps it.
  void SetService(TKwIService value);
  ///@{
  /// The server's name.
  const String& Host() const { return FWEBHost; }
  void SetHost(const String& value) { FWEBHost = value; }
  ///@}
  ///@{
  /// The user name for the server.
  const String& User() const { return FWEBUser; }
  void SetUser(const String& value) { FWEBUser = value; }
  ///@}
  ///@{
  /// The password for the server; never shown or logged.
  const String& Password() const { return FWEBPassword; }
  void SetPassword(const String& value) { FWEBPassword = value; }
  ///@}
  ///@{
  /// The proxy settings; SetProxy copies them.
  TKwInetProxy* Proxy() const { return FProxy.get(); }
  void SetProxy(TKwInetProxy* value) { FProxy->Assign(value); }
  ///@}
  ///@{
  /// The settings of the progress dialog; SetStatusDialog copies them.
  TKwInetStatusDialog* StatusDialog() const { return FStatusDialog.get(); }
  void SetStatusDialog(TKwInetStatusDialog* value) { FStatusDialog->Assign(value); }
  ///@}
  ///@{
  /// Whether the proxy's credentials are asked for through the logon prompt
  /// (true at first).
  bool LoginPrompt() const { return FLoginPrompt; }
  void SetLoginPrompt(bool value) { FLoginPrompt = value; }
  ///@}
  ///@{
  /// Milliseconds for the connect and for the longest wait without data;
  /// 0 = no bound.
  std::uint32_t Timeout() const { return FTimeout; }
  void SetTimeout(std::uint32_t value) { FTimeout = value; }
  ///@}
  ///@{
  /// Milliseconds that the whole job may take, from its connect; 0 = no
  /// bound.
  std::uint32_t MaxTime() const { return FMaxTime; }
  void SetMaxTime(std::uint32_t value) { FMaxTime = value; }
  ///@}
  ///@{
  /// A transfer that moves fewer than LowSpeedLimit bytes a second for
  /// LowSpeedTime milliseconds ends, failed: a server that drips its answer
  /// ends, while a large file over a slow line still comes. 0 in either =
  /// no such bound.
  std::uint32_t LowSpeedLimit() const { return FLowSpeedLimit; }
  void SetLowSpeedLimit(std::uint32_t value) { FLowSpeedLimit = value; }
  std::uint32_t LowSpeedTime() const { return FLowSpeedTime; }
  void SetLowSpeedTime(std::uint32_t value) { FLowSpeedTime = value; }
  ///@}
  ///@{
  /// The most bytes that one answer, downloaded file or listing may have,
  /// and the most that the entries of one folder walk may add up to; past
  /// it the job fails with a reason that says so, and the local file is
  /// kept as it was. 0 = no bound. Each class sets its own default: none
  /// for the updater (a download may be large), ContentMaxResponseSize for
  /// the components that read what they fetch.
  std::int64_t MaxResponseSize() const { return FMaxResponseSize; }
  void SetMaxResponseSize(std::int64_t value) { FMaxResponseSize = value < 0 ? 0 : value; }
  static constexpr std::int64_t ContentMaxResponseSize = 16 * 1024 * 1024;
  ///@}
  ///@{
  /// The CA certificates that HTTPS servers are checked against; empty: the
  /// system's store.
  const String& CACertFile() const { return FCACertFile; }
  void SetCACertFile(const String& value) { FCACertFile = value; }
  ///@}
  ///@{
  /// TLS for isFTP (checked against CACertFile as HTTPS is); the port is
  /// left as it is.
  TKwIFtpTLS FtpTLS() const { return FFtpTLS; }
  void SetFtpTLS(TKwIFtpTLS value) { FFtpTLS = value; }
  ///@}

  ///@{
  /// The stage the job is at; a change fires OnActionChange and moves the
  /// dialog.
  TKwIAction Action() const { return FAction; }
  void SetAction(TKwIAction Value);
  ///@}
  ///@{
  /// How the job ended; a change fires OnStatusChange.
  TKwIStatus Status() const { return FStatus; }
  void SetStatus(TKwIStatus Value);
  ///@}
  /// Why the last job ended isFailed or isNotFound (or why the last
  /// ReadHTTPGetResponse failed), or why a job that ended otherwise did not
  /// do all it was asked (a folder walk cut short); empty when it did, or no
  /// reason is known.
  const String& ErrorText() const { return FErrorText; }
  ///@{
  /// Whether a download continues a partial copy of the same version (false at
  /// first).
  bool ResumeDownload() const { return FResumeDownload; }
  void SetResumeDownload(bool value) { FResumeDownload = value; }
  ///@}

  ///@{
  /// Progress in 32 bits, scaled past 2 GiB (KwIScaleProgress), and in 64.
  TKwIProgress OnProgress;
  TKwIProgress64 OnProgress64;
  ///@}
  /// Called first thing in Execute.
  TNotifyEvent OnBeforeExecute;
  /// Called last thing in Execute.
  TNotifyEvent OnAfterExecute;
  /// Called when Action changes.
  TNotifyEvent OnActionChange;
  /// Called when Status changes.
  TNotifyEvent OnStatusChange;

 protected:
  /// The job itself, between the dialog's showing and its going away.
  virtual void InternalExecute() = 0;
  /// Cancels the running job and waits for it to end.
  void EndJob() { FJob.End(); }
  /// Raises EInvalidOperation while a job of the component runs, unless the
  /// caller is that job's worker: a call that starts work checks it first.
  void CheckIdle() const { FJob.CheckIdle(); }

  /// Opens the root and connection handles for Host (nothing for isNetwork);
  /// with FillProxy the system's proxy for the scheme fills Proxy first. A
  /// failure sets Status isFailed.
  void ConnectToInet(bool FillProxy);
  /// Closes every handle.
  void DisconnectFromInet();
  /// Looks the remote file up: true, with its size and time (0 when unknown),
  /// when it is there. SearchFailed tells a failure from a missing file.
  bool GetFileInfoFromInet(const String& FileName, std::uint64_t& FileSize, std::int64_t& FileTime);
  /// Copies the remote file into LocalFileName through "LocalFileName.part"
  /// (TPartFile). With ResumeDownload a partial copy is continued only when
  /// its time is the remote file's version (the Last-Modified sent back as
  /// If-Range over HTTP, the server's MDTM over FTP); otherwise, or when the
  /// server sends the file whole, it starts over.
  bool ReadFileFromInet(const String& RemoteFileName, const String& LocalFileName, std::uint64_t FileSize);
  /// Appends the entries of Dir that match WildCard to Strings (never
  /// clearing it), and with SubFolders those of every subfolder: on the FTP
  /// server folder by folder (all entries of a folder, then its subfolders
  /// in the order found), in the file system depth first (a subfolder's
  /// entries right after its own). True when Strings holds any entry
  /// afterwards, also one that was there before. An FTP walk enters no
  /// folder twice and stops at kFtpWalkMaxDepth and kFtpWalkMaxFolders;
  /// any walk stops at kWalkMaxEntries entries, or when its entries add up
  /// to more than MaxResponseSize bytes. A walk cut short sets ErrorText()
  /// and lists what it found.
  bool ReadDirFromInet(const String& Dir, const String& WildCard, TStrings& Strings, bool SubFolders);
  /// Moves the dialog's bar and fires OnProgress (scaled) and OnProgress64;
  /// Abort comes back set when the job is to stop.
  void UpdateProgress(std::uint64_t CurValue, std::uint64_t MaxValue, bool& Abort);
  /// Keeps the reason of a failure; with an empty Text, the transfer
  /// layer's last one.
  void SetErrorText(const String& Text = String());
  /// The last GetFileInfoFromInet that returned False failed (a refused
  /// authorization, an error answer, a broken or malformed exchange) rather
  /// than finding no such file.
  bool SearchFailed() const { return FSearchFailed; }
  /// The last search gave the remote file's time.
  bool FoundTime() const { return FFoundTime != 0; }
  /// That time (0: none); a download that had to start over with a newer
  /// version gives that version's.
  std::int64_t FoundFileTime() const { return FFoundTime; }

  /// Owned: each closes itself, and a root closes what it holds.
  ///@{
  /// The root, connection and search or file handles, and the progress dialog
  /// while it shows.
  TInternetHandle hInet;
  TInternetHandle hURL;
  TInternetHandle hFindFile;
  std::unique_ptr<TfrmKwInetUpdate> dlgStatus;
  ///@}

 private:
  // The proxy name for the root handle: Server, with Port added when Server
  // names none.
  String ProxyName() const;
  HINTERNET OpenRoot();
  // Closes the search or file, the connection and the root, in that order.
  void CloseHandles();
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
  // Drives dlgStatus.
  TKwProgressPresenter FProgress;
  bool FLoginPrompt = true;
  bool FResumeDownload = false;
  std::uint32_t FTimeout = 30000;
  std::uint32_t FMaxTime = 0;
  std::uint32_t FLowSpeedLimit = 1024;
  std::uint32_t FLowSpeedTime = 60000;
  std::int64_t FMaxResponseSize = 0;
  String FErrorText;
  bool FSearchFailed = false;
  String FCACertFile;
  TKwIFtpTLS FFtpTLS = ftNone;
  // The time of the file that the last search found (0: none given); a
  // partial download carries it, so that a resume never joins two versions.
  std::int64_t FFoundTime = 0;
  TJobSlot FJob;
};

/// The updater: fetches RemoteFileName into LocalFileName when the local copy
/// is missing or out of date.
class TKwCustomWebUpdater : public TKwCustomWebComponent {
 public:
  /// Creates the updater, with no bound on the answer's size.
  explicit TKwCustomWebUpdater(TComponent* AOwner);
  /// Ends a running job first (EndJob).
  ~TKwCustomWebUpdater() override { EndJob(); }

  ///@{
  /// The file on the server (its path) or, for isNetwork, the path.
  const String& RemoteFileName() const { return FRemoteFileName; }
  virtual void SetRemoteFileName(const String& Value);
  ///@}
  ///@{
  /// The remote file's size (0: not given) and time (0: none) as the last
  /// search found them.
  std::uint64_t RemoteFileSize() const { return FRemoteFileSize; }
  std::int64_t RemoteFileCreated() const { return FRemoteFileCreated; }
  ///@}
  /// The local copy.
  const String& LocalFileName() const { return FLocalFileName; }

  /// Called to let the application decide whether the copy is current.
  TKwIFileCompare OnFileCompare;

 protected:
  /// Connects, looks the remote file up, compares and downloads when needed; a
  /// complete copy takes the remote file's time.
  void InternalExecute() override;

  ///@{
  /// The values behind the properties of the same names.
  std::uint64_t FRemoteFileSize = 0;
  std::int64_t FRemoteFileCreated = 0;
  String FRemoteFileName;
  String FLocalFileName;
  ///@}
};

/// The updater with a settable LocalFileName.
class TKwWebUpdater : public TKwCustomWebUpdater {
 public:
  /// Creates the updater.
  explicit TKwWebUpdater(TComponent* AOwner) : TKwCustomWebUpdater(AOwner) {}
  /// Ends a running job first (EndJob).
  ~TKwWebUpdater() override { EndJob(); }
  /// Sets the local copy.
  void SetLocalFileName(const String& value) { FLocalFileName = value; }
};

}  // namespace kwinet
