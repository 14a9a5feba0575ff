#include "kwinet/utils/KwInCnst.h"

namespace kwinet {

String strKwInSoftwareUpdate = u"Software update";
String strKwInConnecting = u"Connecting...";
String strKwInConnected = u"Connected.";
String strKwInFileSearch = u"File search...";
String strKwInFileFound = u"File found.";
String strKwInFileComparing = u"Comparing...";
String strKwInFileCompared = u"Compared.";
String strKwInDownloading = u"Downloading...";
String strKwInDownloaded = u"Downloaded.";
String strKwInDisconnecting = u"Disconnecting...";
String strKwInDisconnected = u"Disconnected.";
String strKwInProgress = u"Downloaded %d of %d bytes (%d%%)";
String strKwInProxyLogon = u"Proxy Server authorization";
String strKwInLogon = u"HTTP Server authorization";
String strKwInEHost = u"Host/Address is not defined.";
String strKwInEAuthRequired = u"HTTP Server authorization required";
String strKwInEProxyAuth = u"Proxy Server authorization required";
String strKwInEFileNotFound = u"File not found";

}  // namespace kwinet
