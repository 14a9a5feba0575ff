#include "support/TranslatorService.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <nlohmann/json.hpp>
#include <utility>

namespace kwinet::support {

namespace {

using Json = nlohmann::ordered_json;

struct TRequest {
  std::string Method, Path;
  std::map<std::string, std::string> Query;
  std::map<std::string, std::string> Headers;  // names in lower case
  std::string Body;
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '+') {
      out.push_back(' ');
    } else if (s[i] == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2])));
      i += 2;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool ParseRequest(const std::string& data, TRequest& r) {
  const std::size_t headEnd = data.find("\r\n\r\n");
  if (headEnd == std::string::npos) return false;
  std::size_t lineEnd = data.find("\r\n");
  const std::string line = data.substr(0, lineEnd);
  const std::size_t sp1 = line.find(' '), sp2 = line.rfind(' ');
  if (sp1 == std::string::npos || sp2 == sp1) return false;
  r.Method = line.substr(0, sp1);
  const std::string target = line.substr(sp1 + 1, sp2 - sp1 - 1);
  const std::size_t q = target.find('?');
  r.Path = target.substr(0, q);
  if (q != std::string::npos) {
    std::string_view rest(target);
    rest.remove_prefix(q + 1);
    while (!rest.empty()) {
      const std::size_t amp = rest.find('&');
      const std::string_view pair = rest.substr(0, amp);
      const std::size_t eq = pair.find('=');
      r.Query[PercentDecode(pair.substr(0, eq))] =
          eq == std::string_view::npos ? std::string() : PercentDecode(pair.substr(eq + 1));
      if (amp == std::string_view::npos) break;
      rest.remove_prefix(amp + 1);
    }
  }
  std::size_t pos = lineEnd + 2;
  while (pos < headEnd) {
    lineEnd = data.find("\r\n", pos);
    const std::string header = data.substr(pos, lineEnd - pos);
    pos = lineEnd + 2;
    const std::size_t colon = header.find(':');
    if (colon == std::string::npos) continue;
    std::string value = header.substr(colon + 1);
    value.erase(0, value.find_first_not_of(" \t"));
    value.erase(value.find_last_not_of(" \t") + 1);
    r.Headers[Lower(header.substr(0, colon))] = value;
  }
  r.Body = data.substr(headEnd + 4);
  return true;
}

std::string Header(const TRequest& r, const std::string& name) {
  const auto it = r.Headers.find(name);
  return it == r.Headers.end() ? std::string() : it->second;
}

std::string Query(const TRequest& r, const std::string& name) {
  const auto it = r.Query.find(name);
  return it == r.Query.end() ? std::string() : it->second;
}

struct TAnswer {
  int Status = 200;
  std::string ContentType = "application/json; charset=utf-8";
  std::string Body;
  std::string Extra;  // more header lines, each ending "\r\n"
};

const char* Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 415: return "Unsupported Media Type";
    case 429: return "Too Many Requests";
    default: return "Error";
  }
}

const std::vector<std::pair<std::string, std::string>> kMSLanguages = {
    {"de", "German"}, {"en", "English"}, {"fr", "French"}, {"zh-Hans", "Chinese Simplified"}};
const std::vector<std::pair<std::string, std::string>> kGoogleLanguages = {
    {"de", "German"}, {"en", "English"}, {"fr", "French"}, {"zh-CN", "Chinese (Simplified)"}};
const std::vector<std::pair<std::string, std::string>> kVoices = {{"de-DE-KatjaNeural", "de-DE"},
                                                                  {"en-US-JennyNeural", "en-US"},
                                                                  {"en-US-GuyNeural", "en-US"},
                                                                  {"en-GB-SoniaNeural", "en-GB"},
                                                                  {"zh-CN-XiaoxiaoNeural", "zh-CN"}};
const char* const kOutputFormats[] = {"riff-24khz-16bit-mono-pcm", "riff-16khz-16bit-mono-pcm",
                                      "audio-16khz-32kbitrate-mono-mp3", "audio-24khz-48kbitrate-mono-mp3"};

bool Known(const std::vector<std::pair<std::string, std::string>>& list, const std::string& code) {
  return std::any_of(list.begin(), list.end(), [&](const auto& l) { return l.first == code; });
}

std::string Translate(const std::string& text, const std::string& to) {
  static const std::map<std::pair<std::string, std::string>, std::string> known = {
      {{"Hello", "de"}, "Hallo"}, {{"Hello", "fr"}, "Bonjour"}, {{"Good morning", "de"}, "Guten Morgen"}};
  const auto it = known.find({text, to});
  return it == known.end() ? text : it->second;
}

