/// @file
/// A new copy of a file, written beside it as "<target>.part" and put in the
/// target's place by rename only when it is whole: a reader never sees half a
/// file, and a failure leaves the old one as it was.
#pragma once

#include <sys/types.h>

#include <cstdint>

#include "kwinet/core/Streams.h"

namespace kwinet {

/// How a part file is opened.
enum : unsigned {
  pfNew = 0,  ///< A new ".part" is made; one left by an earlier run is deleted first.
  /// An existing regular ".part" of this user's is opened as it is (for a
  /// download to continue) instead of being made again; Resumed() tells.
  pfResume = 1,
  /// The ".part" stays when the process is stopped by a signal (a download
  /// that a later run continues). Otherwise it goes with the process.
  pfKeepOnSignal = 2,
};

/// The ".part" name is never written through. A symbolic link, a folder, a
/// FIFO, a device or any other file that is not a regular file of this user's
/// is refused, and so is a ".part" that another writer holds open. A stale
/// regular ".part" is removed and a new file made in its place with O_EXCL,
/// so that what is written is always a file of this object's own making.
/// Only a ".part" that this object made, and that its name still names, is
/// ever removed.
class TPartFile : public THandleStream {
 public:
  /// Raises EFCreateError naming the ".part" and why it cannot be had.
  explicit TPartFile(const String& Target, unsigned Flags = pfNew, unsigned Rights = 0644);
  /// Abandons the copy unless it was committed or closed.
  ~TPartFile() override;
  TPartFile(const TPartFile&) = delete;
  TPartFile& operator=(const TPartFile&) = delete;

  /// The file the copy becomes.
  const String& Target() const { return FTarget; }
  /// The ".part" file being written.
  const String& PartName() const { return FHandleName; }
  /// An existing ".part" was opened (pfResume) rather than made.
  bool Resumed() const { return FResumed; }
  // Handle(): the open file; -1 once committed, closed or abandoned.

  /// Puts the copy in the target's place by rename. Raises EFCreateError
  /// naming the target when that fails (the ".part" is then abandoned), or
  /// when the ".part" name no longer names this file (it is left alone).
  void Commit();
  /// Closes the copy and keeps it as it is, for a later run to continue.
  void Close();
  /// Closes the copy and removes it, if this object made it and its name
  /// still names it.
  void Abandon() noexcept;

 private:
  // The ".part" name still names the file held open.
  bool NameIsOurs() const;
  void Forget() noexcept;

  String FTarget;
  std::string FPath;
  dev_t FDev = 0;
  ino_t FIno = 0;
  bool FMade = false;
  bool FResumed = false;
  bool FRegistered = false;
};

}  // namespace kwinet
