// The header block of an HTTP answer as the transfer layer keeps it, and
// the reader that takes it in line by line.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kwinet {

struct THttpAnswer {
  int Status = 0;  // 0: no status line yet
  std::string StatusLine;
  std::vector<std::pair<std::string, std::string>> Fields;  // names in lower case, values trimmed
  // The block is complete and is the final answer (not an interim 1xx, not
  // a redirect that is being followed).
  bool Final = false;

  const std::string* Header(std::string_view LowerName) const;
};

// Takes one header line (its line end may still be there) into Answer: a
// status line starts a new block, an empty line ends one. Returns true
// for a status line.
bool TakeHeaderLine(THttpAnswer& Answer, std::string_view Line, bool FollowRedirects);

}  // namespace kwinet
