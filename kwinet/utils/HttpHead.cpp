#include "kwinet/utils/HttpHead.h"

#include <cstring>

namespace kwinet {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Printable, blank, or a byte of 128 to 255 (text in some legacy code page).
bool IsReasonByte(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u == '\t' || (u >= 0x20 && u != 0x7F);
}

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameAsciiText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

bool ParseHttpStatusLine(std::string_view Line, THttpStatusLine& Status) {
  // "HTTP/" DIGIT ["." DIGIT]
  if (Line.size() < 6 || Line.compare(0, 5, "HTTP/") != 0 || !IsDigit(Line[5])) return false;
  std::size_t i = 6;
  if (i < Line.size() && Line[i] == '.') {
    if (i + 1 >= Line.size() || !IsDigit(Line[i + 1])) return false;
    i += 2;
  }
  const std::size_t versionEnd = i;
  // SP 3DIGIT
  if (i + 4 > Line.size() || Line[i] != ' ') return false;
  const char* d = Line.data() + i + 1;
  if (d[0] < '1' || d[0] > '9' || !IsDigit(d[1]) || !IsDigit(d[2])) return false;
  i += 4;
  // [SP reason]
  std::string_view reason;
  if (i < Line.size()) {
    if (Line[i] != ' ') return false;
    reason = Line.substr(i + 1);
    for (char c : reason)
      if (!IsReasonByte(c)) return false;
  }
  Status.Version.assign(Line.substr(0, versionEnd));
  Status.Code = (d[0] - '0') * 100 + (d[1] - '0') * 10 + (d[2] - '0');
  Status.Reason.assign(reason);
  return true;
}

int LooseStatusCode(std::string_view Bytes) {
  const auto space = Bytes.find(' ');
  if (space == std::string_view::npos || Bytes.size() - space < 4) return 0;
  const char* d = Bytes.data() + space + 1;
  if (!IsDigit(d[0]) || !IsDigit(d[1]) || !IsDigit(d[2])) return 0;
  return (d[0] - '0') * 100 + (d[1] - '0') * 10 + (d[2] - '0');
}

// --- THttpHeadReader -------------------------------------------------------------

std::size_t THttpHeadReader::Feed(std::string_view Bytes) {
  std::size_t used = 0;
  while (FState == hsReading && used < Bytes.size()) {
    const std::string_view rest = Bytes.substr(used);
    const void* lf = std::memchr(rest.data(), '\n', rest.size());
    const std::size_t take = lf ? static_cast<const char*>(lf) - rest.data() + 1 : rest.size();
    if (FMaxSize != 0 && take > FMaxSize - FSize) {
      FState = hsFailed;
      FError = u"The HTTP head is longer than " + IntToStr(static_cast<std::int64_t>(FMaxSize)) + u" bytes";
      break;
    }
    FLine.append(rest.data(), lf ? take - 1 : take);
    FSize += take;
    used += take;
    if (lf) EndLine();
  }
  return used;
}

THttpHeadState THttpHeadReader::FeedLine(std::string_view Line) {
  Feed(Line);
  if (FState == hsReading && (Line.empty() || Line.back() != '\n')) EndLine();
  return FState;
}

void THttpHeadReader::Reset() {
  *this = THttpHeadReader(FMaxSize);
}

void THttpHeadReader::EndLine() {
  if (!FLine.empty() && FLine.back() == '\r') FLine.pop_back();
  if (FLine.empty()) {
    FState = hsDone;
    return;
  }
  if (FLines.empty()) {
    FHasStatus = ParseHttpStatusLine(FLine, FStatus);
  } else if (IsBlank(FLine.front())) {
    // A continuation of the field before (obsolete folding): one space
    // stands for the line break.
    if (FLastWasField) {
      const std::string_view more = TrimBlanks(FLine);
      std::string& value = FFields.back().Value;
      if (!more.empty()) {
        if (!value.empty()) value.push_back(' ');
        value.append(more);
      }
    }
  } else {
    const auto colon = FLine.find(':');
    const std::string_view name =
        colon == std::string::npos ? std::string_view() : TrimBlanks(std::string_view(FLine).substr(0, colon));
    FLastWasField = !name.empty();
    if (FLastWasField)
      FFields.push_back(
          THttpField{std::string(name), std::string(TrimBlanks(std::string_view(FLine).substr(colon + 1)))});
  }
  FLines.push_back(std::move(FLine));
  FLine.clear();
}

const std::string* THttpHeadReader::Field(std::string_view Name) const {
  for (const auto& f : FFields)
    if (SameAsciiText(f.Name, Name)) return &f.Value;
  return nullptr;
}

// --- TConnectAnswerReader -----------------------------------------------------------

std::size_t TConnectAnswerReader::Feed(std::string_view Bytes) {
  std::size_t used = 0;
  // A line at a time, so that a first line that is not HTTP stops the
  // reading right after it.
  while (FVerdict == cvPending && used < Bytes.size()) {
    const std::string_view rest = Bytes.substr(used);
    const auto lf = rest.find('\n');
    used += FHead.Feed(lf == std::string_view::npos ? rest : rest.substr(0, lf + 1));
    if (FHead.Failed() || (!FHead.Lines().empty() && !FHead.HasStatus()) || (FHead.Done() && FHead.Lines().empty()))
      FVerdict = cvMalformed;
    else if (FHead.Done())
      FVerdict = FHead.Status().Code == 407                                ? cvProxyAuth
                 : FHead.Status().Code >= 200 && FHead.Status().Code < 300 ? cvOpen
                                                                           : cvRefused;
  }
  return used;
}

std::string TConnectAnswerReader::StatusLine() const {
  return FHead.Lines().empty() ? std::string() : FHead.Lines().front();
}

}  // namespace kwinet
