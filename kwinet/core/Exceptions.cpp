#include "kwinet/core/Exceptions.h"

#include <cstring>

namespace kwinet {

Exception::Exception(String message) : FMessage(std::move(message)), FUtf8(StringToUtf8(FMessage)) {}

Exception::Exception(const String& fmt, std::initializer_list<FormatArg> args)
    : Exception(Format(fmt, args)) {}

void Exception::SetMessage(const String& message) {
  FMessage = message;
  FUtf8 = StringToUtf8(message);
}

String SysErrorMessage(int code) {
  char buf[256];
  // GNU strerror_r returns the text, which may not be in buf.
  const char* text = strerror_r(code, buf, sizeof buf);
  return Utf8ToString(text);
}

namespace {
thread_local int lastError = 0;
}

int GetLastError() { return lastError; }
void SetLastError(int code) { lastError = code; }

}  // namespace kwinet
