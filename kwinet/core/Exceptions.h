/// @file
/// The framework's exception classes. Components raise Exception or one of its
/// descendants; callers that catch Exception see every failure the library
/// reports on purpose, while other C++ exceptions pass through untouched.
#pragma once

#include <exception>
#include <string>

#include "kwinet/core/String.h"

namespace kwinet {

/// The base of the library's exceptions: a message, also as UTF-8 for what().
class Exception : public std::exception {
 public:
  /// An exception with this message.
  explicit Exception(String message);
  /// An exception whose message is Format(fmt, args).
  Exception(const String& fmt, std::initializer_list<FormatArg> args);
  ~Exception() override = default;

  ///@{
  /// The message.
  const String& Message() const { return FMessage; }
  void SetMessage(const String& message);
  ///@}
  /// The message as UTF-8, for std::exception users.
  const char* what() const noexcept override { return FUtf8.c_str(); }

 private:
  String FMessage;
  std::string FUtf8;
};

/// Declares exception class Name, derived from Base with Base's constructors.
#define KWINET_DECLARE_EXCEPTION(Name, Base) \
  class Name : public Base {                 \
   public:                                   \
    using Base::Base;                        \
  };

/// A text that is not a value of the type asked for, or a value that cannot be
/// converted.
KWINET_DECLARE_EXCEPTION(EConvertError, Exception)
/// A value outside its range.
KWINET_DECLARE_EXCEPTION(ERangeError, Exception)
/// An index outside a list, or an operation a list does not allow.
KWINET_DECLARE_EXCEPTION(EListError, Exception)
/// An operation the object's state does not allow.
KWINET_DECLARE_EXCEPTION(EInvalidOperation, Exception)
/// A stream failure.
KWINET_DECLARE_EXCEPTION(EStreamError, Exception)
/// A file stream failure, naming the file.
KWINET_DECLARE_EXCEPTION(EFileStreamError, EStreamError)
/// A file that could not be opened.
KWINET_DECLARE_EXCEPTION(EFOpenError, EFileStreamError)
/// A file that could not be created.
KWINET_DECLARE_EXCEPTION(EFCreateError, EFileStreamError)
/// A stream that gave fewer bytes than asked for.
KWINET_DECLARE_EXCEPTION(EReadError, EStreamError)
/// A stream that took fewer bytes than given.
KWINET_DECLARE_EXCEPTION(EWriteError, EStreamError)
/// A failed input or output operation of the system.
KWINET_DECLARE_EXCEPTION(EInOutError, Exception)
/// A network failure: resolving, connecting, sending or receiving.
KWINET_DECLARE_EXCEPTION(ESocketError, Exception)

#undef KWINET_DECLARE_EXCEPTION

/// The text of a system error code (errno), as strerror gives it.
String SysErrorMessage(int code);

///@{
/// Thread-local last error code of the platform layer. Operations that fail
/// with a system error record it here before they raise or return failure.
int GetLastError();
void SetLastError(int code);
///@}

}  // namespace kwinet
