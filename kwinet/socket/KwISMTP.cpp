#include "kwinet/socket/KwISMTP.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <random>
#include <string_view>
#include <vector>

#include "kwinet/socket/TlsTransport.h"
#include "kwinet/utils/kwiutil.h"

namespace kwinet {

// --- TKwIEMailAddress ---------------------------------------------------------

TKwIEMailAddress::TKwIEMailAddress(TCollection* Collection) : TCollectionItem(Collection) {}

String TKwIEMailAddress::GetText() const {
  if (FName.empty() || FName == UpperCase(FAddress)) return FAddress;
  return FName + u" <" + FAddress + u">";
}

void TKwIEMailAddress::SetText(const String& value) {
  FAddress.clear();
  FName.clear();
  if (!value.empty() && value.back() == u'>') {
    auto p = value.find(u'<');
    if (p != String::npos) {
      FAddress = Trim(value.substr(p + 1, value.size() - 1 - (p + 1)));
      FName = Trim(value.substr(0, p));
    }
  } else if (!value.empty() && value.back() == u')') {
    auto p = value.find(u'(');
    if (p != String::npos) {
      FName = Trim(value.substr(p + 1, value.size() - 1 - (p + 1)));
      FAddress = Trim(value.substr(0, p));
    }
  } else {
    FAddress = value;
  }
  // Quotes around the name go, pair by pair and of either kind.
  while (FName.size() > 1 &&
         ((FName.front() == u'"' && FName.back() == u'"') || (FName.front() == u'\'' && FName.back() == u'\'')))
    FName = FName.substr(1, FName.size() - 2);
}

void TKwIEMailAddress::Assign(TPersistent* Source) {
  if (auto* s = dynamic_cast<TKwIEMailAddress*>(Source)) {
    FAddress = s->FAddress;
    FName = s->FName;
    return;
  }
  TCollectionItem::Assign(Source);
}

// --- TKwIEMailAddresses -------------------------------------------------------

String TKwIEMailAddresses::GetEMailAddresses() const {
  String out;
  for (int i = 0; i < Count(); ++i) {
    if (i > 0) out += u", ";
    out += Items(i)->Text();
  }
  return out;
}

void TKwIEMailAddresses::SetEMailAddresses(const String& value) {
  BeginUpdate();
  try {
    Clear();
    std::size_t start = 0;
    int quotes = 0;
    auto addPiece = [&](std::size_t end) {
      String piece = Trim(value.substr(start, end - start));
      if (!piece.empty()) Add()->SetText(piece);
    };
    for (std::size_t i = 0; i < value.size(); ++i) {
      if (value[i] == u'"')
        ++quotes;
      else if (value[i] == u',' && quotes != 1) {
        addPiece(i);
        start = i + 1;
        quotes = 0;
      }
    }
    addPiece(value.size());
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TKwIEMailAddresses::FillTStrings(TStrings& AStrings) const {
  for (int i = 0; i < Count(); ++i) AStrings.Add(Items(i)->Text());
}

// --- TKwIEMailAttachment ------------------------------------------------------

TKwIEMailAttachment::TKwIEMailAttachment(TCollection* Collection) : TCollectionItem(Collection) {}

namespace {

// A file name without its folder: after the last folder separator of either
// system, or a drive colon.
String FileBaseName(const String& fileName) {
  auto p = fileName.find_last_of(u"/\\:");
  return p == String::npos ? fileName : fileName.substr(p + 1);
}

}  // namespace

String TKwIEMailAttachment::GetAttachmentName() const {
  if (!FAttachmentName.empty()) return FAttachmentName;
  return FileBaseName(FFileName);
}

void TKwIEMailAttachment::DetectContentType() {
  FContentType = ContentTypeByFile(FFileName);
}

void TKwIEMailAttachment::Assign(TPersistent* Source) {
  if (auto* s = dynamic_cast<TKwIEMailAttachment*>(Source)) {
    FAttachmentName = s->FAttachmentName;
    FContentType = s->FContentType;
    FEncoding = s->FEncoding;
    FFileName = s->FFileName;
    return;
  }
  TCollectionItem::Assign(Source);
}

// --- TKwILogin ----------------------------------------------------------------

void TKwILogin::Assign(TPersistent* Source) {
  if (auto* s = dynamic_cast<TKwILogin*>(Source)) {
    FUserID = s->FUserID;
    FPassword = s->FPassword;
    FUseLogin = s->FUseLogin;
    return;
  }
  TPersistent::Assign(Source);
}

}  // namespace kwinet

// --- TKwISMTP -----------------------------------------------------------------

namespace kwinet {

namespace {

const char16_t* const kDayNames[] = {u"Sun", u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat"};
const char16_t* const kMonthNames[] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                       u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
const char kBoundary[] = "----------MoravelleSMTP";
const char kDelimiter[] = "------------MoravelleSMTP";
const char kClosingDelimiter[] = "------------MoravelleSMTP--";
const char kMailer[] = "X-Mailer: Moravelle mailer (https://kwinet.invalid/)";

// The generator of message identifiers, seeded once per process.
std::mt19937& Random() {
  static std::mt19937 rng(std::random_device{}());
  return rng;
}

bool IsAscii(const String& s) {
  for (Char c : s)
    if (c > 127) return false;
  return true;
}

bool HasLineBreak(const String& s) {
  return s.find_first_of(u"\r\n") != String::npos;
}

// The encoders take their input in pieces of any size and carry what a piece
// leaves open to the next one (a CR whose LF may follow, the bytes of an
// unfinished Base64 line, a character whose encoding depends on the next
// two), so that the output does not depend on where the input was cut.

// Line ends CR LF, LF or CR become CR LF.
class TLineEnds {
 public:
  void Feed(std::string_view in, std::string& out) {
    for (char c : in) {
      if (c == '\r') {
        out += "\r\n";
      } else if (c == '\n') {
        if (FLast != '\r') out += "\r\n";
      } else {
        out.push_back(c);
      }
      FLast = c;
    }
  }
  // With CloseLastLine, text whose last line has no line end gets one, as
  // the lines of a string list do.
  void Finish(std::string& out, bool CloseLastLine) {
    if (CloseLastLine && FLast != '\r' && FLast != '\n') out += "\r\n";
    FLast = '\n';
  }

 private:
  char FLast = '\n';  // the last byte taken; at the start, as after a line end
};

// Base64 in lines of 76 characters (57 bytes), each ended by CR LF.
class TBase64Lines {
 public:
  void Feed(std::string_view in, std::string& out) {
    while (!in.empty()) {
      if (FHeld == 0 && in.size() >= kLineBytes) {
        PutLine(in.data(), kLineBytes, out);
        in.remove_prefix(kLineBytes);
        continue;
      }
      const std::size_t n = std::min(kLineBytes - FHeld, in.size());
      std::memcpy(FLine + FHeld, in.data(), n);
      FHeld += n;
      in.remove_prefix(n);
      if (FHeld == kLineBytes) {
        PutLine(FLine, kLineBytes, out);
        FHeld = 0;
      }
    }
  }
  void Finish(std::string& out) {
    if (FHeld > 0) PutLine(FLine, FHeld, out);
    FHeld = 0;
  }

 private:
  static constexpr std::size_t kLineBytes = 57;
  static void PutLine(const char* bytes, std::size_t n, std::string& out) {
    char line[80];
    Encode64Bytes(reinterpret_cast<const unsigned char*>(bytes), n, line);
    out.append(line, Base64Length(n));
    out += "\r\n";
  }
  char FLine[kLineBytes];
  std::size_t FHeld = 0;
};

// Quoted-printable (RFC 2045) of bytes whose line ends are CR LF. Whether a
// blank may stand as it is depends on the two bytes after it, so the last
// two bytes of a piece wait for the next piece (or Finish).
class TQuotedPrintable {
 public:
  void Feed(std::string_view in, std::string& out) {
    for (char c : in) {
      FWindow[FHeld++] = c;
      if (FHeld == 3) Step(out);
    }
  }
  void Finish(std::string& out) {
    while (FHeld > 0) Step(out);
  }

 private:
  // Encodes the window's first byte (with its LF, for a CR LF). Fewer than
  // three bytes in the window here means that the input has ended.
  void Step(std::string& out) {
    static const char hex[] = "0123456789ABCDEF";
    const unsigned char c = static_cast<unsigned char>(FWindow[0]);
    std::size_t used = 1;
    if (c == '\r' && FHeld >= 2 && FWindow[1] == '\n') {
      out += "\r\n";
      FLineLength = 0;
      used = 2;
    } else {
      const bool lineEnd = FHeld == 1 || (FWindow[1] == '\r' && FHeld >= 3 && FWindow[2] == '\n');
      const bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !lineEnd);
      const char enc[3] = {'=', hex[c >> 4], hex[c & 15]};
      const std::size_t n = literal ? 1 : 3;
      // A soft break keeps every line within 76 characters.
      if (FLineLength + n > 75) {
        out += "=\r\n";
        FLineLength = 0;
      }
      out.append(literal ? &FWindow[0] : enc, n);
      FLineLength += n;
    }
    for (std::size_t i = used; i < FHeld; ++i) FWindow[i - used] = FWindow[i];
    FHeld -= used;
  }
  char FWindow[3];
  std::size_t FHeld = 0;
  std::size_t FLineLength = 0;
};

enum TPartKind : std::uint8_t { pkPlain, pkBase64, pkQuotedPrintable };

TPartKind PartKind(const String& encoding) {
  if (SameText(encoding, u"base64")) return pkBase64;
  if (SameText(encoding, u"quoted-printable")) return pkQuotedPrintable;
  return pkPlain;
}

// One part's content on its way out: line ends made CR LF first when asked,
// then the transfer encoding.
class TPartEncoder {
 public:
  TPartEncoder(TPartKind Kind, bool NormalizeLineEnds, bool CloseLastLine)
      : FKind(Kind), FNormalize(NormalizeLineEnds || Kind == pkPlain), FCloseLastLine(CloseLastLine) {}
  void Feed(std::string_view in, std::string& out) {
    if (!FNormalize) return Encode(in, out);
    FText.clear();
    FLineEnds.Feed(in, FText);
    Encode(FText, out);
  }
  void Finish(std::string& out) {
    if (FNormalize) {
      FText.clear();
      FLineEnds.Finish(FText, FCloseLastLine);
      Encode(FText, out);
    }
    if (FKind == pkBase64) FBase64.Finish(out);
    if (FKind == pkQuotedPrintable) FQuoted.Finish(out);
  }

 private:
  void Encode(std::string_view in, std::string& out) {
    if (FKind == pkBase64)
      FBase64.Feed(in, out);
    else if (FKind == pkQuotedPrintable)
      FQuoted.Feed(in, out);
    else
      out.append(in);
  }
  TPartKind FKind;
  bool FNormalize, FCloseLastLine;
  TLineEnds FLineEnds;
  TBase64Lines FBase64;
  TQuotedPrintable FQuoted;
  std::string FText;
};

// Gathers the message into pieces for a sink, doubling a "." that begins a
// line when the message goes after DATA. Remembers the last two bytes put
// (before any doubling, which never changes how the message ends).
class TMessageWriter {
 public:
  using TSink = std::function<void(std::string_view)>;
  TMessageWriter(TSink Sink, bool DoubleDots, std::size_t PieceSize)
      : FSink(std::move(Sink)), FDoubleDots(DoubleDots), FPieceSize(PieceSize) {}

  void Put(std::string_view bytes) {
    if (bytes.empty()) return;
    FTail[0] = bytes.size() >= 2 ? bytes[bytes.size() - 2] : FTail[1];
    FTail[1] = bytes.back();
    while (!bytes.empty()) {
      // The buffer is below PieceSize here: it is sent as soon as it reaches it.
      const std::size_t n = std::min(bytes.size(), FPieceSize - FBuffer.size());
      if (FDoubleDots) {
        for (char c : bytes.substr(0, n)) {
          if (FLineStart && c == '.') FBuffer.push_back('.');
          FBuffer.push_back(c);
          FLineStart = c == '\n';
        }
      } else {
        FBuffer.append(bytes.substr(0, n));
      }
      bytes.remove_prefix(n);
      if (FBuffer.size() >= FPieceSize) Flush();
    }
  }
  void Line(std::string_view text) {
    Put(text);
    Put("\r\n");
  }
  // Bytes that go as they are, dots included (the end-of-data line).
  void PutVerbatim(std::string_view bytes) { FBuffer.append(bytes); }
  char Last() const { return FTail[1]; }
  bool EndsWithLineEnd() const { return FTail[0] == '\r' && FTail[1] == '\n'; }
  void Flush() {
    if (FBuffer.empty()) return;
    FSink(FBuffer);
    FBuffer.clear();
  }

 private:
  TSink FSink;
  bool FDoubleDots;
  std::size_t FPieceSize;
  std::string FBuffer;
  bool FLineStart = true;
  char FTail[2] = {'\0', '\0'};
};

// Text in a character set: UTF-8 for "utf-8", otherwise one byte per
// character (characters above 255 cannot be written and become "?").
std::string TextInCharSet(const String& text, const String& charSet) {
  if (SameText(charSet, u"utf-8") || SameText(charSet, u"utf8")) return StringToUtf8(text);
  std::string out(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) out[i] = text[i] < 256 ? static_cast<char>(text[i]) : '?';
  return out;
}

// ASCII text as a quoted string: in double quotes, with a backslash before
// every double quote and backslash, so that none of them ends it early.
std::string QuotedString(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') quoted.push_back('\\');
    quoted.push_back(c);
  }
  return quoted + "\"";
}

// A display name inside an address header: encoded when it is not ASCII,
// quoted when it holds characters that would split or end the address.
std::string HeaderAddress(const TKwIEMailAddress& a) {
  const std::string address = StringToUtf8(a.Address());
  if (a.Name().empty() || a.Name() == UpperCase(a.Address())) return address;
  std::string name;
  if (!IsAscii(a.Name())) {
    name = EncodeHeaderText(a.Name());
  } else {
    name = StringToUtf8(a.Name());
    if (name.find_first_of("()<>[]:;@\\,.\"") != std::string::npos) name = QuotedString(name);
  }
  return name + " <" + address + ">";
}

// The value of a name or filename parameter: a quoted string (a quote or
// backslash in the name cannot end it and start parameters of its own); a
// name that is not ASCII as encoded words inside it.
std::string ParameterValue(const String& name) {
  return IsAscii(name) ? QuotedString(StringToUtf8(name)) : "\"" + EncodeHeaderText(name) + "\"";
}

std::string HeaderAddressList(const TKwIEMailAddresses& list) {
  std::string out;
  for (int i = 0; i < list.Count(); ++i) {
    if (i > 0) out += ", ";
    out += HeaderAddress(*list.Items(i));
  }
  return out;
}

// A file of the message (the body file or an attachment), opened before
// anything of the mail transaction is sent.
struct TMessageFile {
  String FileName;
  std::unique_ptr<TFileStream> Stream;
  std::int64_t Size = 0;  // as it was when opened
};

TMessageFile OpenMessageFile(const String& fileName, const char16_t* what) {
  // A device, pipe or folder has no end to wait for (/dev/zero would never
  // end the message), and opening a pipe waits for its writer: only
  // regular files go into a message.
  const String notRegular =
      Format(u"The message was not sent: the %s %s is not a regular file", {String(what), fileName});
  std::error_code ec;
  const std::filesystem::path path(StringToUtf8(fileName));
  if (std::filesystem::exists(path, ec) && !std::filesystem::is_regular_file(path, ec)) throw Exception(notRegular);
  TMessageFile file{fileName, std::make_unique<TFileStream>(fileName, fmOpenRead | fmShareDenyWrite), 0};
  struct stat st {};
  if (::fstat(file.Stream->Handle(), &st) != 0 || !S_ISREG(st.st_mode)) throw Exception(notRegular);
  file.Size = st.st_size;
  return file;
}

// Passes the file's content through Encoder to Writer, a piece at a time.
// What is sent is the size the file had when it was opened: a file that
// grows cannot hold the message open. A file that shrinks meanwhile fails
// the message before its end is sent, so no cut copy is delivered.
void WriteFile(TMessageFile& file, TPartEncoder& encoder, TMessageWriter& writer) {
  std::vector<char> piece(TKwISMTP::FileChunkSize);
  std::string encoded;
  std::int64_t left = file.Size;
  while (left > 0) {
    const std::int64_t n =
        file.Stream->Read(piece.data(), std::min<std::int64_t>(left, static_cast<std::int64_t>(piece.size())));
    if (n < 0)
      throw Exception(u"The message was not sent: reading %s failed: %s",
                      {file.FileName, SysErrorMessage(GetLastError())});
    if (n == 0) throw Exception(u"The message was not sent: %s became shorter while it was sent", {file.FileName});
    left -= n;
    encoded.clear();
    encoder.Feed(std::string_view(piece.data(), static_cast<std::size_t>(n)), encoded);
    writer.Put(encoded);
  }
  encoded.clear();
  encoder.Finish(encoded);
  writer.Put(encoded);
}

}  // namespace

std::string EncodeBase64Lines(const std::string& bytes) {
  std::string out;
  out.reserve(Base64Length(bytes.size()) + bytes.size() / 57 * 2 + 2);
  TBase64Lines encoder;
  encoder.Feed(bytes, out);
  encoder.Finish(out);
  return out;
}

std::string EncodeQuotedPrintable(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  TQuotedPrintable encoder;
  encoder.Feed(bytes, out);
  encoder.Finish(out);
  return out;
}

std::string EncodeHeaderText(const String& text) {
  if (IsAscii(text)) return StringToUtf8(text);
  // Encoded words of at most 45 bytes of UTF-8 (60 characters of Base64),
  // cut between characters, folded onto continuation lines.
  const std::string utf8 = StringToUtf8(text);
  std::string out;
  std::size_t i = 0;
  while (i < utf8.size()) {
    std::size_t n = std::min<std::size_t>(45, utf8.size() - i);
    while (i + n < utf8.size() && (static_cast<unsigned char>(utf8[i + n]) & 0xC0) == 0x80) --n;
    std::string chunk(Base64Length(n), '\0');
    Encode64Bytes(reinterpret_cast<const unsigned char*>(utf8.data() + i), n, chunk.data());
    if (!out.empty()) out += "\r\n ";
    out += "=?utf-8?B?" + chunk + "?=";
    i += n;
  }
  return out;
}

std::string DoubleLeadingDots(const std::string& data) {
  std::string out;
  out.reserve(data.size() + 16);
  bool lineStart = true;
  for (char c : data) {
    if (lineStart && c == '.') out.push_back('.');
    out.push_back(c);
    lineStart = c == '\n';
  }
  return out;
}

TKwISMTP::TKwISMTP(TComponent* AOwner)
    : TKwInetBase(AOwner),
      FFrom(std::make_unique<TKwIEMailAddress>(nullptr)),
      FRecipients(std::make_unique<TKwIEMailAddresses>(this)),
      FCC(std::make_unique<TKwIEMailAddresses>(this)),
      FBCC(std::make_unique<TKwIEMailAddresses>(this)),
      FReplyTo(std::make_unique<TKwIEMailAddresses>(this)),
      FBody(std::make_unique<TStringList>()),
      FDate(Now()),
      FLogin(std::make_unique<TKwILogin>()),
      FAttachments(std::make_unique<TKwIEMailAttachments>(this)) {
  SetPort(25);
}

TKwISMTP::~TKwISMTP() = default;

String TKwISMTP::LeadZero(int Value, int MinLength) {
  String s = IntToStr(Value);
  while (static_cast<int>(s.size()) < MinLength) s.insert(s.begin(), u'0');
  return s;
}

String TKwISMTP::GetTimeZoneString(const TTimeZoneInfo& Zone) {
  const int b = Zone.Bias;
  if (b == 0) return u"GMT";
  if (b < 0) return u"+" + LeadZero(-b / 60, 2) + LeadZero(-b % 60, 2);
  return u"-" + LeadZero(b / 60, 2) + LeadZero(b % 60, 2);
}

String TKwISMTP::GetTimeZoneString() {
  return GetTimeZoneString(LocalTimeZone(std::time(nullptr)));
}

String TKwISMTP::EMailFormatDate(TDateTime Value, const TTimeZoneInfo& Zone) {
  int y, m, d, h, mi, s, ms;
  DecodeDate(Value, y, m, d);
  DecodeTime(Value, h, mi, s, ms);
  return String(kDayNames[DayOfWeek(Value) - 1]) + u", " + IntToStr(d) + u" " + kMonthNames[m - 1] + u" " +
         IntToStr(y) + u" " + LeadZero(h, 2) + u":" + LeadZero(mi, 2) + u":" + LeadZero(s, 2) + u" " +
         GetTimeZoneString(Zone);
}

String TKwISMTP::EMailFormatDate(TDateTime Value) {
  // The offset in force at that moment, so that the header names the right
  // instant also across a change of daylight saving time.
  return EMailFormatDate(Value, LocalTimeZone(DateTimeToUnix(LocalToUTC(Value))));
}

String TKwISMTP::UniqueMessageID(const String& HostName) {
  TDateTime now = Now();
  int y, m, d, h, mi, s, ms;
  DecodeDate(now, y, m, d);
  DecodeTime(now, h, mi, s, ms);
  String id = u"<" + LeadZero(y, 4) + LeadZero(m, 2) + LeadZero(d, 2) + LeadZero(h, 2) + LeadZero(mi, 2);
  std::uniform_int_distribution<int> letter(0, 19);
  for (int i = 0; i < 8; ++i) id.push_back(static_cast<Char>(u'a' + letter(Random())));
  return id + u"@" + HostName + u">";
}

String TKwISMTP::CheckMailAddress(const String& Address) {
  if (Address.empty()) return u"is empty";
  for (Char c : Address) {
    // Anything that would close the angle brackets of MAIL FROM or RCPT TO,
    // or add ESMTP parameters or a command after them.
    if (c < 0x20 || c == 0x7F) return u"holds a control character";
    if (c == u' ') return u"holds a space";
    if (c == u'<' || c == u'>') return u"holds an angle bracket";
  }
  return String();
}

void TKwISMTP::CheckAddresses() const {
  auto check = [](const TKwIEMailAddress& a, const char16_t* what) {
    const String problem = CheckMailAddress(a.Address());
    if (problem.empty()) return;
    // The address is shown only when it prints on one line as it is.
    const bool printable =
        std::none_of(a.Address().begin(), a.Address().end(), [](Char c) { return c < 0x20 || c == 0x7F; });
    const String shown = printable && !a.Address().empty() ? u" \"" + a.Address() + u"\"" : String();
    throw Exception(u"The message was not sent: %s%s %s", {String(what), shown, problem});
  };
  check(*FFrom, u"the sender's address");
  for (TKwIEMailAddresses* list : {FRecipients.get(), FCC.get(), FBCC.get()})
    for (int i = 0; i < list->Count(); ++i) check(*list->Items(i), u"the recipient's address");
  for (int i = 0; i < FReplyTo->Count(); ++i) check(*FReplyTo->Items(i), u"the reply-to address");
}

String TKwISMTP::PlainAuthRefused() {
  return u"The message was not sent: logging in without TLS would send the password readable to anyone on the way; "
         u"use TLS (UseTLS), or allow it with AllowPlainAuth";
}

void TKwISMTP::CheckHeaderFields() const {
  CheckAddresses();
  auto check = [](const String& value, const char16_t* what) {
    if (HasLineBreak(value)) throw Exception(u"The message was not sent: %s contains a line break", {String(what)});
  };
  check(FSubject, u"the subject");
  check(FFrom->Address(), u"the sender's address");
  check(FFrom->Name(), u"the sender's name");
  for (TKwIEMailAddresses* list : {FRecipients.get(), FCC.get(), FBCC.get(), FReplyTo.get()}) {
    for (int i = 0; i < list->Count(); ++i) {
      check(list->Items(i)->Address(), u"a recipient's address");
      check(list->Items(i)->Name(), u"a recipient's name");
    }
  }
  for (int i = 0; i < FAttachments->Count(); ++i) {
    const TKwIEMailAttachment* a = FAttachments->Items(i);
    check(a->FileName(), u"an attachment's file name");
    check(a->AttachmentName(), u"an attachment's name");
    check(a->ContentType(), u"an attachment's content type");
    check(a->Encoding(), u"an attachment's encoding");
  }
  check(FCharSet, u"the character set");
  check(FEncoding, u"the encoding");
}

void TKwISMTP::BeforeExecute() {
  TKwInetBase::BeforeExecute();
  CheckHeaderFields();
  if (FLogin->UseLogin() && FUseTLS == utNone && !FAllowPlainAuth) throw Exception(PlainAuthRefused());
}

struct TKwISMTP::TMessageFiles {
  TMessageFile Body;  // no Stream: the text is Body
  std::vector<TMessageFile> Attachments;
};

TKwISMTP::TMessageFiles TKwISMTP::OpenMessageFiles() const {
  TMessageFiles files;
  if (!FBodyFile.empty()) files.Body = OpenMessageFile(FBodyFile, u"body file");
  for (int i = 0; i < FAttachments->Count(); ++i)
    files.Attachments.push_back(OpenMessageFile(FAttachments->Items(i)->FileName(), u"attachment"));
  return files;
}

void TKwISMTP::WriteMessage(TMessageFiles& Files, const std::function<void(std::string_view)>& Sink, bool ForData) {
  const bool multipart = FAttachments->Count() > 0;
  TMessageWriter w(Sink, ForData, FileChunkSize);
  w.Line("Message-Id: " + StringToUtf8(UniqueMessageID(GetLocalHost())));
  for (int i = 0; i < FReplyTo->Count(); ++i) w.Line("Reply-To: <" + StringToUtf8(FReplyTo->Items(i)->Address()) + ">");
  w.Line("Date: " + StringToUtf8(EMailFormatDate(FDate)));
  w.Line("From: " + HeaderAddress(*FFrom));
  if (FRecipients->Count() > 0) w.Line("To: " + HeaderAddressList(*FRecipients));
  if (FCC->Count() > 0) w.Line("Cc: " + HeaderAddressList(*FCC));
  w.Line("X-Priority: " + std::to_string(static_cast<int>(FPriority) + 1));
  w.Line(kMailer);
  if (!FSubject.empty()) w.Line("Subject: " + EncodeHeaderText(FSubject));
  w.Line("MIME-Version: 1.0");
  if (multipart) {
    w.Line(std::string("Content-Type: multipart/mixed; boundary=\"") + kBoundary + "\"");
    w.Line("");
    w.Line(kDelimiter);
  }
  w.Line("Content-Type: Text/Plain; charset=" + StringToUtf8(FCharSet));
  w.Line("Content-Transfer-Encoding: " + StringToUtf8(FEncoding));
  w.Line("");
  const TPartKind bodyKind = PartKind(FEncoding);
  if (Files.Body.Stream) {
    // The file's bytes are the text in CharSet; its lines end as Body's do.
    TPartEncoder encoder(bodyKind, true, true);
    WriteFile(Files.Body, encoder, w);
  } else {
    const std::string body = TextInCharSet(FBody->Text(), FCharSet);
    TPartEncoder encoder(bodyKind, false, false);
    std::string encoded;
    for (std::size_t at = 0; at < body.size(); at += FileChunkSize) {
      encoded.clear();
      encoder.Feed(std::string_view(body).substr(at, FileChunkSize), encoded);
      w.Put(encoded);
    }
    encoded.clear();
    encoder.Finish(encoded);
    w.Put(encoded);
  }

  if (multipart) {
    w.Line(kDelimiter);
    for (int i = 0; i < FAttachments->Count(); ++i) {
      const TKwIEMailAttachment* a = FAttachments->Items(i);
      const String encoding = a->Encoding().empty() ? String(u"base64") : a->Encoding();
      const String type = a->ContentType().empty() ? ContentTypeByFile(a->FileName()) : a->ContentType();
      w.Line("Content-Type: " + StringToUtf8(type) + "; name=" + ParameterValue(a->GetAttachmentName()));
      w.Line("Content-Transfer-Encoding: " + StringToUtf8(encoding));
      // The file's name only: the folder it lives in is the sender's business.
      w.Line("Content-Disposition: attachment; filename=" + ParameterValue(FileBaseName(a->FileName())));
      w.Line("");
      // Base64 takes the bytes as they are; text has its line ends made CR LF.
      const TPartKind kind = PartKind(encoding);
      TPartEncoder encoder(kind, kind != pkBase64, false);
      WriteFile(Files.Attachments[static_cast<std::size_t>(i)], encoder, w);
      if (w.Last() != '\n') w.Put("\r\n");
      w.Line("");
      w.Line(i + 1 < FAttachments->Count() ? kDelimiter : kClosingDelimiter);
    }
  }
  if (ForData) {
    if (!w.EndsWithLineEnd()) w.Put("\r\n");
    w.PutVerbatim("\r\n.\r\n");
  }
  w.Flush();
}

std::string TKwISMTP::ComposeMessage() {
  CheckHeaderFields();
  TMessageFiles files = OpenMessageFiles();
  std::string m;
  WriteMessage(
      files, [&m](std::string_view piece) { m.append(piece); }, false);
  return m;
}

bool TKwISMTP::SendBytes(std::string_view bytes) {
  return ClientSocket()->Socket()->SendBuf(bytes.data(), static_cast<int>(bytes.size())) > 0;
}

int TKwISMTP::ReadReply() {
  TSmtpReply reply;
  for (;;) {
    const TSmtpReadResult result = FReplies.Next(reply);
    if (result == srReply) break;
    if (result == srFailed) throw Exception(FReplies.Error());
    char buf[4096];
    int n = ReceiveFromSocket(buf, sizeof buf);
    if (n <= 0) throw Exception(u"The mail server closed the connection");
    FReplies.Feed(std::string_view(buf, static_cast<std::size_t>(n)));
  }
  FLastReply.clear();
  for (const std::string& line : reply.Lines) {
    if (!FLastReply.empty()) FLastReply += u" ";
    FLastReply += BytesToString(line);
  }
  return reply.Code;
}

void TKwISMTP::Command(const String& Line, std::initializer_list<int> Accepted, const String& Shown) {
  const String shown = Shown.empty() ? Line : Shown;
  if (!SendBytes(StringToBytes(Line) + "\r\n")) throw Exception(u"Error sending %s", {shown});
  const int code = ReadReply();
  for (int a : Accepted)
    if (code == a) return;
  throw Exception(u"%s: %s", {shown, FLastReply});
}

bool TKwISMTP::SendData(const String& Line, const String& Expected) {
  if (!SendBytes(StringToBytes(Line) + "\r\n")) return false;
  if (Expected.empty()) return true;
  const int code = ReadReply();
  if (code != StrToIntDef(Expected, -1)) throw Exception(u"%s: %s", {Line, FLastReply});
  return true;
}

void TKwISMTP::StartTLS() {
  if (FReplies.Discard() > 0) {
    ClientSocket()->Close();
    throw Exception(
        u"The mail server sent data after its STARTTLS answer before the TLS handshake; closing the connection");
  }
  const String host = !Host().empty() ? Host() : Address();
  ClientSocket()->Socket()->SetTransport(
      TTlsTransport::Handshake(ClientSocket()->Socket()->Handle(), host, FCACertFile, Timeout()));
  FSecured = true;
}

void TKwISMTP::Connect() {
  const bool reuse = Connected() && ClientSocket()->Socket()->PeerAlive();
  TKwInetBase::Connect();
  const String hello = GetLocalHost();
  if (!reuse) {
    FReplies.Reset();
    FSecured = false;
    try {
      if (FUseTLS == utImplicit) StartTLS();
      if (ReadReply() != 220) throw Exception(u"The mail server refused the connection: %s", {FLastReply});
      const auto greet = [&] {
        if (!SendBytes("EHLO " + StringToBytes(hello) + "\r\n")) throw Exception(u"Error 250");
        if (ReadReply() == 250) return;
        Command(u"HELO " + hello, {250});
      };
      greet();
      if (FUseTLS == utStartTLS) {
        Command(u"STARTTLS", {220});
        StartTLS();
        greet();  // the session starts over inside TLS
      }
    } catch (...) {
      // A half-greeted session is of no use to the next Execute.
      ClientSocket()->Close();
      throw;
    }
    return;
  }
  if (!SendBytes("EHLO " + StringToBytes(hello) + "\r\n")) throw Exception(u"Error 250");
  if (ReadReply() != 250) Command(u"HELO " + hello, {250});
}

void TKwISMTP::Disconnect() {
  if (!Connected()) return;
  try {
    if (!SendBytes("QUIT\r\n")) throw Exception(u"Error sending QUIT");
    if (ReadReply() != 221) throw Exception(u"QUIT: %s", {FLastReply});
  } catch (const Exception& e) {
    TKwInetBase::Disconnect();
    // Once the server has taken the message, a QUIT that goes wrong changes
    // nothing for the mail: reporting a failure would make the user send it
    // again and deliver it twice.
    if (!FDelivered) throw;
    FDelivered = false;
    FWarning = u"The message was accepted, but the server did not end the session properly (" + e.Message() + u")";
    return;
  }
  FDelivered = false;
  TKwInetBase::Disconnect();
}

void TKwISMTP::Send() {
  FDelivered = false;
  FWarning.clear();
  CheckHeaderFields();
  // Every file of the message is opened before the envelope: one that
  // cannot be read stops everything before RSET. The content itself is read
  // while it is sent, a piece at a time.
  TMessageFiles files = OpenMessageFiles();

  Command(u"RSET", {250});
  if (FLogin->UseLogin()) {
    // A kept connection may have been opened before UseTLS was set: what
    // counts is whether this one runs in TLS.
    if (!FSecured && !FAllowPlainAuth) throw Exception(PlainAuthRefused());
    // Credentials travel as UTF-8; error texts never show them.
    Command(u"auth LOGIN", {334});
    Command(Encode64(BytesToString(StringToUtf8(FLogin->UserID()))), {334}, u"AUTH LOGIN (user name)");
    Command(Encode64(BytesToString(StringToUtf8(FLogin->Password()))), {235}, u"AUTH LOGIN (password)");
  }
  Command(u"MAIL FROM:<" + FFrom->Address() + u">", {250});
  for (TKwIEMailAddresses* list : {FRecipients.get(), FCC.get(), FBCC.get()})
    for (int i = 0; i < list->Count(); ++i) Command(u"RCPT TO:<" + list->Items(i)->Address() + u">", {250, 251});
  Command(u"DATA", {354});
  // Each piece is a send of its own, with Timeout to go out: a large
  // message over a slow link that keeps moving is not cut off, a server
  // that takes nothing for Timeout is.
  WriteMessage(
      files,
      [this](std::string_view piece) {
        if (SendBytes(piece)) return;
        if (ClientSocket()->Socket()->PeerAlive() && Timeout() > 0)
          throw Exception(u"Error sending the message: the server took nothing for %d ms", {Timeout()});
        throw Exception(u"Error sending the message: the server closed the connection");
      },
      true);
  const int code = ReadReply();
  if (code != 250) throw Exception(u"DATA (the message): %s", {FLastReply});
  FDelivered = true;
}

void TKwISMTP::InternalExecute(String& Text) {
  Text.clear();
  try {
    Send();
  } catch (const Exception&) {
    // The session is somewhere inside a transaction: the next Execute starts
    // on a fresh connection rather than talking into it.
    ClientSocket()->Close();
    throw;
  }
}

}  // namespace kwinet
