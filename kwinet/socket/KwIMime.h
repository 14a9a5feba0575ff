/// @file
/// MIME composition of a mail message: the header quoter, the transfer
/// encoders, the dot-stuffer of SMTP transparency, the attachment
/// descriptions and the message builder.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "kwinet/core/Classes.h"
#include "kwinet/core/StringList.h"
#include "kwinet/socket/KwIMailAddress.h"

namespace kwinet {

/// A file sent with a message.
class TKwIEMailAttachment : public TCollectionItem {
 public:
  /// An empty attachment, added to Collection when given.
  explicit TKwIEMailAttachment(TCollection* Collection);

  ///@{
  /// The name the file goes by in the message (empty: the file's own name).
  const String& AttachmentName() const { return FAttachmentName; }
  void SetAttachmentName(const String& value) { FAttachmentName = value; }
  ///@}
  ///@{
  /// The part's content type.
  const String& ContentType() const { return FContentType; }
  void SetContentType(const String& value) { FContentType = value; }
  ///@}
  ///@{
  /// The part's transfer encoding (empty: base64).
  const String& Encoding() const { return FEncoding; }
  void SetEncoding(const String& value) { FEncoding = value; }
  ///@}
  ///@{
  /// The file read when the message is sent.
  const String& FileName() const { return FFileName; }
  void SetFileName(const String& value) { FFileName = value; }
  ///@}

  /// AttachmentName, or the file name without its folder.
  String GetAttachmentName() const;
  /// ContentType := the content type known for FileName's extension.
  void DetectContentType();
  void Assign(TPersistent* Source) override;

 private:
  String FAttachmentName;
  String FContentType;
  String FEncoding;
  String FFileName;
};

/// The attachments of a mail component.
class TKwIEMailAttachments : public TTypedCollection<TKwIEMailAttachment> {
 public:
  /// An empty list that belongs to AOwner.
  explicit TKwIEMailAttachments(TComponent* AOwner) : FKwIControl(AOwner) {}
  TPersistent* Owner() const override { return FKwIControl; }
  /// The component the list belongs to.
  TComponent* KwIControl() const { return FKwIControl; }
  ///@{
  /// The attachment at Index; SetItem copies Value into it. EListError out of
  /// range.
  TKwIEMailAttachment* GetItem(int Index) const { return Items(Index); }
  void SetItem(int Index, TKwIEMailAttachment* Value) { Items(Index)->Assign(Value); }
  ///@}

 private:
  TComponent* FKwIControl;
};

/// Quoted-printable (RFC 2045) of bytes whose line ends are CR LF.
std::string EncodeQuotedPrintable(const std::string& bytes);
/// Base64 in lines of 76 characters, each ended by CR LF.
std::string EncodeBase64Lines(const std::string& bytes);
/// A header text as it may stand in a header: ASCII as it is, anything else
/// as RFC 2047 encoded words (UTF-8, Base64).
std::string EncodeHeaderText(const String& text);

/// SMTP transparency: doubles a "." that begins a line of a message that is
/// fed in pieces of any size, and ends it with the end-of-data line.
class TDotStuffer {
 public:
  /// Appends in to out with every "." that begins a line doubled.
  void Feed(std::string_view in, std::string& out);
  /// A line end when the message has none at its end, then an empty line
  /// and the end-of-data line.
  void Finish(std::string& out);

 private:
  bool FLineStart = true;
  char FTail[2] = {'\0', '\0'};  // the last two bytes fed
};

/// Doubles a "." that begins a line (SMTP transparency).
std::string DoubleLeadingDots(const std::string& data);

/// A message as the builder writes it. The addresses, the body and the
/// attachments stay their owner's and must outlive the builder.
struct TMimeMessage {
  String MessageID;  ///< with its angle brackets
  String Date;       ///< as the Date header shows it
  /// The sender.
  const TKwIEMailAddress* From = nullptr;
  /// The To addresses.
  const TKwIEMailAddresses* Recipients = nullptr;
  /// The Cc addresses.
  const TKwIEMailAddresses* CC = nullptr;
  /// The Reply-To addresses.
  const TKwIEMailAddresses* ReplyTo = nullptr;
  int Priority = 3;  ///< X-Priority: 1 highest to 5 lowest
  /// The subject.
  String Subject;
  /// The text, one line a string.
  const TStrings* Body = nullptr;
  /// A file whose bytes are the text in CharSet, in place of Body when set.
  String BodyFile;
  /// The text's character set.
  String CharSet;
  /// The text part's transfer encoding.
  String Encoding;
  /// The attachments (none: a single-part message).
  const TKwIEMailAttachments* Attachments = nullptr;
};

/// Writes a message: header lines, text part and attachment parts, CR LF line
/// ends, no dot doubling. Files are read, and the message goes to the sink,
/// in pieces of PieceSize bytes, so the memory a message takes does not grow
/// with its files.
class TMimeMessageBuilder {
 public:
  /// Opens the body file and the attachments' files: one that cannot be read
  /// (or is no regular file) fails here, before anything is written.
  explicit TMimeMessageBuilder(const TMimeMessage& Message);
  ~TMimeMessageBuilder();
  TMimeMessageBuilder(const TMimeMessageBuilder&) = delete;
  TMimeMessageBuilder& operator=(const TMimeMessageBuilder&) = delete;

  /// Writes the whole message to Sink in pieces of at most PieceSize bytes.
  void Write(const std::function<void(std::string_view)>& Sink, std::size_t PieceSize);

 private:
  struct TFiles;
  const TMimeMessage& FMessage;
  std::unique_ptr<TFiles> FFiles;
};

}  // namespace kwinet
