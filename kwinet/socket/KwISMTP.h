/// @file
/// The SMTP unit: the mail component TKwISMTP, which speaks the protocol, and
/// the login settings it publishes. The addresses (KwIMailAddress.h) and the
/// message's MIME composition with its attachments (KwIMime.h) come with it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "kwinet/core/Classes.h"
#include "kwinet/core/DateTime.h"
#include "kwinet/core/StringList.h"
#include "kwinet/socket/KwIMailAddress.h"
#include "kwinet/socket/KwIMime.h"
#include "kwinet/socket/KwInBase.h"
#include "kwinet/socket/SmtpReply.h"

namespace kwinet {

/// The SMTP login: user name, password, and whether to log in at all.
class TKwILogin : public TPersistent {
 public:
  ///@{
  /// The user name.
  const String& UserID() const { return FUserID; }
  void SetUserID(const String& value) { FUserID = value; }
  ///@}
  ///@{
  /// The password; never shown or logged.
  const String& Password() const { return FPassword; }
  void SetPassword(const String& value) { FPassword = value; }
  ///@}
  ///@{
  /// Whether Send authenticates with AUTH LOGIN (false at first).
  bool UseLogin() const { return FUseLogin; }
  void SetUseLogin(bool value) { FUseLogin = value; }
  ///@}
  void Assign(TPersistent* Source) override;

 private:
  String FUserID;
  String FPassword;
  bool FUseLogin = false;
};

/// The message's priority, highest to lowest (X-Priority 1 to 5); normal at
/// first.
enum TKwISMTPPriority : std::uint8_t { spHighest, spHigh, spNormal, spLow, spLowest };
/// @var spHighest
/// X-Priority 1.
/// @var spHigh
/// X-Priority 2.
/// @var spNormal
/// X-Priority 3.
/// @var spLow
/// X-Priority 4.
/// @var spLowest
/// X-Priority 5.

/// How the connection is protected: not at all, by STARTTLS after the
/// greeting, or by TLS from the first byte (the submissions port).
enum TKwISMTPUseTLS : std::uint8_t { utNone, utStartTLS, utImplicit };
/// @var utNone
/// No TLS.
/// @var utStartTLS
/// STARTTLS after the greeting.
/// @var utImplicit
/// TLS from the first byte.

/// Sends one MIME message per Execute: greeting, optional LOGIN
/// authentication, envelope, message. Every reply of the server is read and
/// compared with the code its command expects; a refusal ends Execute with a
/// text naming the command and the server's answer.
class TKwISMTP : public TKwInetBase {
 public:
  /// Creates the component on port 25, dated now, with empty lists.
  explicit TKwISMTP(TComponent* AOwner);
  ~TKwISMTP() override;

  ///@{
  /// Published.
  const String& Subject() const { return FSubject; }
  void SetSubject(const String& value) { FSubject = value; }
  ///@}
  ///@{
  /// The message text, one line a string; SetBody copies the lines.
  TStringList* Body() const { return FBody.get(); }
  void SetBody(TStrings* value) { FBody->Assign(value); }
  ///@}
  ///@{
  /// A file whose text is the body, in place of Body when set: its bytes are
  /// the text in CharSet, its lines may end with CR LF, LF or CR. It is read
  /// while the message is sent, like the attachments.
  const String& BodyFile() const { return FBodyFile; }
  void SetBodyFile(const String& value) { FBodyFile = value; }
  ///@}
  ///@{
  /// The sender; SetFrom copies the address.
  TKwIEMailAddress* From() const { return FFrom.get(); }
  void SetFrom(TKwIEMailAddress* value) { FFrom->Assign(value); }
  ///@}
  ///@{
  /// The To, Cc, Bcc and Reply-To addresses; the setters copy the lists. Bcc
  /// addresses get the message but show in no header.
  TKwIEMailAddresses* Recipients() const { return FRecipients.get(); }
  TKwIEMailAddresses* CC() const { return FCC.get(); }
  TKwIEMailAddresses* BCC() const { return FBCC.get(); }
  TKwIEMailAddresses* ReplyTo() const { return FReplyTo.get(); }
  void SetRecipients(TKwIEMailAddresses* value) { FRecipients->Assign(value); }
  void SetCC(TKwIEMailAddresses* value) { FCC->Assign(value); }
  void SetBCC(TKwIEMailAddresses* value) { FBCC->Assign(value); }
  void SetReplyTo(TKwIEMailAddresses* value) { FReplyTo->Assign(value); }
  ///@}
  ///@{
  /// The character set the text is sent in ("us-ascii" at first).
  const String& CharSet() const { return FCharSet; }
  void SetCharSet(const String& value) { FCharSet = value; }
  ///@}
  ///@{
  /// The text part's transfer encoding ("7bit" at first).
  const String& Encoding() const { return FEncoding; }
  void SetEncoding(const String& value) { FEncoding = value; }
  ///@}
  ///@{
  /// The message's priority (spNormal at first).
  TKwISMTPPriority Priority() const { return FPriority; }
  void SetPriority(TKwISMTPPriority value) { FPriority = value; }
  ///@}
  ///@{
  /// The message's date (the moment of construction until set).
  TDateTime Date() const { return FDate; }
  void SetDate(TDateTime value) {
    FDate = value;
    FDateAssigned = true;
  }
  ///@}
  /// False while Date is still the moment of construction.
  bool DateAssigned() const { return FDateAssigned; }
  ///@{
  /// The login settings; SetLogin copies them.
  TKwILogin* Login() const { return FLogin.get(); }
  void SetLogin(TKwILogin* value) { FLogin->Assign(value); }
  ///@}
  ///@{
  /// The files sent with the message; SetAttachments copies the list.
  TKwIEMailAttachments* Attachments() const { return FAttachments.get(); }
  void SetAttachments(TKwIEMailAttachments* value) { FAttachments->Assign(value); }
  ///@}
  ///@{
  /// How the connection is protected (utNone at first).
  TKwISMTPUseTLS UseTLS() const { return FUseTLS; }
  void SetUseTLS(TKwISMTPUseTLS value) { FUseTLS = value; }
  ///@}
  ///@{
  /// A file of trusted CA certificates for the server's certificate; empty
  /// means the system's store.
  const String& CACertFile() const { return FCACertFile; }
  void SetCACertFile(const String& value) { FCACertFile = value; }
  ///@}
  ///@{
  /// Whether Login may send the user name and password on a connection
  /// without TLS, where anyone on the way can read them. False: such a
  /// login is refused before anything is sent.
  bool AllowPlainAuth() const { return FAllowPlainAuth; }
  void SetAllowPlainAuth(bool value) { FAllowPlainAuth = value; }
  ///@}

