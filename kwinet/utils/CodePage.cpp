#include "kwinet/utils/CodePage.h"

#include <iconv.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <string>
#include <type_traits>

namespace kwinet {

namespace {

static_assert(std::is_pointer_v<iconv_t>, "the converter is kept as a plain pointer");

iconv_t Converter(void* Handle) {
  return static_cast<iconv_t>(Handle);
}

}  // namespace

TCodePageDecoder::TCodePageDecoder(const String& Declared) {
  int page = 0;
  if (!TryStrToInt(Declared.substr(8), page)) return;  // not a number: the ANSI page, which is identity
  std::string name;
  if (page == 65001)
    name = "UTF-8";
  else if (page >= 28591 && page <= 28605)
    name = "ISO-8859-" + std::to_string(page - 28590);
  else
    name = "CP" + std::to_string(page);
  if (page == 28591) return;  // the ANSI page itself
  Open(name.c_str());
}

std::unique_ptr<TCodePageDecoder> TCodePageDecoder::ForCharset(std::string_view Charset) {
  if (Charset.empty() || Charset.size() > 40) return nullptr;
  for (char c : Charset) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    std::strchr("-_.:()", c) != nullptr;
    if (!ok || c == '\0') return nullptr;
  }
  std::unique_ptr<TCodePageDecoder> decoder(new TCodePageDecoder());
  decoder->Open(std::string(Charset).c_str());
  if (!decoder->Valid()) return nullptr;
  return decoder;
}

void TCodePageDecoder::Open(const char* Name) {
  const iconv_t handle = iconv_open(std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE", Name);
  if (handle != reinterpret_cast<iconv_t>(-1)) FHandle = handle;
}

TCodePageDecoder::~TCodePageDecoder() {
  if (FHandle) iconv_close(Converter(FHandle));
}

String TCodePageDecoder::Decode(const char* Bytes, std::size_t Count) {
  const iconv_t cd = Converter(FHandle);
  String out(Count * 2 + 2, u'\0');
  char* in = const_cast<char*>(Bytes);
  std::size_t inLeft = Count;
  char* dst = reinterpret_cast<char*>(out.data());
  std::size_t outLeft = out.size() * sizeof(Char);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  while (inLeft > 0) {
    if (iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG || outLeft < sizeof(Char)) break;  // cannot happen: two units a byte at most
    // A byte the code page does not define keeps its place as U+FFFD.
    const Char bad = u'\uFFFD';
    std::memcpy(dst, &bad, sizeof bad);
    dst += sizeof bad;
    outLeft -= sizeof bad;
    ++in;
    --inLeft;
  }
  iconv(cd, nullptr, nullptr, &dst, &outLeft);  // a character a combining page still holds
  out.resize((dst - reinterpret_cast<char*>(out.data())) / sizeof(Char));
  return out;
}

}  // namespace kwinet
