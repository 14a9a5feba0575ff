/// @file
/// Decoding of the entities that the services' XML answers use.
#pragma once

#include "kwinet/core/String.h"

namespace kwinet {

/// Entity decoding as a node's GetTagValue does it, on any text: a fixed
/// table of named and numeric entities (with or without their ";"), applied
/// one entity after another, so "&amp;lt;" ends as "<".
String DecodeXMLEntities(const String& S);

}  // namespace kwinet
