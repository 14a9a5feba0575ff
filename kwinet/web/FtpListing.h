// Readers of what an FTP server sends about its files: listing lines (MLSD
// facts or Unix-style LIST lines) and the folding of a folder path. Pure
// functions over text; the listing reader is fuzzed.
#pragma once

#include <string>

namespace kwinet {

struct TInetFindData;

// The entry of one MLSD line ("type=file;size=10;modify=...; name"); false
// for lines that name no entry (".", "..", garbage). Times are UTC.
bool ParseMlsdLine(const std::string& Line, TInetFindData& Data);
// The entry of one LIST line ("-rw-r--r-- 1 o g 12345 Dec 10 05:18 name");
// false for totals, "." and "..", and garbage. A time of day without a year
// is taken in the last twelve months.
bool ParseListLine(const std::string& Line, TInetFindData& Data);

// Dir resolved against the absolute folder Current: "." and empty parts
// dropped, ".." folded (never above "/"). The result is absolute.
std::string FoldFtpPath(const std::string& Current, const std::string& Dir);

// Whether a file name matches a search pattern: "*" any run of characters,
// "?" any one, "[...]" one of a set ("[!...]" none of it, ranges "a-z"),
// a backslash the next character as it is; a leading dot is like any other
// character. "*.*", the pattern of every file, matches every name, one
// without an extension too. Time is linear in the name for a given pattern.
bool MatchesWildCard(const std::string& Pattern, const std::string& Name);

}  // namespace kwinet
