// An emulator of today's translation services, for the tests and the tool's
// demo: Microsoft Translator version 3 (translate, detect, languages), the
// Microsoft speech service (voice list, speech) and Google Cloud
// Translation v2 (translate, detect, languages), all on one loopback port,
// meant to stand behind nginx (NginxLocations) so that the clients speak
// HTTPS to it as to the real hosts.
//
// It checks every request as the services do (method, path, api-version,
// the key and region headers, the content type, the JSON body or the SSML
// document) and answers in the services' documented shapes, their error
// documents included: a bad key (401000; Google's 400), a target language
// it does not know (400036; Google's "Invalid Value"), and, on demand, 429
// with Retry-After. A translation of a text it has no entry for is the text
// itself, so what a client sends must come back byte for byte. Google's
// "format" is honoured: without "text", the answer is HTML-escaped, as the
// service does.
//
// Translations known: "Hello" (de Hallo, fr Bonjour), "Good morning" (de
// Guten Morgen). Languages: de, en, fr, zh-Hans (Microsoft); de, en, fr,
// zh-CN (Google). Voices: de-DE-KatjaNeural, en-US-JennyNeural,
// en-US-GuyNeural, en-GB-SoniaNeural, zh-CN-XiaoxiaoNeural. The audio is
// "RIFF" "WAVE" followed by "VOICE|TEXT" (the voice and the text that the
// SSML held), so a test can see what was asked for.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "support/FakeServer.h"

namespace kwinet::support {

// Reads <speak version='1.0' xml:lang='L'><voice name='V'>T</voice></speak>
// (either quote; blanks between attributes) into its three values, with
// the five named entities and character references resolved. False for
// any other shape, a raw "<" or "&" that starts nothing known in the text,
// or "]]>".
bool ReadSpeechSsmlDocument(std::string_view Body, std::string& Locale, std::string& Voice, std::string& Text);

class TTranslatorService {
 public:
  // The key that both services take; the Microsoft services want Region
  // too (an empty Region: a global key, no region header wanted).
  explicit TTranslatorService(std::string Key = "kw-test-key-0123456789", std::string Region = "westeurope");
  ~TTranslatorService();
  TTranslatorService(const TTranslatorService&) = delete;
  TTranslatorService& operator=(const TTranslatorService&) = delete;

  const std::string& Key() const { return FKey; }
  const std::string& Region() const { return FRegion; }
  int Port() const;
  // nginx location directives that send the services' paths here.
  std::string NginxLocations() const;

  // The next Count requests are answered 429 with "Retry-After: Seconds".
  void Throttle(int Count, int Seconds);
  // Every request taken in so far, whole (head and body), in order.
  std::vector<std::string> Requests() const;
  // What was wrong with the requests that were refused (400, 401, 404, 405,
  // 415), one line each.
  std::vector<std::string> Refusals() const;
  void Clear();

 private:
  struct TState;
  void Handle(FakeConnection& Connection);

  std::string FKey;
  std::string FRegion;
  std::unique_ptr<TState> FState;
  std::unique_ptr<FakeServer> FServer;
};

}  // namespace kwinet::support