std::string Detect(const std::string& text) {
  if (text.find("Bonjour") != std::string::npos) return "fr";
  if (text.find("Hallo") != std::string::npos) return "de";
  return "en";
}

std::string HtmlEscape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

Json Parse(const std::string& body) {
  return Json::parse(body, nullptr, false);
}

}  // namespace

bool ReadSpeechSsmlDocument(std::string_view Body, std::string& Locale, std::string& Voice, std::string& Text) {
  std::string_view s = Body;
  auto skipBlanks = [&] {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r'))
      s.remove_prefix(1);
  };
  auto take = [&](std::string_view what) {
    if (s.substr(0, what.size()) != what) return false;
    s.remove_prefix(what.size());
    return true;
  };
  // Resolves the references in raw; false for a "<", a stray "&" or "]]>".
  auto unescape = [](std::string_view raw, std::string& out, bool attribute) {
    out.clear();
    if (raw.find("]]>") != std::string_view::npos) return false;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      const char c = raw[i];
      if (c == '<') return false;
      if (attribute && (c == '\t' || c == '\n' || c == '\r')) return false;  // a reader would make them blanks
      if (c != '&') {
        out.push_back(c);
        continue;
      }
      const std::size_t semi = raw.find(';', i);
      if (semi == std::string_view::npos) return false;
      const std::string_view name = raw.substr(i + 1, semi - i - 1);
      i = semi;
      if (name == "amp") out.push_back('&');
      else if (name == "lt") out.push_back('<');
      else if (name == "gt") out.push_back('>');
      else if (name == "quot") out.push_back('"');
      else if (name == "apos") out.push_back('\'');
      else if (name.size() > 1 && name[0] == '#') {
        unsigned long code = 0;
        const bool hex = name[1] == 'x';
        const std::string_view digits = name.substr(hex ? 2 : 1);
        if (digits.empty() || digits.size() > 8) return false;
        for (char d : digits) {
          const int v = hex ? HexValue(d) : (d >= '0' && d <= '9' ? d - '0' : -1);
          if (v < 0) return false;
          code = code * (hex ? 16 : 10) + static_cast<unsigned long>(v);
        }
        if (!(code == 9 || code == 10 || code == 13 || (code >= 0x20 && code <= 0xD7FF) ||
              (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF)))
          return false;
        if (code < 0x80) {
          out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
          out.push_back(static_cast<char>(0xC0 | (code >> 6)));
          out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
          out.push_back(static_cast<char>(0xE0 | (code >> 12)));
          out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
          out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
          out.push_back(static_cast<char>(0xF0 | (code >> 18)));
          out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
          out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
          out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
      } else {
        return false;
      }
    }
    return true;
  };
  // name='value' or name="value".
  auto attribute = [&](std::string_view name, std::string& value) {
    skipBlanks();
    if (!take(name)) return false;
    skipBlanks();
    if (!take("=")) return false;
    skipBlanks();
    if (s.empty() || (s.front() != '\'' && s.front() != '"')) return false;
    const char quote = s.front();
    s.remove_prefix(1);
    const std::size_t end = s.find(quote);
    if (end == std::string_view::npos) return false;
    const std::string_view raw = s.substr(0, end);
    s.remove_prefix(end + 1);
    return unescape(raw, value, true);
  };
  std::string version;
  skipBlanks();
  if (!take("<speak") || !attribute("version", version) || version != "1.0" || !attribute("xml:lang", Locale))
    return false;
  skipBlanks();
  if (!take(">")) return false;
  skipBlanks();
  if (!take("<voice") || !attribute("name", Voice)) return false;
  skipBlanks();
  if (!take(">")) return false;
  const std::size_t end = s.find("</voice>");
  if (end == std::string_view::npos) return false;
  std::string raw(s.substr(0, end));
  s.remove_prefix(end + 8);
  skipBlanks();
  if (!take("</speak>")) return false;
  skipBlanks();
  if (!s.empty()) return false;
  // Line ends in content reach a reader as line feeds.
  std::string text;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r') {
      text.push_back('\n');
      if (i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
    } else {
      text.push_back(raw[i]);
    }
  }
  return unescape(text, Text, false);
}

