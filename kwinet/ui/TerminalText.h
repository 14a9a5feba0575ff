/// @file
/// Text from a server or a file on one line of a terminal.
#pragma once

#include <string>

#include "kwinet/core/String.h"

namespace kwinet {

/// Value as UTF-8 that a terminal shows as it stands and that stays on one
/// line: line breaks, tabs and every other control character (C0, DEL and
/// C1: an escape sequence must not reach the terminal) are written as "\n",
/// "\r", "\t" or "\xHH", and a backslash as "\\", so what is written can be
/// read back without doubt.
std::string TerminalLine(const String& Value);

}  // namespace kwinet
