#include "kwinet/core/Resources.h"

namespace kwinet {

std::string_view FindResource(std::string_view name) {
  for (const TResourceEntry* e = kResourceTable; e->Name; ++e)
    if (name == e->Name) return std::string_view(reinterpret_cast<const char*>(e->Data), e->Size);
  return {};
}

}  // namespace kwinet
