/// @file
/// Finds the links of one kind in a text given piece by piece: every place
/// where the prefix ("http://", "mailto:"...) begins, up to the first
/// character that ends a link, or until the link is kMaxLinkLength bytes long.
/// Memory is bounded by the piece and that length, not by the text, and a
/// link or prefix split between two pieces is found whole. Pure code over
/// bytes; fuzzed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "kwinet/core/Streams.h"

namespace kwinet {

/// The characters that end a link: NUL, the space and those that RFC 1738
/// calls unsafe ("#%<>[\]^`{|}~ and the quotation mark). Line breaks, tabs
/// and the apostrophe do not.
bool EndsLink(unsigned char C);

/// The longest link, prefix included. A link that runs on ends there, and
/// scanning goes on with the byte after it.
constexpr std::size_t kMaxLinkLength = 64 * 1024;

/// Finds the links that begin with one prefix in a text given piece by piece.
class TLinkScanner {
 public:
  /// Each link as found, prefix included; the view lives until the callback
  /// returns.
  using TOnLink = std::function<void(std::string_view Link)>;

  /// Prefix: compared exactly (case matters); must not be empty nor hold a
  /// character that ends a link. MaxLength: the longest link (at least the
  /// prefix's length).
  TLinkScanner(std::string_view Prefix, TOnLink OnLink, std::size_t MaxLength = kMaxLinkLength);

  /// The next piece of the text. The text ends at its first NUL: a link open
  /// there is reported, and the call returns false, as does every later one
  /// (further pieces are not looked at).
  bool Feed(std::string_view Piece);
  /// The end of the text: a link still open is reported whole; a prefix cut
  /// short is not a link. Later pieces are ignored.
  void Finish();
  /// Whether the text has ended (a NUL was seen or Finish was called).
  bool Ended() const { return FEnded; }

 private:
  // Scans Piece from From on, the carried bytes already dealt with.
  void ScanPiece(std::string_view Piece, std::size_t From);
  // Reads the open link (in FCarry) on into Piece; the offset after the
  // character that ended it, or npos when it runs on past the piece.
  std::size_t ContinueLink(std::string_view Piece);
  // Resolves a prefix that began in the carried bytes; the offset in Piece
  // where scanning goes on, or npos when the piece was used up.
  std::size_t ResolveCarry(std::string_view Piece);

  std::string FPrefix;
  TOnLink FOnLink;
  std::size_t FMaxLength;
  // Bytes of the text kept from earlier pieces: the open link (FInLink), or
  // a tail that may be the start of the prefix.
  std::string FCarry;
  bool FInLink = false;
  bool FEnded = false;
};

/// Feeds Scanner from Source, from its position, in pieces of BlockSize bytes
/// until the text ends (at Source's end or its first NUL), then finishes it.
/// Nothing is read after the piece that holds the first NUL.
void ScanLinks(TStream& Source, TLinkScanner& Scanner, std::size_t BlockSize = 256 * 1024);

}  // namespace kwinet
