#include "kwinet/socket/KwIMime.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include "kwinet/utils/kwiutil.h"

namespace kwinet {

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

namespace {

const char kBoundary[] = "----------MoravelleSMTP";
const char kDelimiter[] = "------------MoravelleSMTP";
const char kClosingDelimiter[] = "------------MoravelleSMTP--";
const char kMailer[] = "X-Mailer: Moravelle mailer (https://kwinet.invalid/)";

bool IsAscii(const String& s) {
  for (Char c : s)
    if (c > 127) return false;
  return true;
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
// Gathers the message into pieces for a sink. Remembers the last byte put.
class TMessageWriter {
 public:
  using TSink = std::function<void(std::string_view)>;
  TMessageWriter(const TSink& Sink, std::size_t PieceSize) : FSink(Sink), FPieceSize(PieceSize) {}

  void Put(std::string_view bytes) {
    if (bytes.empty()) return;
    FLast = bytes.back();
    while (!bytes.empty()) {
      // The buffer is below PieceSize here: it is sent as soon as it reaches it.
      const std::size_t n = std::min(bytes.size(), FPieceSize - FBuffer.size());
      FBuffer.append(bytes.substr(0, n));
      bytes.remove_prefix(n);
      if (FBuffer.size() >= FPieceSize) Flush();
    }
  }
  void Line(std::string_view text) {
    Put(text);
    Put("\r\n");
  }
  char Last() const { return FLast; }
  void Flush() {
    if (FBuffer.empty()) return;
    FSink(FBuffer);
    FBuffer.clear();
  }

 private:
  const TSink& FSink;
  std::size_t FPieceSize;
  std::string FBuffer;
  char FLast = '\0';
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
void WriteFile(TMessageFile& file, TPartEncoder& encoder, TMessageWriter& writer, std::size_t pieceSize) {
  std::vector<char> piece(pieceSize);
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

void TDotStuffer::Feed(std::string_view in, std::string& out) {
  if (in.empty()) return;
  FTail[0] = in.size() >= 2 ? in[in.size() - 2] : FTail[1];
  FTail[1] = in.back();
  for (char c : in) {
    if (FLineStart && c == '.') out.push_back('.');
    out.push_back(c);
    FLineStart = c == '\n';
  }
}

void TDotStuffer::Finish(std::string& out) {
  if (FTail[0] != '\r' || FTail[1] != '\n') Feed("\r\n", out);
  out += "\r\n.\r\n";
}

std::string DoubleLeadingDots(const std::string& data) {
  std::string out;
  out.reserve(data.size() + 16);
  TDotStuffer().Feed(data, out);
  return out;
}

// --- TMimeMessageBuilder ------------------------------------------------------

struct TMimeMessageBuilder::TFiles {
  TMessageFile Body;  // no Stream: the text is Body
  std::vector<TMessageFile> Attachments;
};

TMimeMessageBuilder::TMimeMessageBuilder(const TMimeMessage& Message)
    : FMessage(Message), FFiles(std::make_unique<TFiles>()) {
  if (!Message.BodyFile.empty()) FFiles->Body = OpenMessageFile(Message.BodyFile, u"body file");
  for (int i = 0; i < Message.Attachments->Count(); ++i)
    FFiles->Attachments.push_back(OpenMessageFile(Message.Attachments->Items(i)->FileName(), u"attachment"));
}

TMimeMessageBuilder::~TMimeMessageBuilder() = default;

void TMimeMessageBuilder::Write(const std::function<void(std::string_view)>& Sink, std::size_t PieceSize) {
  const TMimeMessage& m = FMessage;
  TFiles& Files = *FFiles;
  const bool multipart = m.Attachments->Count() > 0;
  TMessageWriter w(Sink, PieceSize);
  w.Line("Message-Id: " + StringToUtf8(m.MessageID));
  for (int i = 0; i < m.ReplyTo->Count(); ++i)
    w.Line("Reply-To: <" + StringToUtf8(m.ReplyTo->Items(i)->Address()) + ">");
  w.Line("Date: " + StringToUtf8(m.Date));
  w.Line("From: " + HeaderAddress(*m.From));
  if (m.Recipients->Count() > 0) w.Line("To: " + HeaderAddressList(*m.Recipients));
  if (m.CC->Count() > 0) w.Line("Cc: " + HeaderAddressList(*m.CC));
  w.Line("X-Priority: " + std::to_string(m.Priority));
  w.Line(kMailer);
  if (!m.Subject.empty()) w.Line("Subject: " + EncodeHeaderText(m.Subject));
  w.Line("MIME-Version: 1.0");
  if (multipart) {
    w.Line(std::string("Content-Type: multipart/mixed; boundary=\"") + kBoundary + "\"");
    w.Line("");
    w.Line(kDelimiter);
  }
  w.Line("Content-Type: Text/Plain; charset=" + StringToUtf8(m.CharSet));
  w.Line("Content-Transfer-Encoding: " + StringToUtf8(m.Encoding));
  w.Line("");
  const TPartKind bodyKind = PartKind(m.Encoding);
  if (Files.Body.Stream) {
    // The file's bytes are the text in CharSet; its lines end as Body's do.
    TPartEncoder encoder(bodyKind, true, true);
    WriteFile(Files.Body, encoder, w, PieceSize);
  } else {
    const std::string body = TextInCharSet(m.Body->Text(), m.CharSet);
    TPartEncoder encoder(bodyKind, false, false);
    std::string encoded;
    for (std::size_t at = 0; at < body.size(); at += PieceSize) {
      encoded.clear();
      encoder.Feed(std::string_view(body).substr(at, PieceSize), encoded);
      w.Put(encoded);
    }
    encoded.clear();
    encoder.Finish(encoded);
    w.Put(encoded);
  }

  if (multipart) {
    w.Line(kDelimiter);
    for (int i = 0; i < m.Attachments->Count(); ++i) {
      const TKwIEMailAttachment* a = m.Attachments->Items(i);
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
      WriteFile(Files.Attachments[static_cast<std::size_t>(i)], encoder, w, PieceSize);
      if (w.Last() != '\n') w.Put("\r\n");
      w.Line("");
      w.Line(i + 1 < m.Attachments->Count() ? kDelimiter : kClosingDelimiter);
    }
  }
  w.Flush();
}

}  // namespace kwinet
