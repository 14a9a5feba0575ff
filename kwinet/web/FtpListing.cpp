#include "kwinet/web/FtpListing.h"

#include <cstdlib>
#include <ctime>
#include <string_view>
#include <utility>
#include <vector>

#include "kwinet/core/DateTime.h"
#include "kwinet/web/KwInet.h"

namespace kwinet {

namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::int64_t UnixToFileTime(std::int64_t seconds) {
  struct timespec ts {};
  ts.tv_sec = static_cast<time_t>(seconds);
  return TimespecToFileTime(ts);
}

int MonthIndex(const std::string& m) {
  static const char* names[] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  std::string l = Lower(m);
  for (int i = 0; i < 12; ++i)
    if (l == names[i]) return i + 1;
  return 0;
}

std::int64_t FileTimeOfUtc(int y, int mo, int d, int h, int mi, int s) {
  TDateTime date, time;
  if (!TryEncodeDate(y, mo, d, date) || !TryEncodeTime(h, mi, s, 0, time)) return 0;
  return UnixToFileTime(DateTimeToUnix(date + time));
}

}  // namespace

// "type=file;size=10;modify=20240101120000; name"
bool ParseMlsdLine(const std::string& line, TInetFindData& d) {
  std::size_t sp = line.find(' ');
  if (sp == std::string::npos) return false;
  std::string facts = line.substr(0, sp);
  d = TInetFindData();
  d.FileName = Utf8ToString(line.substr(sp + 1));
  std::string type;
  bool writable = true;
  std::size_t pos = 0;
  while (pos < facts.size()) {
    std::size_t end = facts.find(';', pos);
    if (end == std::string::npos) end = facts.size();
    std::string fact = facts.substr(pos, end - pos);
    pos = end + 1;
    std::size_t eq = fact.find('=');
    if (eq == std::string::npos) continue;
    std::string key = Lower(fact.substr(0, eq)), value = fact.substr(eq + 1);
    if (key == "type") {
      type = Lower(value);
    } else if (key == "size" || key == "sizd") {
      d.FileSize = std::strtoull(value.c_str(), nullptr, 10);
    } else if (key == "modify" && value.size() >= 14) {
      auto num = [&](int at, int len) { return std::atoi(value.substr(at, len).c_str()); };
      d.LastWriteTime = FileTimeOfUtc(num(0, 4), num(4, 2), num(6, 2), num(8, 2), num(10, 2), num(12, 2));
    } else if (key == "unique") {
      d.Identity = value;
    } else if (key == "perm") {
      writable = value.find_first_of("wa") != std::string::npos;
    }
  }
  if (type == "cdir" || type == "pdir") return false;
  d.Attributes = type == "dir" ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  if (!writable && type != "dir") d.Attributes = FILE_ATTRIBUTE_READONLY;
  return !d.FileName.empty();
}

// "-rw-r--r-- 1 owner group 12345 Dec 10 05:18 name"
bool ParseListLine(const std::string& line, TInetFindData& d) {
  if (line.size() < 10 || std::string("-dl").find(line[0]) == std::string::npos) return false;
  std::vector<std::pair<std::size_t, std::size_t>> fields;  // start, length
  std::size_t i = 0;
  while (i < line.size() && fields.size() < 8) {
    while (i < line.size() && line[i] == ' ') ++i;
    std::size_t s = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (i > s) fields.emplace_back(s, i - s);
  }
  if (fields.size() < 8) return false;
  while (i < line.size() && line[i] == ' ') ++i;
  std::string name = line.substr(i);
  auto field = [&](int k) { return line.substr(fields[k].first, fields[k].second); };
  if (line[0] == 'l') {
    if (std::size_t arrow = name.find(" -> "); arrow != std::string::npos) name.resize(arrow);
  }
  if (name.empty() || name == "." || name == "..") return false;
  d = TInetFindData();
  d.FileName = Utf8ToString(name);
  d.FileSize = std::strtoull(field(4).c_str(), nullptr, 10);
  d.Attributes = line[0] == 'd' ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  int month = MonthIndex(field(5)), day = std::atoi(field(6).c_str());
  std::string yt = field(7);
  if (month > 0) {
    time_t now = std::time(nullptr);
    struct tm utc {};
    gmtime_r(&now, &utc);
    int year = utc.tm_year + 1900, hour = 0, minute = 0;
    if (std::size_t colon = yt.find(':'); colon != std::string::npos) {
      hour = std::atoi(yt.c_str());
      minute = std::atoi(yt.c_str() + colon + 1);
    } else {
      year = std::atoi(yt.c_str());
    }
    d.LastWriteTime = FileTimeOfUtc(year, month, day, hour, minute, 0);
    // A listing shows the time of day only for recent months: a date more
    // than a day ahead of now belongs to last year.
    if (yt.find(':') != std::string::npos && d.LastWriteTime > UnixToFileTime(now + 86400))
      d.LastWriteTime = FileTimeOfUtc(year - 1, month, day, hour, minute, 0);
  }
  return true;
}

