/// @file
/// Images compiled into the library from the resources/ folder.
#pragma once

#include <cstddef>
#include <string_view>

namespace kwinet {

/// One image compiled into the library.
struct TResourceEntry {
  const char* Name;            ///< Its file name, e.g. "key.png".
  const unsigned char* Data;   ///< Its bytes.
  std::size_t Size;            ///< How many bytes.
};

/// The table written at build time, ended by an entry whose Name is null.
extern const TResourceEntry kResourceTable[];

/// The bytes of the resource with this file name (e.g. "key.png"); empty when
/// there is none.
std::string_view FindResource(std::string_view name);

}  // namespace kwinet
