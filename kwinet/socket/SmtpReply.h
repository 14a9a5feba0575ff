/// @file
/// The reader of a mail server's replies, apart from any socket: bytes go in
/// as they arrive, complete replies come out. A reply is one or more lines
/// "NNN-text" ended by a line "NNN text" (or "NNN"); every line carries the
/// same three-digit code and ends with LF or CR LF.
///
/// Each byte is scanned once, however the bytes are split, and one reply may
/// not grow past a bound, so a server that never ends a line costs neither
/// time nor memory beyond it. The outcome depends only on the bytes fed, not
/// on where they were split.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kwinet/core/String.h"

namespace kwinet {

/// One reply of a mail server.
struct TSmtpReply {
  /// The three-digit code.
  int Code = 0;
  /// The lines as they came, code included, without their line ends.
  std::vector<std::string> Lines;
};

/// What TSmtpReplyReader::Next found.
enum TSmtpReadResult : std::uint8_t {
  srIncomplete,  ///< more bytes are needed for the next reply
  srReply,       ///< a reply was taken out
  srFailed       ///< the bytes are not replies; Error() says why
};

/// Cuts a mail server's byte stream into replies.
class TSmtpReplyReader {
 public:
  /// 64 KB: a few hundred of the longest lines a server may send.
  static constexpr std::size_t DefaultMaxReplySize = 64 * 1024;

  /// MaxReplySize bounds one reply's bytes, line ends included.
  explicit TSmtpReplyReader(std::size_t MaxReplySize = DefaultMaxReplySize);

  /// Takes bytes as they arrive. Ignored once the reader has failed.
  void Feed(std::string_view Bytes);
  /// Takes the next complete reply out into Reply. A failure stays: every
  /// later call fails the same way.
  TSmtpReadResult Next(TSmtpReply& Reply);
  /// Bytes fed and not yet taken out as part of a reply.
  std::size_t Pending() const { return FBuffer.size() - FReplyStart; }
  /// Forgets the pending bytes and returns how many there were; used where
  /// the connection changes its protection and nothing read before may count
  /// as read after.
  std::size_t Discard();
  /// Back to the state of a new reader, for a new connection.
  void Reset();

  ///@{
  /// Whether the bytes were found not to be replies, and why (empty while they
  /// are).
  bool Failed() const { return !FError.empty(); }
  const String& Error() const { return FError; }
  ///@}
  /// The bound on one reply's bytes.
  std::size_t MaxReplySize() const { return FMaxReplySize; }

 private:
  TSmtpReadResult Fail(const String& message);

  std::size_t FMaxReplySize;
  std::string FBuffer;
  std::size_t FReplyStart = 0;  // where the reply being read begins
  std::size_t FLineStart = 0;   // where its current line begins
  std::size_t FScan = 0;        // first byte not yet looked at
  TSmtpReply FCurrent;          // the lines of that reply read so far
  String FError;
};

}  // namespace kwinet
