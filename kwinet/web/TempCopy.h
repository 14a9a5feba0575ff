// The local copy that a content component keeps of a remote file: a private
// name for it (PrivateTemp), reading it back without following a link, and
// its removal together with its ".part". The copy itself is written by the
// updater through TPartFile, so it appears only whole.
#pragma once

#include <memory>

#include "kwinet/core/Streams.h"
#include "kwinet/core/String.h"

namespace kwinet {

// Removes the copy that Name names (and its ".part"), then gives Name a
// fresh private name for a copy of RemoteFileName. Name is empty when no
// private folder can be had (the error is raised).
void RenewTempCopy(String& Name, const String& RemoteFileName);
// Gives Name a private name for a copy of RemoteFileName when it has none:
// a download never lands in the working folder.
void EnsureTempCopy(String& Name, const String& RemoteFileName);
// Removes the copy that Name names and its ".part", and clears Name.
void DropTempCopy(String& Name);
// The copy, open for reading; a link in its place is refused.
std::unique_ptr<TFileStream> OpenTempCopy(const String& Name);

}  // namespace kwinet
