/// @file
/// The texts that users see, shared by every component. They are global and
/// writable: an application translates them by assigning new texts at start-up,
/// and each is read at the moment it is used.
#pragma once

#include "kwinet/core/String.h"

namespace kwinet {

/// The progress dialog's default title ("Software update").
extern String strKwInSoftwareUpdate;
///@{
/// The texts of a web job's stages (TKwIAction), as the progress dialog shows
/// them.
extern String strKwInConnecting;
extern String strKwInConnected;
extern String strKwInFileSearch;
extern String strKwInFileFound;
extern String strKwInFileComparing;
extern String strKwInFileCompared;
extern String strKwInDownloading;
extern String strKwInDownloaded;
extern String strKwInDisconnecting;
extern String strKwInDisconnected;
///@}
/// Bytes done, bytes in all, percent.
extern String strKwInProgress;
/// The logon prompt's caption for a proxy's credentials.
extern String strKwInProxyLogon;
/// The logon prompt's caption for an HTTP server's credentials.
extern String strKwInLogon;
///@{
/// Exception messages.
extern String strKwInEHost;
extern String strKwInEAuthRequired;
extern String strKwInEProxyAuth;
extern String strKwInEFileNotFound;
///@}

}  // namespace kwinet
