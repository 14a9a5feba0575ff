/// @file
/// The framework's exception classes. Components raise Exception or one of its
/// descendants; callers that catch Exception see every failure the library
/// reports on purpose, while other C++ exceptions pass through untouched.
#pragma once

#include <exception>
#include <string>

#include "kwinet/core/String.h"

namespace kwinet {

class Exception : public std::exception {
 public:
  explicit Exception(String message);
  Exception(const String& fmt, std::initializer_list<FormatArg> args);
  ~Exception() override = default;

  const String& Message() const { return FMessage; }
  void SetMessage(const String& message);
  /// The message as UTF-8, for std::exception users.
  const char* what() const noexcept override { return FUtf8.c_str(); }

 private:
  String FMessage;
  std::string FUtf8;
};

#define KWINET_DECLARE_EXCEPTION(Name, Base) \
  class Name : public Base {                 \
   public:                                   \
    using Base::Base;                        \
  };

KWINET_DECLARE_EXCEPTION(EConvertError, Exception)
KWINET_DECLARE_EXCEPTION(ERangeError, Exception)
KWINET_DECLARE_EXCEPTION(EListError, Exception)
KWINET_DECLARE_EXCEPTION(EInvalidOperation, Exception)
KWINET_DECLARE_EXCEPTION(EStreamError, Exception)
KWINET_DECLARE_EXCEPTION(EFileStreamError, EStreamError)
KWINET_DECLARE_EXCEPTION(EFOpenError, EFileStreamError)
KWINET_DECLARE_EXCEPTION(EFCreateError, EFileStreamError)
KWINET_DECLARE_EXCEPTION(EReadError, EStreamError)
KWINET_DECLARE_EXCEPTION(EWriteError, EStreamError)
KWINET_DECLARE_EXCEPTION(EInOutError, Exception)
KWINET_DECLARE_EXCEPTION(ESocketError, Exception)

#undef KWINET_DECLARE_EXCEPTION

/// The text of a system error code (errno), as strerror gives it.
String SysErrorMessage(int code);

/// Thread-local last error code of the platform layer. Operations that fail
/// with a system error record it here before they raise or return failure.
int GetLastError();
void SetLastError(int code);

}  // namespace kwinet
