#include "kwinet/socket/KwIMailAddress.h"

#include "kwinet/core/String.h"

namespace kwinet {

// --- TKwIEMailAddress ---------------------------------------------------------

TKwIEMailAddress::TKwIEMailAddress(TCollection* Collection) : TCollectionItem(Collection) {}

String TKwIEMailAddress::GetText() const {
  if (FName.empty() || FName == UpperCase(FAddress)) return FAddress;
  return FName + u" <" + FAddress + u">";
}

void TKwIEMailAddress::SetText(const String& value) {
  FAddress.clear();
  FName.clear();
  if (!value.empty() && value.back() == u'>') {
    auto p = value.find(u'<');
    if (p != String::npos) {
      FAddress = Trim(value.substr(p + 1, value.size() - 1 - (p + 1)));
      FName = Trim(value.substr(0, p));
    }
  } else if (!value.empty() && value.back() == u')') {
    auto p = value.find(u'(');
    if (p != String::npos) {
      FName = Trim(value.substr(p + 1, value.size() - 1 - (p + 1)));
      FAddress = Trim(value.substr(0, p));
    }
  } else {
    FAddress = value;
  }
  // Quotes around the name go, pair by pair and of either kind.
  while (FName.size() > 1 &&
         ((FName.front() == u'"' && FName.back() == u'"') || (FName.front() == u'\'' && FName.back() == u'\'')))
    FName = FName.substr(1, FName.size() - 2);
}

void TKwIEMailAddress::Assign(TPersistent* Source) {
  if (auto* s = dynamic_cast<TKwIEMailAddress*>(Source)) {
    FAddress = s->FAddress;
    FName = s->FName;
    return;
  }
  TCollectionItem::Assign(Source);
}

// --- TKwIEMailAddresses -------------------------------------------------------

String TKwIEMailAddresses::GetEMailAddresses() const {
  String out;
  for (int i = 0; i < Count(); ++i) {
    if (i > 0) out += u", ";
    out += Items(i)->Text();
  }
  return out;
}

void TKwIEMailAddresses::SetEMailAddresses(const String& value) {
  BeginUpdate();
  try {
    Clear();
    std::size_t start = 0;
    int quotes = 0;
    auto addPiece = [&](std::size_t end) {
      String piece = Trim(value.substr(start, end - start));
      if (!piece.empty()) Add()->SetText(piece);
    };
    for (std::size_t i = 0; i < value.size(); ++i) {
      if (value[i] == u'"')
        ++quotes;
      else if (value[i] == u',' && quotes != 1) {
        addPiece(i);
        start = i + 1;
        quotes = 0;
      }
    }
    addPiece(value.size());
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TKwIEMailAddresses::FillTStrings(TStrings& AStrings) const {
  for (int i = 0; i < Count(); ++i) AStrings.Add(Items(i)->Text());
}

}  // namespace kwinet
