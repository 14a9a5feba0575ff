#include "kwinet/utils/kwiutil.h"

#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "kwinet/core/Exceptions.h"
#include "kwinet/core/Streams.h"

namespace kwinet {

// --- UTF-8 ----------------------------------------------------------------------

String Utf8Decode(const UTF8String& S) {
  String out;
  out.reserve(S.size());
  const std::size_t n = S.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned lead = S[i];
    if ((lead & 0x80) == 0) {
      out.push_back(static_cast<Char>(lead));
      ++i;
      continue;
    }
    if (i + 1 >= n) return String();
    unsigned value;
    if (lead & 0x20) {
      // Three-byte lead (0xA0-0xBF and 0xE0-0xFF alike).
      const unsigned mid = S[i + 1];
      if ((mid & 0xC0) != 0x80 || i + 2 >= n) return String();
      const unsigned last = S[i + 2];
      if ((last & 0xC0) != 0x80) return String();
      value = (((lead & 0x3F) << 12) | ((mid & 0x3F) << 6) | (last & 0x3F)) & 0xFFFF;
      i += 3;
    } else {
      const unsigned last = S[i + 1];
      if ((last & 0xC0) != 0x80) return String();
      value = ((lead & 0x3F) << 6) | (last & 0x3F);
      i += 2;
    }
    out.push_back(static_cast<Char>(value));
  }
  return out;
}

// --- Base64 ---------------------------------------------------------------------

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two output characters for every 12-bit value: one table look-up serves
// half of a three-byte group.
struct PairTable {
  std::array<char, 4096 * 2> pairs{};
  constexpr PairTable() {
    for (int v = 0; v < 4096; ++v) {
      pairs[2 * v] = kAlphabet[v >> 6];
      pairs[2 * v + 1] = kAlphabet[v & 63];
    }
  }
};
constexpr PairTable kPairs;

}  // namespace

std::size_t Base64Length(std::size_t size) {
  return (size + 2) / 3 * 4;
}

void Encode64Bytes(const unsigned char* in, std::size_t size, char* out) {
  const char* pairs = kPairs.pairs.data();
  std::size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    const unsigned group = (unsigned(in[i]) << 16) | (unsigned(in[i + 1]) << 8) | in[i + 2];
    std::memcpy(out, pairs + 2 * (group >> 12), 2);
    std::memcpy(out + 2, pairs + 2 * (group & 0xFFF), 2);
    out += 4;
  }
  const std::size_t rest = size - i;
  if (rest == 1) {
    const unsigned b1 = in[i];
    out[0] = kAlphabet[b1 >> 2];
    out[1] = kAlphabet[(b1 & 3) << 4];
    out[2] = '=';
    out[3] = '=';
  } else if (rest == 2) {
    const unsigned b1 = in[i], b2 = in[i + 1];
    out[0] = kAlphabet[b1 >> 2];
    out[1] = kAlphabet[((b1 & 3) << 4) | (b2 >> 4)];
    out[2] = kAlphabet[(b2 & 15) << 2];
    out[3] = '=';
  }
}

String Encode64(const String& S) {
  String out(Base64Length(S.size()), u'\0');
  const char* pairs = kPairs.pairs.data();
  const Char* in = S.data();
  Char* o = out.data();
  const std::size_t whole = S.size() / 3 * 3;
  for (std::size_t i = 0; i < whole; i += 3, o += 4) {
    const unsigned b1 = in[i], b2 = in[i + 1], b3 = in[i + 2];
    if ((b1 | b2 | b3) > 255) throw ERangeError(u"Range check error");
    const unsigned group = (b1 << 16) | (b2 << 8) | b3;
    const char* hi = pairs + 2 * (group >> 12);
    const char* lo = pairs + 2 * (group & 0xFFF);
    o[0] = static_cast<unsigned char>(hi[0]);
    o[1] = static_cast<unsigned char>(hi[1]);
    o[2] = static_cast<unsigned char>(lo[0]);
    o[3] = static_cast<unsigned char>(lo[1]);
  }
  const std::size_t rest = S.size() - whole;
  if (rest > 0) {
    unsigned char tail[2] = {0, 0};
    for (std::size_t k = 0; k < rest; ++k) {
      if (in[whole + k] > 255) throw ERangeError(u"Range check error");
      tail[k] = static_cast<unsigned char>(in[whole + k]);
    }
    char chars[4];
    Encode64Bytes(tail, rest, chars);
    for (int k = 0; k < 4; ++k) o[k] = static_cast<unsigned char>(chars[k]);
  }
  return out;
}

