// The news file of the web news dialog: an INI text whose sections are
// categories and whose lines "link=caption" are items. A pure reader over
// bytes, so that what a server sends can be fuzzed on its own.
#pragma once

#include <string_view>
#include <vector>

#include "kwinet/core/String.h"

namespace kwinet {

struct TNewsItem {
  String Link;     // the text before the first "=", trimmed
  String Caption;  // the text after it, trimmed, one pair of quotes taken off
};

struct TNewsSection {
  String Name;
  std::vector<TNewsItem> Items;
};

// The sections of a news file in file order, each with its items in file
// order. The text is UTF-8 (a byte-order mark is skipped); lines end with LF,
// CR LF or CR. As in a profile file, section names and links are compared
// without ASCII case: a section that comes again adds its new items to the
// first one, and a link that comes again in a section keeps its first
// caption. Blank lines, comments (";" or "#" first), lines without "=",
// lines with an empty link and lines before the first section are skipped.
// Linear in the input.
std::vector<TNewsSection> ReadNewsFile(std::string_view bytes);

// The news file at FileName; no sections when it cannot be read.
std::vector<TNewsSection> LoadNewsFile(const String& FileName);

}  // namespace kwinet
