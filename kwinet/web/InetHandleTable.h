// The table of the transfer layer's handles. Every handle is a node of a
// tree (a root holds connections and URL handles, a connection holds
// requests, FTP searches and FTP files); the table owns the nodes and
// hands out ids that name a slot and the slot's generation. Closing a node
// closes its subtree, children first, and moves each slot to its next
// generation, so a stale id is refused even after its slot is reused.
//
// Thread-safety: one table serves the jobs of every thread; a lock guards
// adding, finding and closing. A node found is used by the thread whose job
// opened it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "kwinet/web/InetHandle.h"

namespace kwinet {

enum TInetNodeKind : std::uint8_t { nkRoot, nkConnection, nkRequest, nkFind, nkFile, nkUrl };

class TInetNode {
 public:
  TInetNode(TInetNodeKind Kind, TInetNode* Parent) : Kind(Kind), Parent(Parent) {}
  virtual ~TInetNode() = default;
  TInetNode(const TInetNode&) = delete;
  TInetNode& operator=(const TInetNode&) = delete;

  const TInetNodeKind Kind;
  TInetNode* const Parent;
  HINTERNET Id;
  std::vector<TInetNode*> Children;  // owned by the table
};

class TInetHandleTable {
 public:
  // The table of the process.
  static TInetHandleTable& Global();

  // Takes the node (already linked to its parent, if any) and returns its
  // id.
  HINTERNET Add(std::unique_ptr<TInetNode> Node);
  // The node of a live id; nullptr for an unknown, closed or stale one.
  TInetNode* Find(HINTERNET Handle) const;
  // Closes the node and everything under it; false when the id is not live.
  bool Close(HINTERNET Handle) noexcept;

  // The slot an id names: ids that share a slot differ in generation.
  static std::uint32_t SlotOf(HINTERNET Handle) noexcept {
    return static_cast<std::uint32_t>(Handle.Value() & 0xFFFFFFFFu) - 1;
  }

 private:
  struct TSlot {
    std::uint32_t Generation = 1;
    std::unique_ptr<TInetNode> Node;
  };
  TInetNode* FindLocked(HINTERNET Handle) const;
  void CloseLocked(TInetNode* Node);

  mutable std::mutex FMutex;
  std::vector<TSlot> FSlots;
  std::vector<std::uint32_t> FFree;
};

}  // namespace kwinet
