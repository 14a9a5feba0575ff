// Reader of Google Translate's single-translation answer, over the answer's
// bytes. The answer is nested JSON arrays whose first element lists the
// segments of the translation, each segment an array that starts with its
// translated text; the service makes one segment of every sentence:
//
//   [[["Hallo Welt. ","Hello world. ",null,null,10],["Wie geht's?","How are you?",null,null,10]],null,"en"]
#pragma once

#include <optional>
#include <string_view>

#include "kwinet/core/String.h"

namespace kwinet {

// The translated texts of all segments, joined in order (segments that
// start with anything but a string are passed over). An answer of
// another shape gives its innermost first value, as the first element of
// the first element... is taken: a string's text, a number's or literal's
// JSON text. nullopt when the answer is not JSON or holds no such value (an
// empty array, an object).
std::optional<String> ReadGoogleAnswer(std::string_view Answer);

}  // namespace kwinet
