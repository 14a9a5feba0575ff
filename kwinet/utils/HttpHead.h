/// @file
/// Reading the head of an HTTP answer: the status line and the header fields
/// up to the empty line. Pure units over bytes, shared by every client that
/// reads HTTP (the socket clients, the proxy tunnel, the transfer layer), so
/// that one reader decides where a head ends and what its status is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kwinet/core/String.h"

namespace kwinet {

/// "HTTP/1.1 404 Not Found" taken apart.
struct THttpStatusLine {
  std::string Version;  ///< "HTTP/1.1", "HTTP/1.0", "HTTP/2"
  int Code = 0;         ///< 100 to 999
  std::string Reason;   ///< may be empty
};

/// Reads one status line, given without its line end: "HTTP/" and a digit
/// (with an optional "." and one more digit), one space, three digits (the
/// first not 0), then nothing or one space and a reason of printable bytes,
/// blanks and bytes 128 to 255. Anything else is refused (false, Status
/// untouched): lower-case "http", two spaces, a control byte, a carriage
/// return left at the end.
bool ParseHttpStatusLine(std::string_view Line, THttpStatusLine& Status);

/// The three digits that follow the first space of a reply's bytes, or 0
/// when there is no space or no three digits follow it. This is the tolerant
/// check the socket clients make on the first chunk of any reply, whatever
/// its protocol, so it asks for nothing more than that.
int LooseStatusCode(std::string_view Bytes);

/// One header field: the name as received, and the value with the blanks
/// around it removed and continuation lines joined with one space.
struct THttpField {
  /// The field's name as received.
  std::string Name;
  /// Its value, continuation lines joined, outer blanks removed.
  std::string Value;
};

/// Where a head reader stands: still reading, done (the empty line came) or
/// failed.
enum THttpHeadState : std::uint8_t { hsReading, hsDone, hsFailed };
/// @var hsReading
/// The head has not ended yet.
/// @var hsDone
/// The empty line that ends the head came.
/// @var hsFailed
/// The bytes are not a head, or the head ran past its bound.

/// Reads a head fed in pieces split anywhere. Lines end with CR LF or a bare
/// LF; the head ends at the first empty line. Feed takes bytes up to and
/// including that empty line and nothing after it, so the caller keeps the
/// rest (the body, or a tunnel's first bytes). The reader is lenient past the
/// status line, as a client must be: a first line that is not a status line
/// still gives lines (HasStatus tells), and a line without a colon is kept
/// among the lines but is no field.
class THttpHeadReader {
 public:
  /// The default bound on a head's bytes: 64 KiB.
  static constexpr std::size_t kDefaultMaxSize = 65536;

  /// MaxSize bounds the head in bytes, line ends and the final empty line
  /// included; 0 = no bound (for a head already held in memory).
  explicit THttpHeadReader(std::size_t MaxSize = kDefaultMaxSize) : FMaxSize(MaxSize) {}

  /// Takes what belongs to the head from Bytes and returns how many bytes
  /// that is: all of them while the head goes on, fewer once it ends, none
  /// after it has ended or failed. A line, or the start of one, that would
  /// carry the head past MaxSize fails the reader and is not taken.
  std::size_t Feed(std::string_view Bytes);
  /// One line as libcurl's header callback hands them: its line end may be
  /// there or not; a line without one is ended here (an empty one ends the
  /// head).
  THttpHeadState FeedLine(std::string_view Line);
  /// Back to an empty reader with the same bound (the next head of the same
  /// transfer: an interim answer, a redirect).
  void Reset();

  /// Where the reader stands.
  THttpHeadState State() const { return FState; }
  /// Whether the head has ended.
  bool Done() const { return FState == hsDone; }
  /// Whether the bytes are not a head, or the head ran past its bound; Error
  /// says why.
  bool Failed() const { return FState == hsFailed; }
  /// Why the reader failed; empty while it has not.
  const String& Error() const { return FError; }
  /// Bytes taken so far.
  std::size_t Size() const { return FSize; }

  /// The complete lines so far without their line ends, the status line
  /// first; the empty line that ends the head is not among them.
  const std::vector<std::string>& Lines() const { return FLines; }
  /// Whether the first line was a status line; Status is then its parts.
  bool HasStatus() const { return FHasStatus; }
  /// The status line, when HasStatus.
  const THttpStatusLine& Status() const { return FStatus; }
  /// The header fields, in order.
  const std::vector<THttpField>& Fields() const { return FFields; }
  /// The value of the first field of that name (ASCII case ignored), or
  /// nullptr when there is none.
  const std::string* Field(std::string_view Name) const;

 private:
  void EndLine();

  std::size_t FMaxSize;
  THttpHeadState FState = hsReading;
  std::size_t FSize = 0;
  std::string FLine;  // the line being read, without its line end
  std::vector<std::string> FLines;
  std::vector<THttpField> FFields;
  bool FHasStatus = false;
  bool FLastWasField = false;  // a continuation line may follow
  THttpStatusLine FStatus;
  String FError;
};

/// What a proxy's answer to CONNECT comes to.
enum TConnectVerdict : std::uint8_t {
  cvPending,    ///< the head has not ended yet
  cvOpen,       ///< 2xx: the tunnel is open, what follows is the server's
  cvProxyAuth,  ///< 407: the proxy wants credentials
  cvRefused,    ///< any other status
  cvMalformed   ///< not an HTTP answer, or a head past the bound
};

/// A proxy's answer to CONNECT, fed as it arrives. Like the head reader it
/// never takes a byte past the empty line, so whatever the proxy has sent
/// after it stays with the caller for the tunnelled protocol. A first line
/// that is not a status line settles the answer at once, without waiting for
/// an empty line that a server of another protocol would never send.
class TConnectAnswerReader {
 public:
  /// A reader whose head may take at most MaxSize bytes.
  explicit TConnectAnswerReader(std::size_t MaxSize = THttpHeadReader::kDefaultMaxSize) : FHead(MaxSize) {}

  /// The bytes taken; none once the verdict is in.
  std::size_t Feed(std::string_view Bytes);
  /// The verdict so far.
  TConnectVerdict Verdict() const { return FVerdict; }
  /// Whether the verdict is in.
  bool Done() const { return FVerdict != cvPending; }
  /// The status line as received (empty before the first line is complete).
  std::string StatusLine() const;
  /// The head as read.
  const THttpHeadReader& Head() const { return FHead; }

 private:
  THttpHeadReader FHead;
  TConnectVerdict FVerdict = cvPending;
};

}  // namespace kwinet
