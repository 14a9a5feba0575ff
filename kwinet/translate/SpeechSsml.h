// The speech service's side of the Microsoft translator, as pure functions:
// the SSML document that asks for speech, the reader of the voice list, and
// the choice of a voice for a language.
//
//   <speak version='1.0' xml:lang='en-US'><voice name='en-US-JennyNeural'>Hello</voice></speak>
//   [{"Name":"...","ShortName":"en-US-JennyNeural","Gender":"Female","Locale":"en-US",...}, ...]
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kwinet/core/String.h"

namespace kwinet {

// The SSML document as UTF-8, with Text, Locale and Voice escaped: & < > "
// ' become entity references, and a carriage return (and, in the two
// attributes, a tab or line feed, which an XML reader would turn into
// blanks) a character reference, so that a reader gets back exactly what
// was given. A character that XML 1.0 cannot hold at all, not even as a
// reference (a control character other than tab, line feed and carriage
// return, U+FFFE, U+FFFF, a lone surrogate), becomes a blank: it carries
// nothing that can be spoken, and the blank keeps the words on either side
// apart.
std::string BuildSpeechSsml(const String& Text, const String& Locale, const String& Voice);

struct TSpeechVoice {
  String ShortName;
  String Locale;
};
// The voices in the list's order; entries without a ShortName or a Locale
// are passed over. nullopt for bytes that are not a JSON array.
std::optional<std::vector<TSpeechVoice>> ReadSpeechVoices(std::string_view Answer);

// The first voice whose Locale is Language ("en-US"), else the first whose
// Locale starts with Language and a dash ("en" finds "en-US"), ignoring the
// case of ASCII letters; nullptr when there is none.
const TSpeechVoice* PickSpeechVoice(const std::vector<TSpeechVoice>& Voices, const String& Language);

// The distinct locales of the voices, in the list's order.
std::vector<String> SpeechLocales(const std::vector<TSpeechVoice>& Voices);

}  // namespace kwinet
