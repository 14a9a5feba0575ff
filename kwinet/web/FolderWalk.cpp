#include "kwinet/web/FolderWalk.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "kwinet/core/Application.h"
#include "kwinet/utils/RedactUrl.h"

namespace kwinet {

namespace {

// A folder path and a name in it, with one separator between them.
String JoinFtpPath(const String& dir, const String& name) {
  return !dir.empty() && dir.back() == u'/' ? dir + name : dir + u"/" + name;
}

// One folder of a local listing: its entries that match, in order, and how
// far the listing has come.
struct TLocalFolder {
  std::string Prefix;                                 // the folder and a separator; empty for the current folder
  std::vector<std::pair<std::string, bool>> Entries;  // name, is a folder
  std::size_t Next = 0;
};

// Reads the folder Prefix names into Folder. False when it cannot be read
// or is one that the walk has listed already (a link back up the tree).
bool ReadLocalFolder(const std::string& prefix, const std::string& pattern, std::set<std::pair<dev_t, ino_t>>& seen,
                     TLocalFolder& folder) {
  const std::string path = prefix.empty() ? std::string(".") : prefix;
  if (path.find('\0') != std::string::npos) return false;
  DIR* d = ::opendir(path.c_str());
  if (!d) {
    // A folder that cannot be read is no empty folder: the user is told,
    // and the listing goes on.
    const int e = errno;
    Application->MessageBox(u"Cannot open the folder " + Utf8ToString(path) + u": " + SysErrorMessage(e),
                            Application->Title(), MB_OK | MB_ICONERROR);
    return false;
  }
  struct stat st {};
  if (::fstat(::dirfd(d), &st) != 0 || !seen.emplace(st.st_dev, st.st_ino).second) {
    ::closedir(d);
    return false;
  }
  folder.Prefix = prefix;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (!MatchesWildCard(pattern, name)) continue;
    // A link counts as what it points to; a broken one as a file.
    struct stat target {};
    const bool isDir = ::fstatat(::dirfd(d), e->d_name, &target, 0) == 0 && S_ISDIR(target.st_mode);
    folder.Entries.emplace_back(name, isDir);
  }
  ::closedir(d);
  // The order of the directory is no order: "." and ".." first, then by name.
  auto rank = [](const std::string& n) { return n == "." ? 0 : n == ".." ? 1 : 2; };
  std::sort(folder.Entries.begin(), folder.Entries.end(), [&](const auto& a, const auto& b) {
    const int ra = rank(a.first), rb = rank(b.first);
    return ra != rb ? ra < rb : a.first < b.first;
  });
  return true;
}

}  // namespace

bool TWalkBudget::Take(const String& entry) {
  // Its UTF-8 bytes and a line break: what a listing of it would take.
  FBytes += 1;
  for (const char16_t c : entry) FBytes += c < 0x80 ? 1 : c < 0x800 ? 2 : (c >= 0xD800 && c < 0xE000) ? 2 : 3;
  if (++FEntries > FMaxEntries)
    FCut = u"Listing cut short: no more than " + IntToStr(static_cast<std::int64_t>(FMaxEntries)) +
           u" entries are listed in one listing";
  else if (FMaxBytes > 0 && FBytes > FMaxBytes)
    FCut = u"Listing cut short: the entries add up to more than " + IntToStr(FMaxBytes) + u" bytes (MaxResponseSize)";
  return FCut.empty();
}

