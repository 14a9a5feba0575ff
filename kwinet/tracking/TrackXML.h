/// @file
/// The XML side of the carriers' exchanges: values made safe for a request
/// body, and an answer read into the XML engine.
#pragma once

#include "kwinet/core/String.h"
#include "kwinet/xml/KwInetXML.h"

namespace kwinet {

class TKwInetActivityAddress;

/// Text made safe to stand inside an XML element or a quoted attribute:
/// & < > " ' become entity references.
String KwXMLEscape(const String& S);

/// Parses an answer held one character per byte into Engine. Bytes that are
/// valid UTF-8 (XML's default, and what the carriers send) are decoded
/// first, and the engine is told so; other bytes are parsed as they are.
void LoadTrackResponse(TKwXMLEngine& Engine, const String& Response);

/// The value of the first node named Tag (case ignored) in the subtree of
/// Root, or the empty string when there is none.
String TagValueUnder(TKwXMLEngine& Engine, TKwXMLItem* Root, const String& Tag);

/// Fills Address from a carrier's address element Node (nothing when Node is
/// null): the three lines, the city and the postal code under the names both
/// carriers use, the state and the country under the carrier's own.
void FillTrackAddress(TKwXMLEngine& Engine, TKwXMLItem* Node, TKwInetActivityAddress& Address, const String& StateTag,
                      const String& CountryTag);

}  // namespace kwinet
