#include "kwinet/web/InetHttpAnswer.h"

#include <cstdlib>

namespace kwinet {

namespace {

std::string_view TrimAscii(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

}  // namespace

const std::string* THttpAnswer::Header(std::string_view LowerName) const {
  for (const auto& [name, value] : Fields)
    if (name == LowerName) return &value;
  return nullptr;
}

bool TakeHeaderLine(THttpAnswer& Answer, std::string_view Line, bool FollowRedirects) {
  while (!Line.empty() && (Line.back() == '\n' || Line.back() == '\r')) Line.remove_suffix(1);
  if (Line.substr(0, 5) == "HTTP/") {
    Answer.Fields.clear();
    Answer.StatusLine = std::string(Line);
    Answer.Status = 0;
    if (std::size_t sp = Answer.StatusLine.find(' '); sp != std::string::npos)
      Answer.Status = std::atoi(Answer.StatusLine.c_str() + sp + 1);
    return true;
  }
  if (Line.empty()) {
    const int s = Answer.Status;
    const bool interim = s >= 100 && s < 200;
    const bool redirect =
        FollowRedirects && (s == 301 || s == 302 || s == 303 || s == 307 || s == 308) && Answer.Header("location");
    if (s != 0 && !interim && !redirect) Answer.Final = true;
    return false;
  }
  if (std::size_t colon = Line.find(':'); colon != std::string_view::npos)
    Answer.Fields.emplace_back(Lower(TrimAscii(Line.substr(0, colon))), std::string(TrimAscii(Line.substr(colon + 1))));
  return false;
}

}  // namespace kwinet
