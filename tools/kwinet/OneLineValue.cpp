// Text from a server shown on a terminal, one value a line.
#include "Tool.h"
#include "kwinet/ui/TerminalText.h"

namespace kwinet::tool {

std::string OneLineValue(const String& value) {
  return TerminalLine(value);
}

}  // namespace kwinet::tool
