// Readers of what an FTP server sends about its files: listing lines (MLSD
// facts or Unix-style LIST lines) and the folding of a folder path. Pure
// functions over text; the listing reader is fuzzed. Also the bounds of a
// walk through the server's folders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>

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

// How far a walk through an FTP server's folders goes at most. Only the
// server says what is a folder, so a link back up its tree or a server that
// makes folders up as it is asked would keep a walk going without end.
constexpr int kFtpWalkMaxDepth = 64;                // folders below the start
constexpr std::size_t kFtpWalkMaxFolders = 100000;  // folders entered, the start with them
// Entries that one walk, over FTP or in the file system, lists at most.
constexpr std::size_t kWalkMaxEntries = 1000000;

// Which folders a walk enters, asked folder by folder as the listings name
// them. A folder whose identity (TInetFindData::Identity) the walk has met
// already is not entered again: it is the same folder under another name.
// A folder past either bound is not entered either; the walk is then cut
// short, which Cut() tells.
class TFtpWalkBound {
 public:
  enum TVerdict : std::uint8_t { wvEnter, wvSeen, wvTooDeep, wvTooMany };

  explicit TFtpWalkBound(int MaxDepth = kFtpWalkMaxDepth, std::size_t MaxFolders = kFtpWalkMaxFolders)
      : FMaxDepth(MaxDepth), FMaxFolders(MaxFolders) {}

  // Whether to enter a folder Depth levels below the start (the start is
  // 0) whose identity is Identity (empty: unknown, never met before). A
  // folder to enter is counted and its identity kept.
  TVerdict Enter(const std::string& Identity, int Depth);
  // The first bound that kept a folder out (wvTooDeep, wvTooMany), or
  // wvEnter while the walk is whole.
  TVerdict Cut() const { return FCut; }
  int MaxDepth() const { return FMaxDepth; }
  std::size_t MaxFolders() const { return FMaxFolders; }

 private:
  int FMaxDepth;
  std::size_t FMaxFolders;
  std::size_t FEntered = 0;
  TVerdict FCut = wvEnter;
  std::unordered_set<std::string> FSeen;
};

}  // namespace kwinet
