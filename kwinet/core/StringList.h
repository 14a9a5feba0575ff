/// @file
/// Lists of strings, with line splitting and key=value access.
#pragma once

#include <vector>

#include "kwinet/core/Classes.h"
#include "kwinet/core/Streams.h"

namespace kwinet {

class TStrings : public TPersistent {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  const String& Strings(int index) const;
  void SetStrings(int index, const String& value);
  const String& operator[](int index) const { return Strings(index); }
  TObject* Objects(int index) const;
  void SetObjects(int index, TObject* value);

  virtual int Add(const String& S);
  int AddObject(const String& S, TObject* AObject);
  virtual void Insert(int index, const String& S);
  void Delete(int index);
  void Clear();
  void AddStrings(const TStrings& other);
  virtual int IndexOf(const String& S) const;  ///< ASCII case-insensitive
  void Exchange(int a, int b);

  /// All lines, each followed by LineBreak (CR LF unless changed).
  String Text() const;
  /// Splits at CR LF, LF or CR; a final line end adds no empty line.
  void SetText(const String& value);
  const String& LineBreak() const { return FLineBreak; }
  void SetLineBreak(const String& value) { FLineBreak = value; }

  /// key=value lines.
  Char NameValueSeparator() const { return FNameValueSeparator; }
  void SetNameValueSeparator(Char c) { FNameValueSeparator = c; }
  String Names(int index) const;  ///< empty when the line has no separator
  String ValueFromIndex(int index) const;
  int IndexOfName(const String& Name) const;  ///< ASCII case-insensitive
  String Values(const String& Name) const;
  /// Sets the value of Name; an empty value deletes the line.
  void SetValues(const String& Name, const String& Value);

  /// Items separated by Delimiter, quoted with QuoteChar where needed.
  Char Delimiter() const { return FDelimiter; }
  void SetDelimiter(Char c) { FDelimiter = c; }
  String DelimitedText() const;
  void SetDelimitedText(const String& value);
  String CommaText() const;
  void SetCommaText(const String& value);

  void Assign(TPersistent* Source) override;
  bool Equals(const TStrings& other) const;

  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();

  void LoadFromStream(TStream& Stream, TTextEncoding Encoding = teUTF8);
  /// Reads a file; a byte-order mark, when present, overrides Encoding.
  void LoadFromFile(const String& FileName, TTextEncoding Encoding = teUTF8);
  void SaveToStream(TStream& Stream, TTextEncoding Encoding = teUTF8) const;
  void SaveToFile(const String& FileName, TTextEncoding Encoding = teUTF8) const;

  TNotifyEvent OnChange;

 protected:
  virtual void Changed();
  void CheckIndex(int index) const;

  struct TItem {
    String S;
    TObject* Object = nullptr;
  };
  std::vector<TItem> FItems;

 private:
  String FLineBreak = u"\r\n";
  Char FNameValueSeparator = u'=';
  Char FDelimiter = u',';
  Char FQuoteChar = u'"';
  int FUpdateCount = 0;
};

enum TDuplicates : std::uint8_t { dupIgnore, dupAccept, dupError };

class TStringList : public TStrings {
 public:
  bool Sorted() const { return FSorted; }
  void SetSorted(bool value);
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates value) { FDuplicates = value; }
  bool CaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool value) { FCaseSensitive = value; }

  int Add(const String& S) override;
  void Insert(int index, const String& S) override;
  int IndexOf(const String& S) const override;
  /// Binary search in a sorted list: true when found; Index is the position
  /// of S or where it would go.
  bool Find(const String& S, int& Index) const;
  void Sort();

 private:
  int CompareStrings(const String& a, const String& b) const;
  bool FSorted = false;
  TDuplicates FDuplicates = dupIgnore;
  bool FCaseSensitive = false;
};

}  // namespace kwinet