  /// Opens the connection (unless one is open), reads the greeting and
  /// greets with EHLO, or HELO when EHLO is refused; STARTTLS when asked.
  void Connect() override;
  /// QUIT when connected; the socket is closed in every case. A QUIT that
  /// fails after the server has accepted the message raises nothing: it sets
  /// Warning instead.
  void Disconnect() override;
  /// The mail transaction: RSET, AUTH LOGIN, MAIL FROM, RCPT TO, DATA.
  void Send();
  /// Sends Line and CR LF. With an Expected code, reads the reply and raises
  /// an Exception naming the command and the reply when another code comes.
  /// Returns false when the line could not be sent.
  bool SendData(const String& Line, const String& Expected);
  /// The last reply read from the server (all its lines).
  const String& LastReply() const { return FLastReply; }
  /// Set when the last message was accepted but the session did not end
  /// cleanly; empty otherwise. Cleared by the next Send.
  const String& Warning() const { return FWarning; }

  /// The whole message as it goes after DATA, before the end-of-data line:
  /// header lines, text part and attachment parts, CR LF line ends, no dot
  /// doubling. Reads the body file and the attachments' files. Send writes
  /// the same bytes (dots doubled) straight to the connection instead.
  std::string ComposeMessage();
  /// Files are read, and the message is sent, in pieces of this many bytes:
  /// the memory a message takes does not grow with its files.
  static constexpr int FileChunkSize = 64 * 1024;

  /// Why an address cannot go between the angle brackets of MAIL FROM or
  /// RCPT TO ("is empty", "holds a space"...), or empty when it can.
  static String CheckMailAddress(const String& Address);

  /// "<" yyyymmddhhnn, eight letters a-t, "@" HostName ">".
  static String UniqueMessageID(const String& HostName);
  ///@{
  /// "Fri, 6 Mar 2026 09:05:07 +0100".
  static String EMailFormatDate(TDateTime Value);
  static String EMailFormatDate(TDateTime Value, const TTimeZoneInfo& Zone);
  ///@}
  ///@{
  /// The local zone's offset from UTC: "GMT", "+0100", "-0530".
  static String GetTimeZoneString();
  static String GetTimeZoneString(const TTimeZoneInfo& Zone);
  ///@}
  /// The decimal text of Value with zeros in front up to MinLength characters.
  static String LeadZero(int Value, int MinLength);

 protected:
  void InternalExecute(String& Text) override;
  /// Refuses a message whose header fields hold line breaks, or whose
  /// addresses are empty or would break out of their angle brackets, and a
  /// login without TLS that AllowPlainAuth does not allow, before anything is
  /// sent.
  void BeforeExecute() override;
  bool SendsRawHeaders() const override { return false; }

 private:
  // Sends a command and checks the reply's code against the accepted ones.
  // Shown replaces the line in error messages (credentials are never shown).
  void Command(const String& Line, std::initializer_list<int> Accepted, const String& Shown = String());
  // Reads until the reader yields the next reply; sets LastReply.
  int ReadReply();
  bool SendBytes(std::string_view bytes);
  // The message as the builder takes it, with a new Message-Id.
  TMimeMessage Message() const;
  // Puts TLS under the connection. Whatever the server sent before and we
  // have not yet used came in plain text: it is a protocol error (it would
  // otherwise be read as if it had come inside TLS), and the connection is
  // closed. Every switch to TLS goes through here.
  void StartTLS();
  // Refuses an address that CheckMailAddress refuses, before anything is sent.
  void CheckAddresses() const;
  void CheckHeaderFields() const;
  // The refusal of a login without TLS.
  static String PlainAuthRefused();

  std::unique_ptr<TKwIEMailAddress> FFrom;
  std::unique_ptr<TKwIEMailAddresses> FRecipients, FCC, FBCC, FReplyTo;
  String FSubject;
  std::unique_ptr<TStringList> FBody;
  String FBodyFile;
  String FCharSet = u"us-ascii";
  String FEncoding = u"7bit";
  TKwISMTPPriority FPriority = spNormal;
  TDateTime FDate;
  bool FDateAssigned = false;
  std::unique_ptr<TKwILogin> FLogin;
  std::unique_ptr<TKwIEMailAttachments> FAttachments;
  TKwISMTPUseTLS FUseTLS = utNone;
  String FCACertFile;
  bool FAllowPlainAuth = false;
  bool FSecured = false;  // the connection of this session runs in TLS
  TSmtpReplyReader FReplies;
  String FLastReply;
  String FWarning;
  bool FDelivered = false;  // the server has accepted the message of this session
};

}  // namespace kwinet
