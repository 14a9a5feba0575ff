#include "kwinet/web/kwiupdate.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "kwinet/core/Application.h"
#include "kwinet/core/DateTime.h"
#include "kwinet/utils/KwILogOn.h"
#include "kwinet/utils/KwInCnst.h"
#include "kwinet/utils/PartFile.h"
#include "kwinet/utils/RedactUrl.h"
#include "kwinet/web/FolderWalk.h"

namespace kwinet {

namespace {

// Sends of a request whose answer could not be read (server away, timed
// out) before the search gives up as not found.
constexpr int kMaxUnansweredSends = 3;
// Piece size of a download: one progress call each.
constexpr std::uint32_t kPieceSize = 2050;
// Pieces are gathered before they go to the disk, so a download costs few
// system calls.
constexpr std::size_t kWriteBuffer = 256 * 1024;

bool StatPath(const String& FileName, struct stat& st) {
  const std::string path = FileNameToPath(FileName);
  return !path.empty() && path.find('\0') == std::string::npos && ::stat(path.c_str(), &st) == 0;
}

// A file time as an HTTP date ("Tue, 14 Nov 2023 22:13:20 GMT"), named in
// English whatever the locale.
String HttpDate(std::int64_t FileTime) {
  static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const time_t seconds = FileTimeToTimespec(FileTime).tv_sec;
  struct tm t {};
  if (!::gmtime_r(&seconds, &t)) return String();
  char text[40];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", days[t.tm_wday % 7], t.tm_mday,
                months[t.tm_mon % 12], t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
  return Utf8ToString(text);
}

}  // namespace

String KwIStatusName(TKwIStatus Value) {
  switch (Value) {
    case isInProgress:
      return u"isInProgress";
    case isFinished:
      return u"isFinished";
    case isFailed:
      return u"isFailed";
    case isSkipped:
      return u"isSkipped";
    case isNotFound:
      return u"isNotFound";
  }
  return String();
}

void KwIScaleProgress(std::uint64_t CurValue, std::uint64_t MaxValue, std::int32_t& ScaledCur,
                      std::int32_t& ScaledMax) {
  while (MaxValue > 0x7FFFFFFFu || CurValue > 0x7FFFFFFFu) {
    MaxValue >>= 1;
    CurValue >>= 1;
  }
  ScaledCur = static_cast<std::int32_t>(CurValue);
  ScaledMax = static_cast<std::int32_t>(MaxValue);
}

bool KwIDownloadNeeded(bool LocalExists, std::uint64_t LocalSize, std::int64_t LocalTime, std::uint64_t RemoteSize,
                       std::int64_t RemoteTime, bool RemoteTimeKnown) {
  if (!LocalExists) return true;
  const bool older = LocalTime < RemoteTime;
  if (RemoteSize != 0) return LocalSize != RemoteSize || older;
  return !RemoteTimeKnown || older;
}

// --- TKwCustomWebComponent ----------------------------------------------------

TKwCustomWebComponent::TKwCustomWebComponent(TComponent* AOwner)
    : TComponent(AOwner),
      FWEBAgent(u"Moravelle WebUpdater"),
      FProxy(std::make_unique<TKwInetProxy>()),
      FStatusDialog(std::make_unique<TKwInetStatusDialog>()),
      FProgress(dlgStatus, *FStatusDialog) {
  FProxy->SetPort(0);
}

TKwCustomWebComponent::~TKwCustomWebComponent() {
  FJob.End();
}

void TKwCustomWebComponent::CloseHandles() {
  hFindFile.Reset();
  hURL.Reset();
  hInet.Reset();
}

void TKwCustomWebComponent::SetService(TKwIService value) {
  if (value == FService) return;
  FService = value;
  if (value == isHTTP)
    FWEBPort = 80;
  else if (value == isHTTPS)
    FWEBPort = 443;
  else if (value == isFTP)
    FWEBPort = 21;
}

bool TKwCustomWebComponent::Execute() {
  CheckIdle();
  FireEvent(OnBeforeExecute, this);
  if (auto* updater = dynamic_cast<TKwCustomWebUpdater*>(this))
    FProgress.Show(TKwProgressFiles{RedactUrl(FWEBHost + u"/" + updater->RemoteFileName()), updater->LocalFileName()});
  else
    FProgress.Show(std::nullopt);
  SetStatus(isInProgress);
  FErrorText.clear();
  try {
    InternalExecute();
  } catch (...) {
    // Nothing of the job may outlive it: a later Execute starts clean.
    CloseHandles();
    FProgress.Close();
    throw;
  }
  if (FStatus == isInProgress) SetStatus(isFinished);
  const bool result = FStatus != isFailed;
  FProgress.Close();
  FireEvent(OnAfterExecute, this);
  return result;
}

TJobHandle TKwCustomWebComponent::StartJob(TJob::TWork Work) {
  return FJob.Start(std::move(Work));
}

TJobHandle TKwCustomWebComponent::ExecuteAsync() {
  return StartJob([this] {
    if (!Execute()) throw Exception(FErrorText.empty() ? u"ended " + KwIStatusName(FStatus) : FErrorText);
    return KwIStatusName(FStatus);
  });
}

void TKwCustomWebComponent::SetAction(TKwIAction Value) {
  if (Value == FAction) return;
  FAction = Value;
  FProgress.Step(Value);
  FireEvent(OnActionChange, this);
}

void TKwCustomWebComponent::SetStatus(TKwIStatus Value) {
  if (Value == FStatus) return;
  FStatus = Value;
  FireEvent(OnStatusChange, this);
}

void TKwCustomWebComponent::SetErrorText(const String& Text) {
  // A reason may quote a URL: never with its password or key.
  FErrorText = RedactUrl(Text.empty() ? InternetGetLastErrorText() : Text);
}

void TKwCustomWebComponent::UpdateProgress(std::uint64_t CurValue, std::uint64_t MaxValue, bool& Abort) {
  // The 32-bit event holds signed values: totals past 2 GiB are scaled
  // down.
  std::int32_t scaledCur = 0, scaledMax = 0;
  KwIScaleProgress(CurValue, MaxValue, scaledCur, scaledMax);
  if (InJob()) {
    // One pending progress event at a time, for the dialog and the
    // handlers together; a Cancel or an Abort reaches the job at the next
    // piece.
    if (!FProgress.Active() && !OnProgress && !OnProgress64) return;
    const bool asked = JobProgress([this, scaledCur, scaledMax, CurValue, MaxValue](bool& abort) {
      if (const std::optional<bool> canceled = FProgress.Apply(CurValue, MaxValue); canceled && *canceled) abort = true;
      if (OnProgress) OnProgress(this, scaledCur, scaledMax, abort);
      if (OnProgress64)
        OnProgress64(this, static_cast<std::int64_t>(CurValue), static_cast<std::int64_t>(MaxValue), abort);
    });
    if (asked) Abort = true;
    return;
  }
  if (const std::optional<bool> canceled = FProgress.Update(CurValue, MaxValue)) Abort = *canceled;
  if (OnProgress) OnProgress(this, scaledCur, scaledMax, Abort);
  if (OnProgress64)
    OnProgress64(this, static_cast<std::int64_t>(CurValue), static_cast<std::int64_t>(MaxValue), Abort);
}

String TKwCustomWebComponent::ProxyName() const {
  String server = FProxy->Server();
  if (FProxy->Port() > 0 && server.find(u'=') == String::npos) {
    // Only a bare host (or a bracketed IPv6 address) gets the port.
    std::size_t bracket = server.rfind(u']');
    std::size_t colon = server.rfind(u':');
    bool hasPort = colon != String::npos && (bracket == String::npos || colon > bracket) && server.find(u':') == colon;
    if (!hasPort) server += u":" + IntToStr(FProxy->Port());
  }
  return server;
}

HINTERNET TKwCustomWebComponent::OpenRoot() {
  HINTERNET root = FProxy->UseProxy() && !FProxy->Server().empty()
                       ? InternetOpen(FWEBAgent, INTERNET_OPEN_TYPE_PROXY, ProxyName())
                       : InternetOpen(FWEBAgent, INTERNET_OPEN_TYPE_PRECONFIG, String());
  if (root) {
    InternetSetOption(root, INTERNET_OPTION_TIMEOUT, IntToStr(FTimeout));
    if (FMaxTime > 0) InternetSetOption(root, INTERNET_OPTION_MAX_TIME, IntToStr(FMaxTime));
    InternetSetOption(root, INTERNET_OPTION_MAX_RESPONSE_SIZE, IntToStr(FMaxResponseSize));
    InternetSetOption(root, INTERNET_OPTION_LOW_SPEED_LIMIT, IntToStr(FLowSpeedLimit));
    InternetSetOption(root, INTERNET_OPTION_LOW_SPEED_TIME, IntToStr(FLowSpeedTime));
    if (!FCACertFile.empty()) InternetSetOption(root, INTERNET_OPTION_CA_FILE, FCACertFile);
    if (FFtpTLS != ftNone)
      InternetSetOption(root, INTERNET_OPTION_FTP_TLS,
                        IntToStr(FFtpTLS == ftImplicit ? FTP_TLS_IMPLICIT : FTP_TLS_EXPLICIT));
  }
  return root;
}

void TKwCustomWebComponent::ConnectToInet(bool FillProxy) {
  SetAction(iaConnecting);
  if (FService != isNetwork) {
    try {
      CloseHandles();
      // The system's proxy for the scheme the job speaks.
      if (FillProxy) FProxy->FillProxyInfo(FService == isHTTPS ? u"https" : FService == isFTP ? u"ftp" : u"http");
      hInet = OpenRoot();
      if (hInet)
        hURL = InternetConnect(hInet, FWEBHost, FWEBPort, FWEBUser, FWEBPassword,
                               FService == isFTP ? INTERNET_SERVICE_FTP : INTERNET_SERVICE_HTTP);
    } catch (const Exception&) {
      SetStatus(isFailed);
    }
  }
  SetAction(iaConnected);
}

void TKwCustomWebComponent::DisconnectFromInet() {
  SetAction(iaDisconnecting);
  CloseHandles();
  SetAction(iaDisconnected);
}

bool TKwCustomWebComponent::HttpSearch(const String& FileName) {
  hFindFile = HttpOpenRequest(hURL, u"GET", FileName, u"HTTP/1.0",
                              FService == isHTTPS ? INTERNET_FLAG_SECURE : INTERNET_FLAG_RELOAD);
  if (!hFindFile) {
    FSearchFailed = true;
    SetErrorText(u"Cannot make the request for " + FileName);
    return false;
  }
  int counter = 0;
  int unanswered = 0;
  for (;;) {
    ++counter;
    const bool answered = HttpSendRequest(hFindFile);
    int code = 0;
    const bool hasCode = HttpQueryStatusCode(hFindFile, code);
    // A proxy that wants credentials refuses the tunnel: that exchange ends
    // with its status, and is answered below like a server's.
    if (!answered && !(hasCode && code == 407)) {
      // No final answer. A server that could not be reached has no such
      // file for us; one that closed without a word is asked again, but
      // one that let a time bound pass is not (each send would cost the
      // same wait); anything else (a reset mid-answer, a timeout, a
      // redirect loop, a head that never ends or does not parse) is a
      // failed exchange.
      const bool connect = InternetLastErrorIsConnect();
      if (!connect && !hasCode && !InternetLastErrorIsTimeout() && ++unanswered < kMaxUnansweredSends) continue;
      FSearchFailed = !connect;
      SetErrorText();
      if (FErrorText.empty()) FErrorText = u"No answer from the server";
      hFindFile.Reset();
      return false;
    }
    if (code == 401 || code == 407) {
      const bool proxy = code == 407;
      if (FLoginPrompt) {
        String user = proxy ? FProxy->User() : FWEBUser;
        String password = proxy ? FProxy->Password() : FWEBPassword;
        if (KwInAskLogon(proxy ? strKwInProxyLogon : strKwInLogon, user, password)) {
          if (proxy) {
            FProxy->SetUser(user);
            FProxy->SetPassword(password);
          } else {
            FWEBUser = user;
            FWEBPassword = password;
          }
          counter = 0;
        } else {
          counter = 2;
        }
      }
      if (counter > 1) throw Exception(proxy ? strKwInEProxyAuth : strKwInEAuthRequired);
      if (proxy) {
        InternetSetOption(hFindFile, INTERNET_OPTION_PROXY_USERNAME, FProxy->User());
        InternetSetOption(hFindFile, INTERNET_OPTION_PROXY_PASSWORD, FProxy->Password());
      } else {
        InternetSetOption(hFindFile, INTERNET_OPTION_USERNAME, FWEBUser);
        InternetSetOption(hFindFile, INTERNET_OPTION_PASSWORD, FWEBPassword);
      }
      continue;
    }
    if (code >= 200 && code < 300) return true;
    // Any other answer is no file, and its page must never become the local
    // copy. Only 404 and 410 say that the file is not there.
    String text;
    HttpQueryStatusText(hFindFile, text);
    FSearchFailed = code != 404 && code != 410;
    SetErrorText(u"The server answered " + IntToStr(code) + (text.empty() ? String() : u" " + text));
    hFindFile.Reset();
    return false;
  }
}

bool TKwCustomWebComponent::GetFileInfoFromInet(const String& FileName, std::uint64_t& FileSize,
                                                std::int64_t& FileTime) {
  FileSize = 0;
  FSearchFailed = false;
  if (!hURL && FService != isNetwork) return false;
  SetAction(iaFileSearch);
  FFoundTime = 0;
  bool found = false;
  try {
    switch (FService) {
      case isHTTP:
      case isHTTPS:
        if (HttpSearch(FileName)) {
          String length;
          if (HttpQueryContentLength(hFindFile, length)) {
            std::int64_t n = 0;
            // A length that is no number of bytes makes the whole answer
            // suspect.
            if (!TryStrToInt64(Trim(length), n) || n < 0) {
              FSearchFailed = true;
              SetErrorText(u"Malformed Content-Length \"" + length + u"\" in the answer");
              hFindFile.Reset();
              break;
            }
            FileSize = static_cast<std::uint64_t>(n);
          }
          std::int64_t time = 0;
          if (HttpQueryLastModified(hFindFile, time)) FileTime = FFoundTime = time;
        }
        break;
      case isFTP: {
        // The search of an earlier call holds nothing open on the server,
        // but its handle goes before a new one takes its place.
        hFindFile.Reset();
        TInetFindData data;
        hFindFile = FtpFindFirstFile(hURL, FileName, data);
        // A name that could not be asked for, or a listing past its bound,
        // is no missing file.
        FSearchFailed = !hFindFile && (InetHasControlCharacter(FileName) || InternetLastErrorIsTooLarge());
        if (FSearchFailed)
          SetErrorText();
        else if (!hFindFile)
          SetErrorText(u"No such file on the server: " + FileName);
        if (hFindFile) {
          FileSize = data.FileSize;
          if (data.LastWriteTime != 0) FileTime = FFoundTime = data.LastWriteTime;
        }
        break;
      }
      case isNetwork: {
        struct stat st {};
        if (!StatPath(FileName, st)) {
          SetErrorText(u"No such file: " + FileName);
        } else if (!S_ISREG(st.st_mode)) {
          // There, but nothing to copy: a failure, not a missing file.
          FSearchFailed = true;
          SetErrorText(FileName + (S_ISDIR(st.st_mode) ? u" is a directory" : u" is not a regular file"));
        } else {
          FileSize = static_cast<std::uint64_t>(st.st_size);
          FileTime = FFoundTime = TimespecToFileTime(st.st_mtim);
          found = true;
        }
        break;
      }
    }
  } catch (const Exception& e) {
    // Authorization refused or cancelled: the search ends here, failed.
    FSearchFailed = true;
    SetErrorText(e.Message());
    hFindFile.Reset();
  }
  if (FService != isNetwork) found = hFindFile != nullptr;
  if (found) SetAction(iaFileFound);
  return found;
}

bool TKwCustomWebComponent::ReadFileFromInet(const String& RemoteFileName, const String& LocalFileName,
                                             std::uint64_t FileSize) {
  if (!hURL && FService != isNetwork) return false;
  SetAction(iaDownloading);
  const bool http = FService == isHTTP || FService == isHTTPS;
  // What names the version of the remote file that a partial copy holds:
  // the search's time, and over FTP the server's MDTM, which is exact where
  // a listing may not be. Without one no partial copy is continued.
  std::int64_t validator = FFoundTime;
  std::unique_ptr<TFileStream> source;
  HINTERNET remote = nullptr;
  if (FService == isFTP) {
    hFindFile.Reset();
    std::int64_t mdtm = 0;
    validator = FtpGetFileTime(hURL, RemoteFileName, mdtm) ? mdtm : 0;
    hFindFile = FtpOpenFile(hURL, RemoteFileName, 0, FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_RELOAD);
    remote = hFindFile;
  } else if (FService == isNetwork) {
    source = std::make_unique<TFileStream>(RemoteFileName, fmOpenRead | fmShareDenyWrite);
  } else {
    // Only a successful answer has a body worth keeping.
    int code = 0;
    if (hFindFile && HttpQueryStatusCode(hFindFile, code) && code >= 200 && code < 300) remote = hFindFile;
  }
  if (!remote && !source) {
    SetErrorText(u"Cannot open " + RemoteFileName + u" for reading");
    SetAction(iaDownloaded);
    return false;
  }

  // The body goes into "<local>.part" and takes the local file's place only
  // when it is whole, so a failed or cancelled download leaves the old copy
  // as it was and the partial file for a resume (also after a signal).
  TPartFile local(LocalFileName, pfKeepOnSignal | (FResumeDownload ? pfResume : pfNew));
  bool failed = false;
  if (local.Resumed()) {
    const std::int64_t have = local.Size();
    struct stat st {};
    // A partial of another version of the file, or of one whose version
    // cannot be told, is no start.
    if (validator == 0 || ::fstat(local.Handle(), &st) != 0 || TimespecToFileTime(st.st_mtim) != validator) {
      local.SetSize(0);
    } else if (have > 0) {
      std::int64_t at;
      if (source) {
        at = have <= source->Size() ? source->Seek(have, soBeginning) : 0;
      } else {
        // The server sends the rest only while the file is still that
        // version; a changed file comes whole.
        if (http) HttpAddRequestHeaders(remote, u"If-Range: " + HttpDate(validator));
        at = InternetSetFilePointer(remote, have);
      }
      if (at < 0) {
        failed = true;
      } else if (at != have) {
        local.SetSize(0);  // the server sends it all: start over
        // Whole again, perhaps as a newer version: its time is the one
        // that counts now.
        std::int64_t time = 0;
        if (http) FFoundTime = validator = HttpQueryLastModified(remote, time) ? time : 0;
      }
    }
    local.Seek(0, soEnd);
  }
  // The new copy keeps the old one's permissions (an updated program stays
  // executable).
  struct stat old {};
  if (::stat(FileNameToPath(LocalFileName).c_str(), &old) == 0 && S_ISREG(old.st_mode))
    ::fchmod(local.Handle(), old.st_mode & 07777);

  bool abort = false;
  bool tooLarge = false;
  std::int64_t copied = 0;
  std::uint64_t total = 0;
  // Each piece is read straight into the write buffer.
  std::vector<char> pending(kWriteBuffer + kPieceSize);
  std::size_t filled = 0;
  while (!failed) {
    std::uint32_t n = 0;
    char* piece = pending.data() + filled;
    if (source) {
      n = static_cast<std::uint32_t>(source->Read(piece, kPieceSize));
    } else if (!InternetReadFile(remote, piece, kPieceSize, n)) {
      failed = true;
      break;
    }
    if (n == 0) break;
    filled += n;
    if (filled >= kWriteBuffer) {
      local.WriteBuffer(pending.data(), static_cast<std::int64_t>(filled));
      filled = 0;
    }
    total += n;
    // A local source is held to the bound that the transfer layer keeps
    // for a remote one.
    if (source && FMaxResponseSize > 0 && (copied += n) > FMaxResponseSize) {
      tooLarge = true;
      break;
    }
    UpdateProgress(total, FileSize, abort);
    // A cancelled job stops here even while data keeps coming.
    if (abort || JobCancelled()) {
      abort = true;
      break;
    }
  }
  if (filled > 0) local.WriteBuffer(pending.data(), static_cast<std::int64_t>(filled));
  if (failed && InternetLastErrorIsTooLarge()) tooLarge = true;
  source.reset();
  // Nor does a whole copy go in place once the job is cancelled.
  if (JobCancelled()) abort = true;
  if (tooLarge) {
    // Nothing past the bound is worth resuming.
    local.Abandon();
    SetErrorText(u"The file is larger than " + IntToStr(FMaxResponseSize) + u" bytes (MaxResponseSize)");
    SetStatus(isFailed);
  } else if (abort || failed) {
    // The partial copy carries the version it holds, for a resume to check.
    if (validator != 0) {
      struct timespec times[2] = {{0, UTIME_OMIT}, FileTimeToTimespec(validator)};
      ::futimens(local.Handle(), times);
    }
    local.Close();
    if (abort)
      SetErrorText(u"Download cancelled");
    else
      SetErrorText();
    SetStatus(isFailed);
  } else {
    local.Commit();
  }
  SetAction(iaDownloaded);
  return true;
}

bool TKwCustomWebComponent::ReadDirFromInet(const String& Dir, const String& WildCard, TStrings& Strings,
                                            bool SubFolders) {
  if (!hURL && FService != isNetwork) return false;
  if (FService == isFTP && (InetHasControlCharacter(Dir) || InetHasControlCharacter(WildCard))) {
    // Nothing of it may reach the server.
    SetErrorText(u"Refused: the folder or pattern holds a control character");
    SetStatus(isFailed);
    return false;
  }
  SetAction(iaFileSearch);
  TWalkBudget budget(FMaxResponseSize);
  if (FService == isFTP) {
    // A walk cut short still lists what it found; only the reason tells.
    if (const String cut = ListFtpTree(hURL, Dir, WildCard, Strings, SubFolders, budget); !cut.empty())
      SetErrorText(cut);
  } else if (FService == isNetwork) {
    ListLocalTree(Dir, WildCard, Strings, SubFolders, budget);
    if (!budget.Cut().empty()) SetErrorText(budget.Cut());
  }
  // Nothing is listed over HTTP.
  const bool found = Strings.Count() > 0;
  SetAction(iaFileFound);
  return found;
}

bool TKwCustomWebComponent::ReadHTTPGetResponse(const String& URL, TStream& Stream) {
  FErrorText.clear();
  const TInternetHandle root(OpenRoot());
  if (!root) {
    SetErrorText();
    if (FErrorText.empty()) FErrorText = u"Cannot start a transfer";
    return false;
  }
  Stream.SetPosition(0);
  constexpr std::uint32_t kBuffer = 1024 * 1024;
  std::vector<char> buffer(kBuffer);
  bool whole = false;
  if (const TInternetHandle url(InternetOpenUrl(root, URL, INTERNET_FLAG_RELOAD)); url) {
    for (;;) {
      std::uint32_t n = 0;
      if (!InternetReadFile(url, buffer.data(), kBuffer, n)) break;
      if (n == 0) {
        whole = true;
        break;
      }
      Stream.WriteBuffer(buffer.data(), n);
    }
  }
  if (!whole) {
    SetErrorText();
    if (FErrorText.empty()) FErrorText = u"Cannot read " + RedactUrl(URL);
  }
  Stream.SetPosition(0);
  return whole;
}

String TKwCustomWebComponent::ReadHTTPGetResponseString(const String& URL) {
  TStringStream stream(String(), teANSI);
  ReadHTTPGetResponse(URL, stream);
  if (stream.Size() > 0) {
    stream.SetPosition(0);
    return stream.ReadString(stream.Size());
  }
  return String();
}

// --- TKwCustomWebUpdater --------------------------------------------------------

TKwCustomWebUpdater::TKwCustomWebUpdater(TComponent* AOwner) : TKwCustomWebComponent(AOwner) {}

void TKwCustomWebUpdater::SetRemoteFileName(const String& Value) {
  FRemoteFileName = Value;
}

void TKwCustomWebUpdater::InternalExecute() {
  ConnectToInet(true);
  if ((!hInet || !hURL) && Service() != isNetwork) {
    SetErrorText();
    if (ErrorText().empty()) SetErrorText(u"Cannot connect to " + Host());
    SetStatus(isFailed);
  } else if (!GetFileInfoFromInet(FRemoteFileName, FRemoteFileSize, FRemoteFileCreated)) {
    SetStatus(SearchFailed() ? isFailed : isNotFound);
  } else {
    SetAction(iaComparing);
    // A missing local copy is always fetched. A size of 0 is no size (the
    // server may not have said): then the times decide, and with no remote
    // time either nothing shows the copy current.
    struct stat st {};
    const bool local = StatPath(FLocalFileName, st);
    bool needed = KwIDownloadNeeded(local, local ? static_cast<std::uint64_t>(st.st_size) : 0,
                                    local ? TimespecToFileTime(st.st_mtim) : 0, FRemoteFileSize,
                                    FRemoteFileCreated, FoundTime());
    if (OnFileCompare) {
      bool equal = !needed;
      FireEvent(OnFileCompare, this, equal);
      needed = !equal;
    }
    SetAction(iaCompared);
    if (!needed) {
      SetStatus(isSkipped);
    } else if (ReadFileFromInet(FRemoteFileName, FLocalFileName, FRemoteFileSize)) {
      // A download that started over may have brought a newer version.
      if (FoundFileTime() != 0) FRemoteFileCreated = FoundFileTime();
      // Only a complete copy takes the remote time (an old copy given it
      // after a failure would pass for current), and only a known time.
      if (Status() != isFailed && FRemoteFileCreated != 0) {
        try {
          TFileStream f(FLocalFileName, fmOpenWrite | fmShareDenyWrite);
          struct timespec times[2];
          times[0].tv_sec = 0;
          times[0].tv_nsec = UTIME_OMIT;
          times[1] = FileTimeToTimespec(FRemoteFileCreated);
          ::futimens(f.Handle(), times);
        } catch (const EFOpenError&) {
          // The copy stands; only its time is left as written.
        }
      }
    } else {
      SetStatus(isFailed);
    }
  }
  DisconnectFromInet();
}

}  // namespace kwinet
