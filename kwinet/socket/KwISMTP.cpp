#include "kwinet/socket/KwISMTP.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <random>

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

// Lines of text split at CR LF, LF or CR, put together again with CR LF.
std::string NormalizeLineEnds(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 32);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char c = bytes[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// Text in a character set: UTF-8 for "utf-8", otherwise one byte per
// character (characters above 255 cannot be written and become "?").
std::string TextInCharSet(const String& text, const String& charSet) {
  if (SameText(charSet, u"utf-8") || SameText(charSet, u"utf8")) return StringToUtf8(text);
  std::string out(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) out[i] = text[i] < 256 ? static_cast<char>(text[i]) : '?';
  return out;
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
    if (name.find_first_of("()<>[]:;@\\,.\"") != std::string::npos) {
      std::string quoted = "\"";
      for (char c : name) {
        if (c == '"' || c == '\\') quoted.push_back('\\');
        quoted.push_back(c);
      }
      name = quoted + "\"";
    }
  }
  return name + " <" + address + ">";
}

std::string HeaderAddressList(const TKwIEMailAddresses& list) {
  std::string out;
  for (int i = 0; i < list.Count(); ++i) {
    if (i > 0) out += ", ";
    out += HeaderAddress(*list.Items(i));
  }
  return out;
}

std::string ReadWholeFile(const String& fileName) {
  // A device, pipe or folder has no end to wait for (/dev/zero would fill
  // the memory): only regular files are attached.
  std::error_code ec;
  const std::filesystem::path path(StringToUtf8(fileName));
  if (std::filesystem::exists(path, ec) && !std::filesystem::is_regular_file(path, ec))
    throw Exception(u"The message was not sent: the attachment %s is not a regular file", {fileName});
  TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
  std::string data = f.ReadAll();
  return data;
}

}  // namespace

std::string EncodeBase64Lines(const std::string& bytes) {
  std::string out;
  out.reserve(Base64Length(bytes.size()) + bytes.size() / 57 * 2 + 2);
  char line[80];
  for (std::size_t i = 0; i < bytes.size(); i += 57) {
    const std::size_t n = std::min<std::size_t>(57, bytes.size() - i);
    Encode64Bytes(reinterpret_cast<const unsigned char*>(bytes.data() + i), n, line);
    out.append(line, Base64Length(n));
    out += "\r\n";
  }
  return out;
}

std::string EncodeQuotedPrintable(const std::string& bytes) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  std::size_t lineLength = 0;
  auto put = [&](const char* piece, std::size_t n) {
    // A soft break keeps every line within 76 characters.
    if (lineLength + n > 75) {
      out += "=\r\n";
      lineLength = 0;
    }
    out.append(piece, n);
    lineLength += n;
  };
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
      out += "\r\n";
      lineLength = 0;
      ++i;
      continue;
    }
    const bool lineEnd =
        i + 1 == bytes.size() || (bytes[i + 1] == '\r' && i + 2 < bytes.size() && bytes[i + 2] == '\n');
    const bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !lineEnd);
    if (literal) {
      char ch = static_cast<char>(c);
      put(&ch, 1);
    } else {
      const char enc[3] = {'=', hex[c >> 4], hex[c & 15]};
      put(enc, 3);
    }
  }
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
}