std::string FoldFtpPath(const std::string& Current, const std::string& Dir) {
  const std::string full = !Dir.empty() && Dir.front() == '/' ? Dir : Current + "/" + Dir;
  std::vector<std::string> parts;
  std::size_t pos = 0;
  while (pos <= full.size()) {
    std::size_t end = full.find('/', pos);
    if (end == std::string::npos) end = full.size();
    std::string p = full.substr(pos, end - pos);
    pos = end + 1;
    if (p.empty() || p == ".") continue;
    if (p == "..") {
      if (!parts.empty()) parts.pop_back();
    } else {
      parts.push_back(std::move(p));
    }
  }
  std::string resolved = "/";
  for (std::size_t i = 0; i < parts.size(); ++i) resolved += (i ? "/" : "") + parts[i];
  return resolved;
}

namespace {

// One "[...]" class at pattern[p] against c: the position after it, with In
// set, or npos when the class is not closed (the "[" is then a plain
// character). "!" or "^" first negates; "]" first is a member; "a-z" is a
// range; a backslash takes the next character as it is.
std::size_t MatchClass(std::string_view pattern, std::size_t p, unsigned char c, bool& in) {
  std::size_t i = p + 1;
  bool negate = false;
  if (i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^')) {
    negate = true;
    ++i;
  }
  auto take = [&](std::size_t& at) {
    if (pattern[at] == '\\' && at + 1 < pattern.size()) ++at;
    return static_cast<unsigned char>(pattern[at++]);
  };
  in = false;
  bool first = true;
  while (i < pattern.size() && (first || pattern[i] != ']')) {
    first = false;
    const unsigned char lo = take(i);
    unsigned char hi = lo;
    if (i + 1 < pattern.size() && pattern[i] == '-' && pattern[i + 1] != ']') {
      ++i;
      hi = take(i);
    }
    if (lo <= c && c <= hi) in = true;
  }
  if (i >= pattern.size()) return std::string_view::npos;
  in = in != negate;
  return i + 1;
}

}  // namespace

// Greedy matching that goes back only to the last "*": at most the
// pattern's length in steps per character of the name, where a recursive
// matcher (fnmatch) can take time exponential in the number of stars.
bool MatchesWildCard(const std::string& Pattern, const std::string& Name) {
  if (Pattern.empty() || Pattern == "*" || Pattern == "*.*") return true;
  const std::string_view pat = Pattern, name = Name;
  constexpr std::size_t npos = std::string_view::npos;
  std::size_t p = 0, n = 0, starP = npos, starN = 0;
  while (n < name.size()) {
    if (p < pat.size()) {
      const char pc = pat[p];
      if (pc == '*') {
        starP = ++p;
        starN = n;
        continue;
      }
      bool ok;
      std::size_t next = p + 1;
      if (pc == '?') {
        ok = true;
      } else if (pc == '[') {
        bool in = false;
        const std::size_t end = MatchClass(pat, p, static_cast<unsigned char>(name[n]), in);
        ok = end == npos ? name[n] == '[' : in;
        if (end != npos) next = end;
      } else if (pc == '\\' && p + 1 < pat.size()) {
        ok = name[n] == pat[p + 1];
        next = p + 2;
      } else {
        ok = name[n] == pc;
      }
      if (ok) {
        p = next;
        ++n;
        continue;
      }
    }
    // A mismatch: the last "*" takes one more character, if there is one.
    if (starP == npos) return false;
    p = starP;
    n = ++starN;
  }
  while (p < pat.size() && pat[p] == '*') ++p;
  return p == pat.size();
}

bool InetParseListingLine(const std::string& Line, bool Mlsd, TInetFindData& Data) {
  return Mlsd ? ParseMlsdLine(Line, Data) : ParseListLine(Line, Data);
}

TFtpWalkBound::TVerdict TFtpWalkBound::Enter(const std::string& Identity, int Depth) {
  if (!Identity.empty() && FSeen.count(Identity) != 0) return wvSeen;
  TVerdict verdict = wvEnter;
  if (Depth > FMaxDepth)
    verdict = wvTooDeep;
  else if (FEntered >= FMaxFolders)
    verdict = wvTooMany;
  if (verdict != wvEnter) {
    if (FCut == wvEnter) FCut = verdict;
    return verdict;
  }
  ++FEntered;
  if (!Identity.empty()) FSeen.insert(Identity);
  return wvEnter;
}

}  // namespace kwinet
