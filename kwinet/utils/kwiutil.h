/// @file
/// Free helpers shared by the components and exported to applications: text
/// codecs (UTF-8, Base64, URL encoding, HTML entities) and small string tools.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "kwinet/core/String.h"
#include "kwinet/utils/ProxyPolicy.h"

namespace kwinet {

/// A String whose characters are UTF-8 bytes, one per character.
using UTF8String = String;

/// Decodes UTF-8 held one byte per character. Only one- to three-byte
/// sequences are known; any malformed input gives the empty string.
String Utf8Decode(const UTF8String& S);

/// Base64 (RFC 4648 alphabet, "=" padding, no line breaks) of a string of
/// bytes. A character above 255 raises ERangeError.
String Encode64(const String& S);
///@{
/// The same encoding on raw bytes: writes Base64Length(size) characters to
/// out. Input of a multiple of three bytes encodes without padding, so a long
/// input can be encoded piece by piece.
std::size_t Base64Length(std::size_t size);
void Encode64Bytes(const unsigned char* data, std::size_t size, char* out);
///@}

/// Form encoding: letters, digits and ! $ ' ( ) * - . @ _ stay, a space
/// becomes "+", anything else "%" and two upper-case hex digits. A character
/// with code 0 ends the input.
String KwInetHTTPEncode(const String& S);
/// The reverse: "+" is a space, "%%" one percent sign, "%d" and "%s" stay as
/// they are, "%XX" the character with that code. Bad escapes raise Exception.
String KwInetHTTPDecode(const String& S);

/// Percent-encoding of bytes for a URL's path segment, user info or query
/// value: the unreserved characters of RFC 3986 (letters, digits, "-", ".",
/// "_", "~") stay, every other byte becomes "%" and two upper-case hex
/// digits, so the result holds no "/", "?", "#", "@", ":" or "&".
std::string PercentEncode(std::string_view Bytes);

/// Replaces the known HTML entities from the start of S; the first unknown
/// entity stops the work and leaves the rest as it is.
void ReplaceHTMLChars(String& S);

/// The column Index (from 0) of S, columns being separated by Delimiter.
String GetColumn(const String& S, int Index, Char Delimiter);

/// S with its characters (UTF-16 code units) in reverse order.
String Reverse(const String& S);

// --- platform helpers ---------------------------------------------------------

/// The MIME type of a file by its extension (from the last dot of the name
/// part, compared without regard to case), looked up in ~/.mime.types and
/// then /etc/mime.types; "application/octet-stream" when the name has no
/// extension or no table knows it.
String ContentTypeByFile(const String& FileName);
/// The same lookup in the given mime.types files; an earlier file wins.
String ContentTypeByFile(const String& FileName, const std::vector<String>& TypesFiles);

// The system proxy (ReadProxyInfo, ProxyBypassed): see ProxyPolicy.h.

/// Removes the running program's executable once the program has ended: a
/// shell script beside it waits for this process to end, deletes the
/// executable and then itself; it is started detached and not waited for.
/// A failure to write the script raises EFCreateError; nothing else reports.
void DeleteExe();
/// The same for any file and process: waits for ProcessId to end, then
/// deletes FileName and the script ScriptName.
void DeleteFileAfterProcess(const String& FileName, const String& ScriptName, int ProcessId);

}  // namespace kwinet
