/// @file
/// Where the content components keep their local copies of remote files: a
/// folder of this user's own under the temporary folder, and a fresh name in
/// it for each copy that keeps the remote file's extension (so that a picture
/// or page can still be told by its name).
///
/// Thread-safety: every function may be called from any thread; jobs on
/// several threads get names of their own and share the list of names to
/// remove on a signal.
#pragma once

#include "kwinet/core/String.h"

namespace kwinet {

/// $TMPDIR (or /tmp) followed by "/kwinet-" and the user's id, made with mode
/// 0700 when missing. An existing one must be a real folder (not a link) that
/// belongs to this user; its mode is set back to 0700. Raises EInOutError when
/// no such folder can be had.
String PrivateTempFolder();

/// The extension of a remote file name: the text from its last dot, or empty
/// when there is no dot or a "/", "\" or ":" follows it, or when it holds a
/// control character. It can never name another folder.
String RemoteFileExtension(const String& RemoteFileName);

/// A name in PrivateTempFolder() that no other copy of this process or of
/// another of this user's processes is given: "tmp", the process id, "-", a
/// count, then RemoteFileExtension(RemoteFileName). The file is not made.
/// The name (and its ".part") is listed for RemoveRegisteredFiles. The
/// first call of a process removes what processes of this user that no longer
/// run left in the folder (RemoveStaleTempCopies).
String PrivateTempFileName(const String& RemoteFileName);

/// Removes a copy named by PrivateTempFileName and its ".part", and takes
/// both off the list.
void RemoveTempCopy(const String& FileName);

/// Removes the copies in PrivateTempFolder() whose name says that a process
/// made them ("tmp", its id, "-") which no longer runs: what a killed
/// program left behind. Copies of running processes stay, and so does
/// anything named otherwise.
void RemoveStaleTempCopies();

/// Files that go when the process is stopped by a signal: a program's
/// handler of SIGINT and SIGTERM calls RemoveRegisteredFiles, then lets the
/// signal take its course. The list holds a bounded number of names; one
/// that no longer fits is simply not removed then.
void RemoveOnSignal(const String& FileName);
/// Takes a name off the list.
void KeepOnSignal(const String& FileName);
/// Unlinks every listed file. Safe to call from a signal handler: no
/// allocation, no lock, only unlink(2).
void RemoveRegisteredFiles() noexcept;

}  // namespace kwinet
