// The name lookup of the socket components: getaddrinfo, which a job's
// Cancel can cut short.
#pragma once

#include <netdb.h>

namespace kwinet {

/// getaddrinfo's own signature.
using TLookupFunction = int (*)(const char* Node, const char* Service, const addrinfo* Hints, addrinfo** Result);

/// getaddrinfo, with the same arguments and results. Outside a job, or for a
/// numeric address, it is the call itself. In a job a lookup of a name runs
/// on a thread of its own while the job waits for it in slices, so that a
/// lookup a slow name server holds up cannot keep a cancelled job: the job
/// then raises EJobCancelled at once, and the lookup's thread ends on its own
/// and frees what it found.
int LookUpName(const char* Node, const char* Service, const addrinfo* Hints, addrinfo** Result);

/// Replaces the function that LookUpName calls (getaddrinfo) and returns the
/// previous one; for tests of a lookup that does not answer.
TLookupFunction SetLookupFunction(TLookupFunction Function);

}  // namespace kwinet