// --- URL encoding -----------------------------------------------------------------

namespace {

bool Unreserved(Char c) {
  if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')) return true;
  switch (c) {
    case u'!':
    case u'$':
    case u'\'':
    case u'(':
    case u')':
    case u'*':
    case u'-':
    case u'.':
    case u'@':
    case u'_':
      return true;
    default:
      return false;
  }
}

int HexValue(Char c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// The input up to its end or its first character with code 0.
std::size_t EffectiveLength(const String& S) {
  auto p = S.find(u'\0');
  return p == String::npos ? S.size() : p;
}

}  // namespace

String KwInetHTTPEncode(const String& S) {
  const std::size_t n = EffectiveLength(S);
  String out;
  out.reserve(n * 3);
  for (std::size_t i = 0; i < n; ++i) {
    const Char c = S[i];
    if (Unreserved(c))
      out.push_back(c);
    else if (c == u' ')
      out.push_back(u'+');
    else
      out += (u"%" + IntToHex(c, 2)).substr(0, 3);
  }
  return out;
}

std::string PercentEncode(std::string_view Bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(Bytes.size() * 3);
  for (const unsigned char c : Bytes) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

String KwInetHTTPDecode(const String& S) {
  const std::size_t n = EffectiveLength(S);
  String out;
  out.reserve(n);
  std::size_t i = 0;
  while (i < n) {
    const Char c = S[i];
    if (c == u'+') {
      out.push_back(u' ');
      ++i;
    } else if (c != u'%') {
      out.push_back(c);
      ++i;
    } else if (i + 1 < n && S[i + 1] == u'%') {
      out.push_back(u'%');
      i += 2;
    } else if (i + 1 < n && (S[i + 1] == u'd' || S[i + 1] == u's')) {
      out.push_back(u'%');
      ++i;
    } else if (i + 2 < n) {
      const int hi = HexValue(S[i + 1]), lo = HexValue(S[i + 2]);
      if (hi < 0 || lo < 0)
        throw Exception(u"Invalid URL encoded character (%s) at position %d", {S.substr(i, 3), i + 1});
      out.push_back(static_cast<Char>(hi * 16 + lo));
      i += 3;
    } else {
      throw Exception(u"Error decoding URL style (%%XX) encoded string at position %d", {i + 1});
    }
  }
  return out;
}

// --- HTML entities -----------------------------------------------------------------

namespace {

struct Entity {
  const char16_t* name;  // without the closing semicolon
  const char16_t* replacement;
};

constexpr Entity kEntities[] = {
    {u"&brvbar", u"|"}, {u"&deg", u"\u00B0"}, {u"&plusmn", u"+"}, {u"&para", u"\u00A6"},
    {u"&amp", u"&"},    {u"&lt", u"<"},       {u"&gt", u">"},     {u"&copy", u"c"},
    {u"&quot", u"\""},  {u"&apos", u"'"},     {u"&trade", u"T"},  {u"&nbsp", u""},
};
constexpr std::size_t kLongestEntity = 7;  // "&brvbar", "&plusmn"

const char16_t* LookUpEntity(const Char* text, std::size_t len) {
  if (len > kLongestEntity) return nullptr;
  const std::u16string_view e(text, len);
  for (const Entity& entity : kEntities)
    if (e == entity.name) return entity.replacement;
  return nullptr;
}

}  // namespace

void ReplaceHTMLChars(String& S) {
  // Each pass of the replacement works on the first "&" of the text, so the
  // text before it is final. One walk from left to right gives the same
  // result in linear time; a replacement that is itself "&" stays pending in
  // front of the rest, as it would be examined again.
  String out;
  out.reserve(S.size());
  const std::size_t n = S.size();
  std::size_t i = 0;
  bool ampPending = false;  // an "&" from a replacement stands before S[i]
  for (;;) {
    if (!ampPending) {
      const std::size_t amp = S.find(u'&', i);
      if (amp == String::npos) {
        out.append(S, i, String::npos);
        break;
      }
      out.append(S, i, amp - i);
      i = amp + 1;
    }
    // The entity runs from the "&" up to the next ";" or the end.
    const std::size_t semi = S.find(u';', i);
    const std::size_t end = semi == String::npos ? n : semi;
    String name = u"&" + S.substr(i, std::min(end - i, kLongestEntity));
    const char16_t* replacement = end - i < kLongestEntity ? LookUpEntity(name.data(), name.size()) : nullptr;
    if (!replacement) {
      out.push_back(u'&');
      out.append(S, i, String::npos);
      break;
    }
    i = semi == String::npos ? n : semi + 1;
    ampPending = replacement[0] == u'&';
    if (!ampPending) out += replacement;
  }
  S = std::move(out);
}

// --- columns and reversal ---------------------------------------------------------

String GetColumn(const String& S, int Index, Char Delimiter) {
  if (S == u"\t") return String();
  String out;
  int column = 0;
  for (Char c : S) {
    if (c == Delimiter) {
      if (++column > Index) break;
    } else if (column == Index) {
      out.push_back(c);
    }
  }
  return out;
}

String Reverse(const String& S) {
  return String(S.rbegin(), S.rend());
}

// --- platform helpers ---------------------------------------------------------

namespace {

String HomeDir() {
  if (const char* h = std::getenv("HOME"); h && *h) return Utf8ToString(h);
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return Utf8ToString(pw->pw_dir);
  return String();
}

// The type of Ext (without its dot) in one mime.types file, or empty.
String LookUpMimeTypes(const String& FileName, const std::string& ext) {
  std::ifstream in(FileNameToPath(FileName));
  std::string line;
  while (std::getline(in, line)) {
    if (auto hash = line.find('#'); hash != std::string::npos) line.resize(hash);
    std::istringstream words(line);
    std::string type, word;
    if (!(words >> type)) continue;
    while (words >> word) {
      if (word.size() == ext.size() && std::equal(word.begin(), word.end(), ext.begin(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
          }))
        return Utf8ToString(type);
    }
  }
  return String();
}

// A text safe inside single quotes of a shell script.
std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

}  // namespace

String ContentTypeByFile(const String& FileName) {
  const String home = HomeDir();
  std::vector<String> files;
  if (!home.empty()) files.push_back(home + u"/.mime.types");
  files.push_back(u"/etc/mime.types");
  return ContentTypeByFile(FileName, files);
}

String ContentTypeByFile(const String& FileName, const std::vector<String>& TypesFiles) {
  const String fallback = u"application/octet-stream";
  if (FileName.empty()) return fallback;
  const String ext = ExtractFileExt(FileName);
  if (ext.size() < 2) return fallback;
  const std::string key = StringToUtf8(ext.substr(1));
  for (const String& file : TypesFiles) {
    String type = LookUpMimeTypes(file, key);
    if (!type.empty()) return type;
  }
  return fallback;
}

void DeleteFileAfterProcess(const String& FileName, const String& ScriptName, int ProcessId) {
  const std::string file = FileNameToPath(FileName);
  const std::string script = FileNameToPath(ScriptName);
  // Unlike Windows, a running executable can be deleted at once, so the
  // script waits for the process itself rather than for the delete to work.
  std::string text = "#!/bin/sh\n";
  text += "while kill -0 " + std::to_string(ProcessId) + " 2>/dev/null; do sleep 0.5; done\n";
  text += "rm -f -- " + ShellQuote(file) + "\n";
  text += "rm -f -- " + ShellQuote(script) + "\n";

  int fd = ::open(script.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0700);
  if (fd < 0) throw EFCreateError(u"Cannot create file \"%s\". %s", {ScriptName, SysErrorMessage(errno)});
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int e = errno;
      ::close(fd);
      throw EFCreateError(u"Cannot create file \"%s\". %s", {ScriptName, SysErrorMessage(e)});
    }
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);

  // A short-lived shell puts the script in the background, so that it
  // belongs to init and never stays a zombie of this process.
  posix_spawnattr_t attr;
  posix_spawn_file_actions_t actions;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
  posix_spawn_file_actions_init(&actions);
  for (int target = 0; target <= 2; ++target)
    posix_spawn_file_actions_addopen(&actions, target, "/dev/null", target == 0 ? O_RDONLY : O_WRONLY, 0);
  std::string launcher = "/bin/sh \"$0\" &";
  char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), launcher.data(), const_cast<char*>(script.c_str()),
                  nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, "/bin/sh", &actions, &attr, argv, environ) == 0) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
}

void DeleteExe() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return;
  const String exe = Utf8ToString(std::string_view(buf, static_cast<std::size_t>(n)));
  DeleteFileAfterProcess(exe, ChangeFileExt(exe, u".sh"), static_cast<int>(::getpid()));
}

}  // namespace kwinet