struct TTranslatorService::TState {
  mutable std::mutex Lock;
  std::vector<std::string> Requests;
  std::vector<std::string> Refusals;
  int ThrottleCount = 0;
  int ThrottleSeconds = 0;
};

TTranslatorService::TTranslatorService(std::string Key, std::string Region)
    : FKey(std::move(Key)), FRegion(std::move(Region)), FState(std::make_unique<TState>()) {
  FServer = std::make_unique<FakeServer>([this](FakeConnection& c) { Handle(c); });
}

TTranslatorService::~TTranslatorService() {
  // Stop the handlers before the state they use goes.
  FServer.reset();
}

int TTranslatorService::Port() const {
  return FServer->Port();
}

std::string TTranslatorService::NginxLocations() const {
  const std::string up = "http://127.0.0.1:" + std::to_string(Port());
  std::string out;
  for (const char* l : {"= /translate", "= /detect", "= /languages", "/cognitiveservices/", "/language/translate/v2"})
    out += std::string("    location ") + l + " { proxy_pass " + up + "; }\n";
  return out;
}

void TTranslatorService::Throttle(int Count, int Seconds) {
  std::lock_guard<std::mutex> g(FState->Lock);
  FState->ThrottleCount = Count;
  FState->ThrottleSeconds = Seconds;
}

std::vector<std::string> TTranslatorService::Requests() const {
  std::lock_guard<std::mutex> g(FState->Lock);
  return FState->Requests;
}

std::vector<std::string> TTranslatorService::Refusals() const {
  std::lock_guard<std::mutex> g(FState->Lock);
  return FState->Refusals;
}

void TTranslatorService::Clear() {
  std::lock_guard<std::mutex> g(FState->Lock);
  FState->Requests.clear();
  FState->Refusals.clear();
  FState->ThrottleCount = 0;
}

