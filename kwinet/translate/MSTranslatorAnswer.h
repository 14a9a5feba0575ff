// Readers of the Microsoft Translator's XML answers, over the answer's
// bytes: a single element holding a text ("<string>Hallo</string>"), or an
// array element whose children each hold one language code
// ("<ArrayOfstring><string>de</string>...</ArrayOfstring>").
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "kwinet/core/String.h"

namespace kwinet {

// The text of the answer's document element, entities decoded; nullopt when
// the answer holds no element at all. The bytes are UTF-8 (a byte-order mark
// is skipped); a malformed sequence becomes U+FFFD rather than costing the
// whole text.
std::optional<String> ReadMSTranslatorText(std::string_view Answer);

// The texts of the document element's child elements, in document order;
// children without text are left out.
std::vector<String> ReadMSTranslatorList(std::string_view Answer);

}  // namespace kwinet
