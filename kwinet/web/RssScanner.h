// The news feed reader of the RSS parser: the feed's bytes decoded to text,
// and a small tag scanner over that text that reports channels, items and
// their fields. It is no XML parser: it follows the element path, knows a
// fixed set of element names and takes the first text after a start tag as
// that element's value (entities stay as written, CDATA sections are skipped
// as tags). Work and memory grow linearly with the text.
#pragma once

#include <cstdint>
#include <string_view>

#include "kwinet/core/String.h"

namespace kwinet {

// The channel fields in the order of TKwIRSSChannel's fields.
enum TRssChannelField : std::uint8_t {
  rcTitle,
  rcLink,
  rcDescription,
  rcLanguage,
  rcCopyright,
  rcRating,
  rcManagingEditor,
  rcWebMaster,
  rcPubDate,
  rcLastBuildDate,
  rcCategory,
  rcGenerator,
  rcDocs,
  rcTtl
};

// The item fields in the order of TKwIRSSItem's fields.
enum TRssItemField : std::uint8_t { riTitle, riLink, riDescription, riCreator, riDate };

// What the scanner finds, in document order. A field always belongs to the
// channel or item begun last; an item always to the channel begun last.
class TRssScanHandler {
 public:
  virtual ~TRssScanHandler() = default;
  virtual void NewChannel() = 0;
  virtual void NewItem() = 0;
  virtual void ChannelField(TRssChannelField Field, String&& Value) = 0;
  virtual void ItemField(TRssItemField Field, String&& Value) = 0;
};

// The feed's text: UTF-8, UTF-16 or UTF-32 when it starts with that byte-order
// mark (the mark itself dropped); otherwise the encoding that its XML
// declaration names (ISO-8859-1 byte for byte, other character sets through
// iconv); UTF-8 when it names none, or one that this system does not know.
String DecodeRssText(std::string_view Bytes);

// Scans the text and reports what it finds to Handler. Malformed text never
// fails: the scan ends at the end of the text, wherever it is.
void ScanRss(std::u16string_view Text, TRssScanHandler& Handler);

}  // namespace kwinet
