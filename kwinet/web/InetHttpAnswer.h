// The header block of an HTTP answer as the transfer layer keeps it, read
// line by line from libcurl's header callback by the shared HTTP head
// reader.
#pragma once

#include <string>
#include <string_view>

#include "kwinet/utils/HttpHead.h"

namespace kwinet {

struct THttpAnswer {
  int Status = 0;  // 0: no status line yet
  std::string StatusLine;
  // The block is complete and is the final answer (not an interim 1xx, not
  // a redirect that is being followed).
  bool Final = false;
  // The head being read: the status line and the fields of the latest
  // answer (an interim answer or a followed redirect is replaced by the next
  // one).
  THttpHeadReader Head{kMaxHeadSize};

  // libcurl bounds each line already; this bounds the whole head.
  static constexpr std::size_t kMaxHeadSize = 1 << 20;

  // The value of the first field of that name (ASCII case ignored).
  const std::string* Header(std::string_view Name) const { return Head.Field(Name); }
};

// Takes one header line (its line end may still be there) into Answer: a
// status line starts a new block, an empty line ends one. Returns true
// for a status line.
bool TakeHeaderLine(THttpAnswer& Answer, std::string_view Line, bool FollowRedirects);

}  // namespace kwinet
