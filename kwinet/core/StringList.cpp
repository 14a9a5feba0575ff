#include "kwinet/core/StringList.h"

#include <algorithm>

namespace kwinet {

void TStrings::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) throw EListError(u"List index out of bounds (%d)", {index});
}

const String& TStrings::Strings(int index) const {
  CheckIndex(index);
  return FItems[index].S;
}

void TStrings::SetStrings(int index, const String& value) {
  CheckIndex(index);
  FItems[index].S = value;
  Changed();
}

TObject* TStrings::Objects(int index) const {
  CheckIndex(index);
  return FItems[index].Object;
}

void TStrings::SetObjects(int index, TObject* value) {
  CheckIndex(index);
  FItems[index].Object = value;
}

int TStrings::Add(const String& S) {
  Insert(Count(), S);
  return Count() - 1;
}

int TStrings::AddObject(const String& S, TObject* AObject) {
  int i = Add(S);
  if (i >= 0 && i < Count()) FItems[i].Object = AObject;
  return i;
}

void TStrings::Insert(int index, const String& S) {
  if (index < 0 || index > Count()) throw EListError(u"List index out of bounds (%d)", {index});
  FItems.insert(FItems.begin() + index, TItem{S, nullptr});
  Changed();
}

void TStrings::Delete(int index) {
  CheckIndex(index);
  FItems.erase(FItems.begin() + index);
  Changed();
}

void TStrings::Clear() {
  if (FItems.empty()) return;
  FItems.clear();
  Changed();
}

void TStrings::AddStrings(const TStrings& other) {
  BeginUpdate();
  for (int i = 0; i < other.Count(); ++i) AddObject(other.FItems[i].S, other.FItems[i].Object);
  EndUpdate();
}

int TStrings::IndexOf(const String& S) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(FItems[i].S, S)) return i;
  return -1;
}

void TStrings::Exchange(int a, int b) {
  CheckIndex(a);
  CheckIndex(b);
  std::swap(FItems[a], FItems[b]);
  Changed();
}

String TStrings::Text() const {
  std::size_t n = 0;
  for (const auto& it : FItems) n += it.S.size() + FLineBreak.size();
  String out;
  out.reserve(n);
  for (const auto& it : FItems) {
    out += it.S;
    out += FLineBreak;
  }
  return out;
}

void TStrings::SetText(const String& value) {
  BeginUpdate();
  FItems.clear();
  std::size_t i = 0, start = 0;
  const std::size_t n = value.size();
  while (i < n) {
    Char c = value[i];
    if (c == u'\r' || c == u'\n') {
      FItems.push_back(TItem{value.substr(start, i - start), nullptr});
      if (c == u'\r' && i + 1 < n && value[i + 1] == u'\n') ++i;
      start = ++i;
    } else {
      ++i;
    }
  }
  if (start < n) FItems.push_back(TItem{value.substr(start), nullptr});
  Changed();
  EndUpdate();
}

String TStrings::Names(int index) const {
  const String& s = Strings(index);
  auto p = s.find(FNameValueSeparator);
  return p == String::npos ? String() : s.substr(0, p);
}

String TStrings::ValueFromIndex(int index) const {
  const String& s = Strings(index);
  auto p = s.find(FNameValueSeparator);
  return p == String::npos ? String() : s.substr(p + 1);
}

int TStrings::IndexOfName(const String& Name) const {
  for (int i = 0; i < Count(); ++i) {
    const String& s = FItems[i].S;
    auto p = s.find(FNameValueSeparator);
    if (p != String::npos && p == Name.size() && SameText(s.substr(0, p), Name)) return i;
  }
  return -1;
}

String TStrings::Values(const String& Name) const {
  int i = IndexOfName(Name);
  return i < 0 ? String() : ValueFromIndex(i);
}

