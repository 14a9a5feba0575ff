#include "kwinet/web/InetHttpAnswer.h"

namespace kwinet {

bool TakeHeaderLine(THttpAnswer& Answer, std::string_view Line, bool FollowRedirects) {
  std::string_view bare = Line;
  while (!bare.empty() && (bare.back() == '\n' || bare.back() == '\r')) bare.remove_suffix(1);
  if (bare.substr(0, 5) == "HTTP/") {
    // Every answer of the transfer (an interim 1xx, a proxy's answer to
    // CONNECT, a redirect) starts a head of its own.
    Answer.Head.Reset();
    Answer.Head.FeedLine(Line);
    Answer.StatusLine = std::string(bare);
    Answer.Status = Answer.Head.HasStatus() ? Answer.Head.Status().Code : LooseStatusCode(bare);
    return true;
  }
  if (Answer.Head.Done()) return false;  // nothing but a new status line follows an ended head
  Answer.Head.FeedLine(Line);
  if (bare.empty()) {
    const int s = Answer.Status;
    const bool interim = s >= 100 && s < 200;
    const bool redirect =
        FollowRedirects && (s == 301 || s == 302 || s == 303 || s == 307 || s == 308) && Answer.Header("location");
    if (s != 0 && !interim && !redirect) Answer.Final = true;
  }
  return false;
}

}  // namespace kwinet