String ListFtpTree(HINTERNET connection, const String& Dir, const String& WildCard, TStrings& Strings, bool SubFolders,
                   TWalkBudget& budget) {
  String start;
  if (!FtpGetCurrentDirectory(connection, start)) start.clear();
  // A folder as the entries show it (as Dir gives it) and its absolute path,
  // which every search and change of folder uses: a folder given relative
  // to the current one must not be looked for again under itself.
  struct TFolder {
    String Shown, Path;
    int Depth = 0;  // below the start
  };
  TFolder first{Dir.empty() ? String(u"/") : Dir, String()};
  first.Path = first.Shown.front() == u'/'
                   ? first.Shown
                   : Utf8ToString(FoldFtpPath(start.empty() ? "/" : StringToUtf8(start), StringToUtf8(first.Shown)));
  // Only the folder asked for, when it is the current one already, gives
  // bare names.
  const bool bare = first.Shown == start;
  // The next folder to list is at the back; a folder's subfolders go on in
  // reverse, so the first found comes off first.
  std::vector<TFolder> pending{first};
  std::vector<TFolder> found;
  // The start's own identity is not known: only a folder's parent lists it.
  TFtpWalkBound bound;
  bound.Enter(std::string(), 0);
  String cut;
  bool top = true;
  while (!pending.empty() && budget.Cut().empty()) {
    const TFolder dir = std::move(pending.back());
    pending.pop_back();
    const bool bareNames = top && bare;
    top = false;
    String current;
    if (!FtpGetCurrentDirectory(connection, current)) current.clear();
    const bool entered = dir.Path == current || FtpSetCurrentDirectory(connection, dir.Path);
    if (!entered) {
      // The user is told, and the listing goes on.
      String reason = InternetGetLastErrorText();
      if (reason.empty()) reason = InternetGetLastResponseInfo();
      Application->MessageBox(u"Cannot open the folder " + dir.Path + (reason.empty() ? String() : u": " + reason),
                              Application->Title(), MB_OK | MB_ICONERROR);
    }
    TInetFindData data;
    TInternetHandle find(FtpFindFirstFile(connection, bareNames ? WildCard : JoinFtpPath(dir.Path, WildCard), data));
    if (!find && entered && InternetGetLastErrorText() != kNoMoreFiles) {
      // A listing that failed is no empty folder: the user is told (once
      // for a folder), and the listing goes on.
      Application->MessageBox(RedactUrl(u"Cannot list the folder " + dir.Path + u": " + InternetGetLastErrorText()),
                              Application->Title(), MB_OK | MB_ICONERROR);
    }
    found.clear();
    for (bool more = static_cast<bool>(find); more; more = InternetFindNextFile(find, data)) {
      const String entry = bareNames ? data.FileName : JoinFtpPath(dir.Shown, data.FileName);
      if (!budget.Take(entry)) break;
      Strings.Add(entry);
      if (!SubFolders || !(data.Attributes & FILE_ATTRIBUTE_DIRECTORY) || data.FileName == u"." ||
          data.FileName == u"..")
        continue;
      // A folder is taken on when it is found, so that of two names of one
      // folder the one found first is entered, wherever the walk is then.
      TFolder sub{JoinFtpPath(dir.Shown, data.FileName), JoinFtpPath(dir.Path, data.FileName), dir.Depth + 1};
      const TFtpWalkBound::TVerdict verdict = bound.Enter(data.Identity, sub.Depth);
      if (verdict == TFtpWalkBound::wvEnter) {
        found.push_back(std::move(sub));
      } else if (cut.empty() && verdict == TFtpWalkBound::wvTooDeep) {
        cut = u"Listing cut short: folders more than " + IntToStr(bound.MaxDepth()) + u" levels below " + first.Shown +
              u" are listed but not entered, such as " + sub.Shown;
      } else if (cut.empty() && verdict == TFtpWalkBound::wvTooMany) {
        cut = u"Listing cut short: no more than " + IntToStr(static_cast<std::int64_t>(bound.MaxFolders())) +
              u" folders are entered in one listing; the others are listed only, such as " + sub.Shown;
      }
    }
    pending.insert(pending.end(), std::make_move_iterator(found.rbegin()), std::make_move_iterator(found.rend()));
  }
  String current;
  if (!start.empty() && (!FtpGetCurrentDirectory(connection, current) || current != start))
    FtpSetCurrentDirectory(connection, start);
  return budget.Cut().empty() ? cut : budget.Cut();
}

void ListLocalTree(const String& Dir, const String& WildCard, TStrings& Strings, bool SubFolders, TWalkBudget& budget) {
  const std::string pattern = StringToUtf8(WildCard);
  std::string prefix = FileNameToPath(Dir);
  if (!prefix.empty() && prefix.back() != '/') prefix += '/';
  std::set<std::pair<dev_t, ino_t>> seen;
  std::vector<TLocalFolder> stack(1);
  if (!ReadLocalFolder(prefix, pattern, seen, stack.back())) return;
  while (!stack.empty()) {
    TLocalFolder& folder = stack.back();
    if (folder.Next == folder.Entries.size()) {
      stack.pop_back();
      continue;
    }
    const auto [name, isDir] = folder.Entries[folder.Next++];
    const std::string path = folder.Prefix + name;
    const String entry = Utf8ToString(path);
    if (!budget.Take(entry)) return;
    Strings.Add(entry);
    if (SubFolders && isDir && name != "." && name != "..") {
      TLocalFolder sub;
      if (ReadLocalFolder(path + "/", pattern, seen, sub)) stack.push_back(std::move(sub));
    }
  }
}

}  // namespace kwinet