void TStrings::SetValues(const String& Name, const String& Value) {
  int i = IndexOfName(Name);
  if (Value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  String line = Name + FNameValueSeparator + Value;
  if (i < 0) Add(line);
  else SetStrings(i, line);
}

String TStrings::DelimitedText() const {
  String out;
  for (int i = 0; i < Count(); ++i) {
    const String& s = FItems[i].S;
    bool quote = s.empty() && Count() == 1;
    for (Char c : s)
      if (c <= u' ' || c == FDelimiter || c == FQuoteChar) quote = true;
    if (i > 0) out.push_back(FDelimiter);
    if (!quote) {
      out += s;
      continue;
    }
    out.push_back(FQuoteChar);
    for (Char c : s) {
      if (c == FQuoteChar) out.push_back(c);
      out.push_back(c);
    }
    out.push_back(FQuoteChar);
  }
  return out;
}

void TStrings::SetDelimitedText(const String& value) {
  BeginUpdate();
  FItems.clear();
  std::size_t i = 0;
  const std::size_t n = value.size();
  auto skipBlanks = [&] {
    while (i < n && value[i] > 0 && value[i] <= u' ') ++i;
  };
  skipBlanks();
  while (i < n) {
    String item;
    if (value[i] == FQuoteChar) {
      ++i;
      while (i < n) {
        if (value[i] == FQuoteChar) {
          if (i + 1 < n && value[i + 1] == FQuoteChar) {
            item.push_back(FQuoteChar);
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item.push_back(value[i++]);
      }
    } else {
      while (i < n && value[i] > u' ' && value[i] != FDelimiter) item.push_back(value[i++]);
    }
    FItems.push_back(TItem{item, nullptr});
    skipBlanks();
    if (i < n && value[i] == FDelimiter) {
      ++i;
      skipBlanks();
      if (i >= n) FItems.push_back(TItem{});
    }
  }
  Changed();
  EndUpdate();
}

String TStrings::CommaText() const {
  TStrings copy;
  copy.FItems = FItems;
  return copy.DelimitedText();
}

void TStrings::SetCommaText(const String& value) {
  Char d = FDelimiter, q = FQuoteChar;
  FDelimiter = u',';
  FQuoteChar = u'"';
  SetDelimitedText(value);
  FDelimiter = d;
  FQuoteChar = q;
}

void TStrings::Assign(TPersistent* Source) {
  if (auto* src = dynamic_cast<TStrings*>(Source)) {
    if (src == this) return;
    BeginUpdate();
    FItems.clear();
    FNameValueSeparator = src->FNameValueSeparator;
    FDelimiter = src->FDelimiter;
    FQuoteChar = src->FQuoteChar;
    FLineBreak = src->FLineBreak;
    AddStrings(*src);
    Changed();
    EndUpdate();
    return;
  }
  TPersistent::Assign(Source);
}

bool TStrings::Equals(const TStrings& other) const {
  if (Count() != other.Count()) return false;
  for (int i = 0; i < Count(); ++i)
    if (FItems[i].S != other.FItems[i].S) return false;
  return true;
}

void TStrings::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) Changed();
}

void TStrings::Changed() {
  if (FUpdateCount == 0 && OnChange) OnChange(this);
}

void TStrings::LoadFromStream(TStream& Stream, TTextEncoding Encoding) {
  std::string bytes = Stream.ReadAll();
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    bytes.erase(0, 3);
    Encoding = teUTF8;
  } else if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0) {
    bytes.erase(0, 2);
    Encoding = teUnicode;
  }
  SetText(DecodeText(bytes, Encoding));
}

void TStrings::LoadFromFile(const String& FileName, TTextEncoding Encoding) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(f, Encoding);
}

void TStrings::SaveToStream(TStream& Stream, TTextEncoding Encoding) const {
  std::string bytes = EncodeText(Text(), Encoding);
  Stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

void TStrings::SaveToFile(const String& FileName, TTextEncoding Encoding) const {
  TFileStream f(FileName, fmCreate);
  SaveToStream(f, Encoding);
}

// --- TStringList ---------------------------------------------------------------

int TStringList::CompareStrings(const String& a, const String& b) const {
  if (FCaseSensitive) return a.compare(b);
  return CompareText(a, b);
}

bool TStringList::Find(const String& S, int& Index) const {
  int lo = 0, hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int c = CompareStrings(FItems[mid].S, S);
    if (c < 0) lo = mid + 1;
    else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        if (FDuplicates != dupAccept) lo = mid;
      }
    }
  }
  Index = lo;
  return found;
}

int TStringList::Add(const String& S) {
  if (!FSorted) return TStrings::Add(S);
  int index;
  if (Find(S, index)) {
    if (FDuplicates == dupIgnore) return index;
    if (FDuplicates == dupError) throw EListError(u"String list does not allow duplicates");
  }
  FItems.insert(FItems.begin() + index, TItem{S, nullptr});
  Changed();
  return index;
}

void TStringList::Insert(int index, const String& S) {
  if (FSorted) throw EListError(u"Operation not allowed on sorted list");
  TStrings::Insert(index, S);
}

int TStringList::IndexOf(const String& S) const {
  if (FSorted) {
    int index;
    return Find(S, index) ? index : -1;
  }
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(FItems[i].S, S) == 0) return i;
  return -1;
}

void TStringList::SetSorted(bool value) {
  if (value && !FSorted) {
    FSorted = true;
    Sort();
  }
  FSorted = value;
}

void TStringList::Sort() {
  std::stable_sort(FItems.begin(), FItems.end(),
                   [this](const TItem& a, const TItem& b) { return CompareStrings(a.S, b.S) < 0; });
  Changed();
}

}  // namespace kwinet