void TTranslatorService::Handle(FakeConnection& Connection) {
  if (!Connection.ReadHttpRequest()) return;
  TRequest r;
  const bool parsed = ParseRequest(Connection.Data(), r);
  int throttle = 0;
  {
    std::lock_guard<std::mutex> g(FState->Lock);
    FState->Requests.push_back(Connection.Data());
    if (FState->ThrottleCount > 0) {
      --FState->ThrottleCount;
      throttle = FState->ThrottleSeconds;
    } else {
      throttle = -1;
    }
  }
  const bool google = r.Path.rfind("/language/translate/v2", 0) == 0;
  const bool speech = r.Path.rfind("/cognitiveservices/", 0) == 0;
  TAnswer a;
  // An error document in the service's shape; the refusal is recorded.
  auto refuse = [&](int status, const std::string& code, const std::string& message) {
    {
      std::lock_guard<std::mutex> g(FState->Lock);
      FState->Refusals.push_back(std::to_string(status) + " " + r.Method + " " + r.Path + ": " + message);
    }
    a.Status = status;
    Json error = Json::object();
    if (google) {
      error["code"] = status;
      error["message"] = message;
      error["status"] = code;
    } else {
      error["code"] = speech ? Json(code) : Json(std::stoll(code));
      error["message"] = message;
    }
    a.Body = Json({{"error", error}}).dump();
  };
  auto jsonBody = [&](const char* what) {
    const std::string type = Lower(Header(r, "content-type"));
    if (type.rfind("application/json", 0) != 0) {
      refuse(415, google ? "INVALID_ARGUMENT" : "415000", std::string("The Content-Type of ") + what +
                                                               " must be application/json.");
      return Json(Json::value_t::discarded);
    }
    Json body = Parse(r.Body);
    if (body.is_discarded()) refuse(400, google ? "INVALID_ARGUMENT" : "400074", "The body of the request is not valid JSON.");
    return body;
  };
  // The Microsoft body: an array of objects, each with a string "Text" alone.
  auto msTexts = [&](std::vector<std::string>& texts) {
    const Json body = jsonBody("a translator request");
    if (body.is_discarded()) return false;
    if (!body.is_array() || body.empty() || body.size() > 1000) {
      refuse(400, "400074", "The body of the request is not valid JSON.");
      return false;
    }
    for (const Json& item : body) {
      if (!item.is_object() || item.size() != 1 || !item.contains("Text") || !item["Text"].is_string()) {
        refuse(400, "400074", "The body of the request is not valid JSON.");
        return false;
      }
      texts.push_back(item["Text"].get<std::string>());
    }
    return true;
  };
  auto msKey = [&]() {
    if (Header(r, "ocp-apim-subscription-key") != FKey) {
      refuse(401, "401000",
             "The request is not authorized because credentials are missing or invalid.");
      return false;
    }
    if (!FRegion.empty() && Header(r, "ocp-apim-subscription-region") != FRegion) {
      refuse(401, "401000",
             "The request is not authorized because credentials are missing or invalid. The region header is "
             "missing or does not match the key.");
      return false;
    }
    return true;
  };

  if (!parsed) {
    refuse(400, google ? "INVALID_ARGUMENT" : "400000", "The request could not be read.");
  } else if (r.Query.count("key") || r.Query.count("Subscription-Key") || r.Query.count("subscription-key")) {
    // The services take a key in the query too; these clients never put it
    // there (it would reach logs), so the emulator refuses it.
    refuse(400, google ? "INVALID_ARGUMENT" : "400000", "The key belongs in its header, not in the URL.");
  } else if (throttle >= 0) {
    a.Status = 429;
    a.Extra = "Retry-After: " + std::to_string(throttle) + "\r\n";
    a.Body = google ? R"({"error":{"code":429,"message":"Quota exceeded for quota metric 'v2 and v3 general model characters'.","status":"RESOURCE_EXHAUSTED"}})"
                    : R"({"error":{"code":429001,"message":"The server rejected the request because the client has exceeded request limits."}})";
  } else if (google) {
    if (Header(r, "x-goog-api-key") != FKey) {
      refuse(400, "INVALID_ARGUMENT", "API key not valid. Please pass a valid API key.");
    } else if (r.Path == "/language/translate/v2" && r.Method == "POST") {
      const Json body = jsonBody("a translation request");
      if (!body.is_discarded()) {
        std::vector<std::string> texts;
        const Json* q = body.is_object() && body.contains("q") ? &body["q"] : nullptr;
        if (q && q->is_string()) texts.push_back(q->get<std::string>());
        if (q && q->is_array())
          for (const Json& t : *q)
            if (t.is_string()) texts.push_back(t.get<std::string>());
        const bool shape = q && !texts.empty() && (q->is_string() || texts.size() == q->size()) &&
                           body.contains("target") && body["target"].is_string() &&
                           (!body.contains("source") || body["source"].is_string()) &&
                           (!body.contains("format") || body["format"].is_string());
        const std::string target = shape ? body["target"].get<std::string>() : std::string();
        const std::string source = shape && body.contains("source") ? body["source"].get<std::string>() : "";
        const std::string format = shape && body.contains("format") ? body["format"].get<std::string>() : "html";
        if (!shape || (format != "text" && format != "html"))
          refuse(400, "INVALID_ARGUMENT", "Invalid JSON payload received.");
        else if (!Known(kGoogleLanguages, target) || (!source.empty() && !Known(kGoogleLanguages, source)))
          refuse(400, "INVALID_ARGUMENT", "Invalid Value");
        else {
          Json list = Json::array();
          for (const std::string& t : texts) {
            std::string out = Translate(t, target);
            if (format == "html") out = HtmlEscape(out);
            Json item = {{"translatedText", out}};
            if (source.empty()) item["detectedSourceLanguage"] = Detect(t);
            list.push_back(item);
          }
          a.Body = Json({{"data", {{"translations", list}}}}).dump();
        }
      }
    } else if (r.Path == "/language/translate/v2/detect" && r.Method == "POST") {
      const Json body = jsonBody("a detect request");
      if (!body.is_discarded()) {
        const Json* q = body.is_object() && body.contains("q") ? &body["q"] : nullptr;
        std::vector<std::string> texts;
        if (q && q->is_string()) texts.push_back(q->get<std::string>());
        if (q && q->is_array())
          for (const Json& t : *q)
            if (t.is_string()) texts.push_back(t.get<std::string>());
        if (texts.empty()) {
          refuse(400, "INVALID_ARGUMENT", "Required Text");
        } else {
          Json list = Json::array();
          for (const std::string& t : texts)
            list.push_back(Json::array({{{"language", Detect(t)}, {"confidence", 1}, {"isReliable", false}}}));
          a.Body = Json({{"data", {{"detections", list}}}}).dump();
        }
      }
    } else if (r.Path == "/language/translate/v2/languages" && r.Method == "GET") {
      Json list = Json::array();
      const std::string target = Query(r, "target");
      for (const auto& [code, name] : kGoogleLanguages) {
        Json item = {{"language", code}};
        if (!target.empty()) item["name"] = name;
        list.push_back(item);
      }
      a.Body = Json({{"data", {{"languages", list}}}}).dump();
    } else {
      refuse(404, "NOT_FOUND", "Method not found.");
    }
  } else if (speech) {
    if (Header(r, "ocp-apim-subscription-key") != FKey) {
      refuse(401, "401", "Access denied due to invalid subscription key or wrong API endpoint.");
    } else if (r.Path == "/cognitiveservices/voices/list" && r.Method == "GET") {
      Json list = Json::array();
      for (const auto& [name, locale] : kVoices)
        list.push_back({{"Name", "Microsoft Server Speech Text to Speech Voice (" + locale + ", " + name + ")"},
                        {"ShortName", name},
                        {"Gender", "Female"},
                        {"Locale", locale},
                        {"SampleRateHertz", "24000"},
                        {"VoiceType", "Neural"}});
      a.Body = list.dump();
    } else if (r.Path == "/cognitiveservices/v1" && r.Method == "POST") {
      std::string locale, voice, text;
      const std::string format = Header(r, "x-microsoft-outputformat");
      if (Lower(Header(r, "content-type")).rfind("application/ssml+xml", 0) != 0) {
        refuse(415, "415", "The Content-Type must be application/ssml+xml.");
      } else if (std::find(std::begin(kOutputFormats), std::end(kOutputFormats), format) == std::end(kOutputFormats)) {
        refuse(400, "400", "Unsupported output format.");
      } else if (Header(r, "user-agent").empty()) {
        refuse(400, "400", "A User-Agent is required.");
      } else if (!ReadSpeechSsmlDocument(r.Body, locale, voice, text)) {
        refuse(400, "400", "The SSML document is not valid.");
      } else if (std::none_of(kVoices.begin(), kVoices.end(), [&](const auto& v) { return v.first == voice; })) {
        refuse(400, "400", "Unsupported voice " + voice + ".");
      } else {
        a.ContentType = "audio/x-wav";
        a.Body = std::string("RIFF\0\0\0\0WAVE", 12) + voice + "|" + text;
      }
    } else {
      refuse(404, "404", "Resource not found.");
    }
  } else if (r.Path == "/translate" || r.Path == "/detect" || r.Path == "/languages") {
    std::vector<std::string> texts;
    if (Query(r, "api-version") != "3.0") {
      refuse(400, "400021", "The API version parameter is missing or invalid.");
    } else if (r.Path == "/languages") {
      if (r.Method != "GET") {
        refuse(405, "405000", "The request method is not supported for the requested resource.");
      } else {
        Json translation = Json::object();
        for (const auto& [code, name] : kMSLanguages) translation[code] = {{"name", name}, {"nativeName", name}, {"dir", "ltr"}};
        a.Body = Json({{"translation", translation}}).dump();
      }
    } else if (r.Method != "POST") {
      refuse(405, "405000", "The request method is not supported for the requested resource.");
    } else if (!msKey() || !msTexts(texts)) {
      // refused
    } else if (r.Path == "/detect") {
      Json list = Json::array();
      for (const std::string& t : texts)
        list.push_back({{"language", Detect(t)},
                        {"score", 1.0},
                        {"isTranslationSupported", true},
                        {"isTransliterationSupported", false}});
      a.Body = list.dump();
    } else {
      const std::string to = Query(r, "to"), from = Query(r, "from");
      if (to.empty() || !Known(kMSLanguages, to)) {
        refuse(400, "400036", "The target language is not valid.");
      } else if (r.Query.count("from") && !Known(kMSLanguages, from)) {
        refuse(400, "400035", "The source language is not valid.");
      } else {
        Json list = Json::array();
        for (const std::string& t : texts) {
          Json item = Json::object();
          if (from.empty()) item["detectedLanguage"] = {{"language", Detect(t)}, {"score", 1.0}};
          item["translations"] = Json::array({{{"text", Translate(t, to)}, {"to", to}}});
          list.push_back(item);
        }
        a.Body = list.dump();
      }
    }
  } else {
    refuse(404, "404000", "The requested resource was not found.");
  }
  Connection.Send("HTTP/1.1 " + std::to_string(a.Status) + " " + Reason(a.Status) + "\r\nContent-Type: " +
                  a.ContentType + "\r\n" + a.Extra + "Content-Length: " + std::to_string(a.Body.size()) +
                  "\r\nConnection: close\r\n\r\n" + a.Body);
}

}  // namespace kwinet::support
