// Free helpers shared by the components and exported to applications: text
// codecs (UTF-8, Base64, URL encoding, HTML entities) and small string tools.
#pragma once

#include <cstddef>

#include "kwinet/core/String.h"

namespace kwinet {

// A String whose characters are UTF-8 bytes, one per character.
using UTF8String = String;

// Decodes UTF-8 held one byte per character. Only one- to three-byte
// sequences are known; any malformed input gives the empty string.
String Utf8Decode(const UTF8String& S);

// Base64 (RFC 4648 alphabet, "=" padding, no line breaks) of a string of
// bytes. A character above 255 raises ERangeError.
String Encode64(const String& S);
// The same encoding on raw bytes: writes Base64Length(size) characters to
// out. Input of a multiple of three bytes encodes without padding, so a long
// input can be encoded piece by piece.
std::size_t Base64Length(std::size_t size);
void Encode64Bytes(const unsigned char* data, std::size_t size, char* out);

// Form encoding: letters, digits and ! $ ' ( ) * - . @ _ stay, a space
// becomes "+", anything else "%" and two upper-case hex digits. A character
// with code 0 ends the input.
String KwInetHTTPEncode(const String& S);
// The reverse: "+" is a space, "%%" one percent sign, "%d" and "%s" stay as
// they are, "%XX" the character with that code. Bad escapes raise Exception.
String KwInetHTTPDecode(const String& S);

// Replaces the known HTML entities from the start of S; the first unknown
// entity stops the work and leaves the rest as it is.
void ReplaceHTMLChars(String& S);

// The column Index (from 0) of S, columns being separated by Delimiter.
String GetColumn(const String& S, int Index, Char Delimiter);

// S with its characters (UTF-16 code units) in reverse order.
String Reverse(const String& S);

}  // namespace kwinet
