#include "kwinet/socket/KwISMTP.h"

#include <algorithm>
#include <ctime>
#include <random>
#include <string_view>

#include "kwinet/socket/TlsTransport.h"
#include "kwinet/utils/kwiutil.h"

namespace kwinet {

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

// --- TKwISMTP -----------------------------------------------------------------

namespace {

const char16_t* const kDayNames[] = {u"Sun", u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat"};
const char16_t* const kMonthNames[] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                       u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};

// The generator of message identifiers, seeded once per process.
std::mt19937& Random() {
  static std::mt19937 rng(std::random_device{}());
  return rng;
}

bool HasLineBreak(const String& s) {
  return s.find_first_of(u"\r\n") != String::npos;
}

}  // namespace

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

TKwISMTP::~TKwISMTP() {
  EndJob();  // the job uses what goes below
}

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

TMimeMessage TKwISMTP::Message() const {
  TMimeMessage m;
  m.MessageID = UniqueMessageID(GetLocalHost());
  m.Date = EMailFormatDate(FDate);
  m.From = FFrom.get();
  m.Recipients = FRecipients.get();
  m.CC = FCC.get();
  m.ReplyTo = FReplyTo.get();
  m.Priority = static_cast<int>(FPriority) + 1;
  m.Subject = FSubject;
  m.Body = FBody.get();
  m.BodyFile = FBodyFile;
  m.CharSet = FCharSet;
  m.Encoding = FEncoding;
  m.Attachments = FAttachments.get();
  return m;
}

std::string TKwISMTP::ComposeMessage() {
  CheckHeaderFields();
  const TMimeMessage message = Message();
  TMimeMessageBuilder builder(message);
  std::string m;
  builder.Write([&m](std::string_view piece) { m.append(piece); }, FileChunkSize);
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
  const TMimeMessage message = Message();
  TMimeMessageBuilder builder(message);

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
  TDotStuffer stuffer;
  std::string stuffed;
  const auto sendPiece = [&](std::string_view piece, bool last) {
    stuffed.clear();
    stuffer.Feed(piece, stuffed);
    if (last) stuffer.Finish(stuffed);
    if (SendBytes(stuffed)) return;
    if (ClientSocket()->Socket()->PeerAlive() && Timeout() > 0)
      throw Exception(u"Error sending the message: the server took nothing for %d ms", {Timeout()});
    throw Exception(u"Error sending the message: the server closed the connection");
  };
  builder.Write([&](std::string_view piece) { sendPiece(piece, false); }, FileChunkSize);
  sendPiece({}, true);
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
