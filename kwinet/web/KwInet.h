/// @file
/// The internet transfer layer of the web components: HTTP, HTTPS and FTP
/// through handles that form a tree (a root holds connections and URL
/// handles, a connection holds requests, FTP searches and FTP files). Bodies
/// are pulled in pieces of any size from a transfer in progress, so memory
/// stays bounded by the buffers whatever the size of the file.
///
/// Built over libcurl (InetDriver.h). Every wait is bounded by the root's
/// timeout: the connect, and the longest time without any data. Handles are
/// ids (InetHandle.h): a closed handle is refused, never mistaken for a new
/// one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "kwinet/core/String.h"
#include "kwinet/web/InetHandle.h"

namespace kwinet {

/// Root access types. Which proxy a transfer takes, the proxy policy decides
/// (kwinet/utils/ProxyPolicy.h) when the transfer starts, by its scheme and
/// host; libcurl is always told the route and never reads the environment.
inline constexpr std::uint32_t INTERNET_OPEN_TYPE_PRECONFIG = 0;  ///< the environment's proxy (http_proxy, no_proxy...)
/// No proxy.
inline constexpr std::uint32_t INTERNET_OPEN_TYPE_DIRECT = 1;
inline constexpr std::uint32_t INTERNET_OPEN_TYPE_PROXY = 3;  ///< the given proxy; no_proxy is still honoured

///@{
/// The protocol of a connection: FTP or HTTP (HTTPS by the request's flag).
inline constexpr std::uint32_t INTERNET_SERVICE_FTP = 1;
inline constexpr std::uint32_t INTERNET_SERVICE_HTTP = 3;
///@}

/// Request flags.
///@{
/// Request flags: fetch from the server; speak TLS (HTTPS).
inline constexpr std::uint32_t INTERNET_FLAG_RELOAD = 0x80000000;
inline constexpr std::uint32_t INTERNET_FLAG_SECURE = 0x00800000;
///@}
/// The answer is what the server said: a redirection is not followed.
inline constexpr std::uint32_t INTERNET_FLAG_NO_AUTO_REDIRECT = 0x00200000;

/// Files go as they are (the only type there is).
inline constexpr std::uint32_t FTP_TRANSFER_TYPE_BINARY = 2;

/// Options. The credential options apply to the next send of a request; the
/// timeout and CA options are set on a root and inherited by its children.
enum TInetOption : std::uint8_t {
  INTERNET_OPTION_USERNAME,           ///< The user name for the server.
  INTERNET_OPTION_PASSWORD,           ///< The password for the server.
  INTERNET_OPTION_PROXY_USERNAME,     ///< The user name for the proxy.
  INTERNET_OPTION_PROXY_PASSWORD,     ///< The password for the proxy.
  INTERNET_OPTION_SECURITY_FLAGS,     ///< SECURITY_FLAG_* as decimal text
  INTERNET_OPTION_TIMEOUT,            ///< milliseconds as decimal text; 0 = no bound
  INTERNET_OPTION_CA_FILE,            ///< CA bundle file; empty = the system's store
  INTERNET_OPTION_MAX_TIME,           ///< ms from now that all the root's transfers must end by; 0 = no bound
  INTERNET_OPTION_MAX_RESPONSE_SIZE,  ///< bytes a body or listing may have, as decimal text; 0 = no bound
  INTERNET_OPTION_LOW_SPEED_LIMIT,    ///< bytes a second below which a transfer is too slow; 0 = no bound
  INTERNET_OPTION_LOW_SPEED_TIME,     ///< ms that a transfer may stay too slow; 0 = no bound
  INTERNET_OPTION_FTP_TLS,            ///< FTP_TLS_* as decimal text
};

///@{
/// FTP over TLS, a root option. With either value an ftp:// transfer asks
/// AUTH TLS and fails, before the logon is sent, when the server refuses it;
/// IMPLICIT makes the connections of the root speak TLS from the first byte
/// (ftps://). An ftps:// URL is always TLS from the first byte. The server's
/// certificate is checked as an HTTPS server's is.
inline constexpr std::uint32_t FTP_TLS_NONE = 0;
inline constexpr std::uint32_t FTP_TLS_EXPLICIT = 1;
inline constexpr std::uint32_t FTP_TLS_IMPLICIT = 2;
///@}

///@{
/// Security flags: certificate checks that a caller may switch off on
/// purpose. Nothing is switched off unless asked.
inline constexpr std::uint32_t SECURITY_FLAG_IGNORE_REVOCATION = 0x0080;
inline constexpr std::uint32_t SECURITY_FLAG_IGNORE_UNKNOWN_CA = 0x0100;
inline constexpr std::uint32_t SECURITY_FLAG_IGNORE_CERT_CN_INVALID = 0x1000;
///@}

///@{
/// File attributes of a search entry.
inline constexpr std::uint32_t FILE_ATTRIBUTE_READONLY = 0x01;
inline constexpr std::uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr std::uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
///@}

/// One entry of an FTP search.
struct TInetFindData {
  /// FILE_ATTRIBUTE_* bits.
  std::uint32_t Attributes = 0;
  /// The entry's name.
  String FileName;
  /// The size in bytes; 0 when unknown.
  std::uint64_t FileSize = 0;
  std::int64_t LastWriteTime = 0;  ///< file time (100 ns since 1601 UTC); 0 when unknown
  /// What the server says makes the entry itself unique (MLSD's "unique"
  /// fact): two names of one folder, such as a link and its target, carry
  /// the same. Empty when the server does not say.
  std::string Identity;
};

/// A control character (C0 or DEL) in a host name, user name, password or
/// FTP path would cut the value or end a command line of the protocol early
/// and start another: the layer refuses such values before anything is sent.
bool InetHasControlCharacter(const String& Text);

/// Root handle. ProxyName is "host:port" (a scheme and user information may
/// stand in front) or the per-protocol form
/// "http=host:port;https=host:port;ftp=host:port"; it is used only with
/// INTERNET_OPEN_TYPE_PROXY. A redirect keeps the proxy chosen for the first
/// URL's scheme, and reaches a host that no_proxy names directly.
HINTERNET InternetOpen(const String& Agent, std::uint32_t AccessType, const String& ProxyName);
/// A connection to Host:Port. For FTP it logs on at once and fails (nullptr)
/// when that is refused; for HTTP nothing goes on the wire yet. A control
/// character in Host, User or Password is refused (nullptr).
HINTERNET InternetConnect(HINTERNET Root, const String& Host, std::uint16_t Port, const String& User,
                          const String& Password, std::uint32_t Service);

/// A request for ObjectName (path and query) on an HTTP connection, sent by
/// HttpSendRequest; Flags are INTERNET_FLAG_*.
HINTERNET HttpOpenRequest(HINTERNET Connection, const String& Verb, const String& ObjectName, const String& Version,
                          std::uint32_t Flags);
/// Adds one "Name: value" line to every later send of the request.
bool HttpAddRequestHeaders(HINTERNET Request, const String& Header);
/// Sends the request (again, if it was sent before: the earlier answer is
/// dropped) and waits for the final answer's header. Body bytes are
/// characters 0-255. False when no answer came (refused, timed out...).
bool HttpSendRequest(HINTERNET Request, const String& Body = String());

///@{
/// Header queries on a request or URL handle; false when there is no answer
/// or no such header.
bool HttpQueryStatusCode(HINTERNET Request, int& Code);
bool HttpQueryStatusText(HINTERNET Request, String& Text);
bool HttpQueryContentLength(HINTERNET Request, String& Text);
///@}
/// Last-Modified as a file time.
bool HttpQueryLastModified(HINTERNET Request, std::int64_t& FileTime);
/// Any header by name (case-insensitive).
bool HttpQueryHeader(HINTERNET Request, const String& Name, String& Value);

/// Sets an option on a handle; false for a closed handle, an option that this
/// kind of handle does
/// not take, or an FTP TLS value out of range.
bool InternetSetOption(HINTERNET Handle, TInetOption Option, const String& Value);

/// The FTP operations refuse a pattern, folder or file name that holds a
/// control character.
///@{
/// FtpFindFirstFile opens a search of the entries that match Pattern and gives
/// the first; InternetFindNextFile gives the next (false, with kNoMoreFiles as
/// the last error, after the last); the current folder of the connection is
/// read and changed.
HINTERNET FtpFindFirstFile(HINTERNET Connection, const String& Pattern, TInetFindData& Data);
bool InternetFindNextFile(HINTERNET Find, TInetFindData& Data);
bool FtpGetCurrentDirectory(HINTERNET Connection, String& Directory);
bool FtpSetCurrentDirectory(HINTERNET Connection, const String& Directory);
///@}
/// The time of a file on the server as its MDTM gives it (a file time);
/// false when the server gives none.
bool FtpGetFileTime(HINTERNET Connection, const String& FileName, std::int64_t& FileTime);
/// Starts reading a file; nullptr when the server refuses it.
HINTERNET FtpOpenFile(HINTERNET Connection, const String& FileName, std::uint32_t Access, std::uint32_t Flags);

/// http://, https://, ftp:// or ftps://. A control character anywhere in
/// URL is refused, and so is one written percent-encoded in its user
/// information or host, or anywhere in an FTP URL.
HINTERNET InternetOpenUrl(HINTERNET Root, const String& URL, std::uint32_t Flags);

/// Reads up to Size bytes of the body; BytesRead 0 with true at the end.
/// False when the transfer failed (dropped, timed out, cut short).
bool InternetReadFile(HINTERNET Handle, void* Buffer, std::uint32_t Size, std::uint32_t& BytesRead);
/// Moves the read position of a request, URL or FTP file to Position bytes
/// from the start, by asking the server again (a byte range, or REST for
/// FTP). Returns where reading now continues: Position when the server
/// honoured it, 0 when it sent the whole file instead, -1 on failure.
std::int64_t InternetSetFilePointer(HINTERNET Handle, std::int64_t Position);

///@{
/// The server's last answer on this thread (an FTP reply, an HTTP status
/// line), and the reason of the last failure.
String InternetGetLastResponseInfo();
String InternetGetLastErrorText();
///@}
/// The last error text of a search that found nothing (rather than failed).
inline constexpr const char16_t* kNoMoreFiles = u"No more files";
/// The last failure was a connection that could not be opened (unknown
/// host, refused, secure channel refused) rather than a failed exchange.
bool InternetLastErrorIsConnect();
/// The last failure was a bound of time (the timeout, the whole-transfer
/// bound, a transfer too slow): asking again would cost the same wait.
bool InternetLastErrorIsTimeout();
/// The last failure was a body or listing larger than the root's
/// INTERNET_OPTION_MAX_RESPONSE_SIZE.
bool InternetLastErrorIsTooLarge();

/// Releases the handle and everything under it. False for nullptr and for a
/// handle that is closed already (also with its parent).
bool InternetCloseHandle(HINTERNET Handle) noexcept;

/// One line of an FTP listing, MLSD facts ("type=file;size=10;modify=...;
/// name") or a Unix-style LIST line; false for lines that name no entry
/// (".", "..", totals, garbage). Times are taken as UTC.
bool InetParseListingLine(const std::string& Line, bool Mlsd, TInetFindData& Data);

}  // namespace kwinet
