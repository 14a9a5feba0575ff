#include "kwinet/socket/NameLookup.h"

#include <arpa/inet.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "kwinet/core/Jobs.h"

namespace kwinet {

namespace {

std::atomic<TLookupFunction> gLookup{&::getaddrinfo};

bool NumericAddress(const char* Node) {
  unsigned char buf[sizeof(in6_addr)];
  return Node && (::inet_pton(AF_INET, Node, buf) == 1 || ::inet_pton(AF_INET6, Node, buf) == 1);
}

// What a lookup on its own thread shares with the job that waits for it.
struct TLookup {
  std::mutex Lock;
  std::condition_variable Done;
  bool Finished = false;
  bool Abandoned = false;
  int Code = 0;
  addrinfo* Result = nullptr;
};

}  // namespace

TLookupFunction SetLookupFunction(TLookupFunction Function) {
  return gLookup.exchange(Function ? Function : &::getaddrinfo);
}

int LookUpName(const char* Node, const char* Service, const addrinfo* Hints, addrinfo** Result) {
  const TLookupFunction lookup = gLookup.load();
  if (!InJob() || NumericAddress(Node)) return lookup(Node, Service, Hints, Result);
  CheckJobCancelled();
  auto shared = std::make_shared<TLookup>();
  // The thread keeps copies of the arguments: the job may be gone when it
  // ends.
  std::thread([shared, lookup, node = std::string(Node ? Node : ""), hasNode = Node != nullptr,
               service = std::string(Service ? Service : ""), hasService = Service != nullptr,
               hints = Hints ? *Hints : addrinfo{}, hasHints = Hints != nullptr]() noexcept {
    addrinfo* found = nullptr;
    const int code = lookup(hasNode ? node.c_str() : nullptr, hasService ? service.c_str() : nullptr,
                            hasHints ? &hints : nullptr, &found);
    std::lock_guard lock(shared->Lock);
    if (shared->Abandoned) {
      if (code == 0 && found) ::freeaddrinfo(found);
      return;
    }
    shared->Code = code;
    shared->Result = found;
    shared->Finished = true;
    shared->Done.notify_all();
  }).detach();
  std::unique_lock lock(shared->Lock);
  while (!shared->Done.wait_for(lock, kJobCancelSlice, [&] { return shared->Finished; })) {
    if (JobCancelled()) {
      shared->Abandoned = true;
      lock.unlock();
      CheckJobCancelled();
    }
  }
  *Result = shared->Result;
  return shared->Code;
}

}  // namespace kwinet
