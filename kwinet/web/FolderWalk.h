// The folder walks of the directory lister: the entries of a folder tree on
// an FTP server (through a connection of the transfer layer) or in the file
// system, with or without subfolders. Each walk ends on any tree (a link
// back up the tree is listed but not entered), needs no stack for a deep
// one, and keeps to the bounds of one listing (TWalkBudget). A folder that
// cannot be opened or listed is named to the user in a message box, and the
// walk goes on.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kwinet/core/StringList.h"
#include "kwinet/web/FtpListing.h"
#include "kwinet/web/KwInet.h"

namespace kwinet {

// How much one walk lists at most: MaxEntries entries, and entries whose
// bytes add up to MaxBytes (0: no such bound).
class TWalkBudget {
 public:
  explicit TWalkBudget(std::int64_t maxBytes, std::size_t maxEntries = kWalkMaxEntries)
      : FMaxBytes(maxBytes), FMaxEntries(maxEntries) {}
  // Counts Entry in; false, with the reason in Cut(), when it would pass a
  // bound (the walk then ends).
  bool Take(const String& entry);
  const String& Cut() const { return FCut; }

 private:
  std::int64_t FMaxBytes;
  std::size_t FMaxEntries;
  std::size_t FEntries = 0;
  std::int64_t FBytes = 0;
  String FCut;
};

// The entries of an FTP folder tree, each folder whole before its
// subfolders, which follow in the order found, each with its own
// subfolders before the next: a work list in place of recursion, so the
// depth of the tree costs no stack. The current folder is changed to each
// folder listed and put back at the end. A folder met again under another
// name (a link) is listed but not entered, and so is one past the walk's
// bounds: the result then says why the walk was cut short (empty when it
// is whole).
String ListFtpTree(HINTERNET connection, const String& Dir, const String& WildCard, TStrings& Strings, bool SubFolders,
                   TWalkBudget& budget);

// The entries of a local folder tree, each subfolder's entries right after
// its own entry: a stack of folders in place of recursion. A folder reached
// again (through a link) is listed as an entry but not entered again, so a
// link loop ends.
void ListLocalTree(const String& Dir, const String& WildCard, TStrings& Strings, bool SubFolders, TWalkBudget& budget);

}  // namespace kwinet