std::string TKwISMTP::ComposeMessage() {
  CheckHeaderFields();
  const bool multipart = FAttachments->Count() > 0;
  std::string m;
  auto line = [&m](const std::string& text) {
    m += text;
    m += "\r\n";
  };
  line("Message-Id: " + StringToUtf8(UniqueMessageID(GetLocalHost())));
  for (int i = 0; i < FReplyTo->Count(); ++i) line("Reply-To: <" + StringToUtf8(FReplyTo->Items(i)->Address()) + ">");
  line("Date: " + StringToUtf8(EMailFormatDate(FDate)));
  line("From: " + HeaderAddress(*FFrom));
  if (FRecipients->Count() > 0) line("To: " + HeaderAddressList(*FRecipients));
  if (FCC->Count() > 0) line("Cc: " + HeaderAddressList(*FCC));
  line("X-Priority: " + std::to_string(static_cast<int>(FPriority) + 1));
  line(kMailer);
  if (!FSubject.empty()) line("Subject: " + EncodeHeaderText(FSubject));
  line("MIME-Version: 1.0");
  if (multipart) {
    line(std::string("Content-Type: multipart/mixed; boundary=\"") + kBoundary + "\"");
    line("");
    line(kDelimiter);
  }
  line("Content-Type: Text/Plain; charset=" + StringToUtf8(FCharSet));
  line("Content-Transfer-Encoding: " + StringToUtf8(FEncoding));
  line("");
  std::string body = TextInCharSet(FBody->Text(), FCharSet);
  if (SameText(FEncoding, u"quoted-printable"))
    m += EncodeQuotedPrintable(body);
  else if (SameText(FEncoding, u"base64"))
    m += EncodeBase64Lines(body);
  else
    m += NormalizeLineEnds(body);
  if (!multipart) return m;

  line(kDelimiter);
  for (int i = 0; i < FAttachments->Count(); ++i) {
    const TKwIEMailAttachment* a = FAttachments->Items(i);
    // The file is read first: one that cannot be read stops the message
    // before the envelope is sent.
    const std::string content = ReadWholeFile(a->FileName());
    const String encoding = a->Encoding().empty() ? String(u"base64") : a->Encoding();
    const String type = a->ContentType().empty() ? ContentTypeByFile(a->FileName()) : a->ContentType();
    line("Content-Type: " + StringToUtf8(type) + "; name=\"" + EncodeHeaderText(a->GetAttachmentName()) + "\"");
    line("Content-Transfer-Encoding: " + StringToUtf8(encoding));
    // The file's name only: the folder it lives in is the sender's business.
    line("Content-Disposition: attachment; filename=\"" + EncodeHeaderText(FileBaseName(a->FileName())) + "\"");
    line("");
    if (SameText(encoding, u"base64"))
      m += EncodeBase64Lines(content);
    else if (SameText(encoding, u"quoted-printable"))
      m += EncodeQuotedPrintable(NormalizeLineEnds(content));
    else
      m += NormalizeLineEnds(content);
    if (!m.empty() && m.back() != '\n') m += "\r\n";
    line("");
    line(i + 1 < FAttachments->Count() ? kDelimiter : kClosingDelimiter);
  }
  return m;
}

bool TKwISMTP::SendBytes(const std::string& bytes) {
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
}

void TKwISMTP::Connect() {
  const bool reuse = Connected() && ClientSocket()->Socket()->PeerAlive();
  TKwInetBase::Connect();
  const String hello = GetLocalHost();
  if (!reuse) {
    FReplies.Reset();
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
  // The message is put together before the envelope, so that an attachment
  // that cannot be read stops everything before MAIL FROM.
  FDelivered = false;
  FWarning.clear();
  std::string message = ComposeMessage();
  message = DoubleLeadingDots(message);
  if (message.size() < 2 || message.compare(message.size() - 2, 2, "\r\n") != 0) message += "\r\n";
  message += "\r\n.\r\n";

  Command(u"RSET", {250});
  if (FLogin->UseLogin()) {
    // Credentials travel as UTF-8; error texts never show them.
    Command(u"auth LOGIN", {334});
    Command(Encode64(BytesToString(StringToUtf8(FLogin->UserID()))), {334}, u"AUTH LOGIN (user name)");
    Command(Encode64(BytesToString(StringToUtf8(FLogin->Password()))), {235}, u"AUTH LOGIN (password)");
  }
  Command(u"MAIL FROM:<" + FFrom->Address() + u">", {250});
  for (TKwIEMailAddresses* list : {FRecipients.get(), FCC.get(), FBCC.get()})
    for (int i = 0; i < list->Count(); ++i) Command(u"RCPT TO:<" + list->Items(i)->Address() + u">", {250, 251});
  Command(u"DATA", {354});
  if (!SendBytes(message)) throw Exception(u"Error sending the message");
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
