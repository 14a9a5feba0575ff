// Where the content components keep their local copies of remote files: a
// folder of this user's own under the temporary folder, and a fresh name in
// it for each copy that keeps the remote file's extension (so that a picture
// or page can still be told by its name).
#pragma once

#include "kwinet/core/String.h"

namespace kwinet {

// $TMPDIR (or /tmp) followed by "/kwinet-" and the user's id, made with mode
// 0700 when missing. An existing one must be a real folder (not a link) that
// belongs to this user; its mode is set back to 0700. Raises EInOutError when
// no such folder can be had.
String PrivateTempFolder();

// The extension of a remote file name: the text from its last dot, or empty
// when there is no dot or a "/", "\" or ":" follows it, or when it holds a
// control character. It can never name another folder.
String RemoteFileExtension(const String& RemoteFileName);

// A name in PrivateTempFolder() that no other copy of this process or of
// another of this user's processes is given: "tmp", the process id, "-", a
// count, then RemoteFileExtension(RemoteFileName). The file is not made.
String PrivateTempFileName(const String& RemoteFileName);

}  // namespace kwinet
