/// @file
/// Lists of strings, with line splitting and key=value access.
#pragma once

#include <vector>

#include "kwinet/core/Classes.h"
#include "kwinet/core/Streams.h"

namespace kwinet {

/// A list of strings, each with an optional object, read and written as lines,
/// key=value pairs or delimited text. OnChange tells of every change.
class TStrings : public TPersistent {
 public:
  /// The number of strings.
  int Count() const { return static_cast<int>(FItems.size()); }
  ///@{
  /// The string at index (read or replaced); EListError out of range.
  const String& Strings(int index) const;
  void SetStrings(int index, const String& value);
  const String& operator[](int index) const { return Strings(index); }
  ///@}
  ///@{
  /// The object kept with the string at index (not owned); EListError out of
  /// range.
  TObject* Objects(int index) const;
  void SetObjects(int index, TObject* value);
  ///@}

  /// Appends S and returns its index.
  virtual int Add(const String& S);
  /// Add, with AObject kept beside the string.
  int AddObject(const String& S, TObject* AObject);
  /// Inserts S at index (0 to Count); EListError out of range.
  virtual void Insert(int index, const String& S);
  /// Removes the string at index; EListError out of range.
  void Delete(int index);
  /// Removes every string.
  void Clear();
  /// Appends other's strings with their objects, with a single change notice.
  void AddStrings(const TStrings& other);
  virtual int IndexOf(const String& S) const;  ///< ASCII case-insensitive
  /// Swaps the strings at a and b; EListError out of range.
  void Exchange(int a, int b);

  /// All lines, each followed by LineBreak (CR LF unless changed).
  String Text() const;
  /// Splits at CR LF, LF or CR; a final line end adds no empty line.
  void SetText(const String& value);
  ///@{
  /// What Text puts after each line (CR LF at first).
  const String& LineBreak() const { return FLineBreak; }
  void SetLineBreak(const String& value) { FLineBreak = value; }
  ///@}

  ///@{
  /// key=value lines.
  Char NameValueSeparator() const { return FNameValueSeparator; }
  void SetNameValueSeparator(Char c) { FNameValueSeparator = c; }
  ///@}
  String Names(int index) const;  ///< empty when the line has no separator
  /// What follows the separator in the line at index; empty when the line has
  /// none.
  String ValueFromIndex(int index) const;
  int IndexOfName(const String& Name) const;  ///< ASCII case-insensitive
  /// The value of the first line named Name, empty when none.
  String Values(const String& Name) const;
  /// Sets the value of Name; an empty value deletes the line.
  void SetValues(const String& Name, const String& Value);

  ///@{
  /// Items separated by Delimiter, quoted with QuoteChar where needed.
  Char Delimiter() const { return FDelimiter; }
  void SetDelimiter(Char c) { FDelimiter = c; }
  ///@}
  ///@{
  /// The list as one line of items separated by Delimiter; setting it replaces
  /// the list.
  String DelimitedText() const;
  void SetDelimitedText(const String& value);
  ///@}
  ///@{
  /// DelimitedText with "," as delimiter and double quotes, whatever Delimiter
  /// and QuoteChar say.
  String CommaText() const;
  void SetCommaText(const String& value);
  ///@}

  void Assign(TPersistent* Source) override;
  /// Whether both lists hold the same strings in the same order (objects
  /// aside).
  bool Equals(const TStrings& other) const;

  /// Holds OnChange back until the matching EndUpdate; calls nest.
  void BeginUpdate() { ++FUpdateCount; }
  /// Ends a BeginUpdate; the last one fires OnChange once.
  void EndUpdate();

  /// Replaces the list with the lines of the rest of Stream; a UTF-8 or
  /// UTF-16LE byte-order mark overrides Encoding.
  void LoadFromStream(TStream& Stream, TTextEncoding Encoding = teUTF8);
  /// Reads a file; a byte-order mark, when present, overrides Encoding.
  void LoadFromFile(const String& FileName, TTextEncoding Encoding = teUTF8);
  ///@{
  /// Writes Text in Encoding (no byte-order mark); SaveToFile creates or
  /// replaces the file.
  void SaveToStream(TStream& Stream, TTextEncoding Encoding = teUTF8) const;
  void SaveToFile(const String& FileName, TTextEncoding Encoding = teUTF8) const;
  ///@}

  /// Called after every change, unless an update is pending.
  TNotifyEvent OnChange;

 protected:
  /// Fires OnChange unless an update is pending.
  virtual void Changed();
  /// Raises EListError when index is out of range.
  void CheckIndex(int index) const;

  /// A string and its object.
  struct TItem {
    /// The string.
    String S;
    /// The object kept with it (not owned).
    TObject* Object = nullptr;
  };
  /// The strings, in order.
  std::vector<TItem> FItems;

 private:
  String FLineBreak = u"\r\n";
  Char FNameValueSeparator = u'=';
  Char FDelimiter = u',';
  Char FQuoteChar = u'"';
  int FUpdateCount = 0;
};

/// What Add does with a string a sorted list holds already: ignore it
/// (returning the existing index), add it again, or raise EListError.
enum TDuplicates : std::uint8_t { dupIgnore, dupAccept, dupError };
/// @var dupIgnore
/// The string is not added; Add returns the index of the one there.
/// @var dupAccept
/// The string is added again.
/// @var dupError
/// Add raises EListError.

/// A string list that can keep itself sorted.
class TStringList : public TStrings {
 public:
  ///@{
  /// Whether the list is kept sorted; Insert then raises EListError. Setting it
  /// sorts the list.
  bool Sorted() const { return FSorted; }
  void SetSorted(bool value);
  ///@}
  ///@{
  /// What Add does with a duplicate in a sorted list (dupIgnore at first).
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates value) { FDuplicates = value; }
  ///@}
  ///@{
  /// Whether sorting and searching tell case apart (false at first).
  bool CaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool value) { FCaseSensitive = value; }
  ///@}

  int Add(const String& S) override;
  void Insert(int index, const String& S) override;
  int IndexOf(const String& S) const override;
  /// Binary search in a sorted list: true when found; Index is the position
  /// of S or where it would go.
  bool Find(const String& S, int& Index) const;
  /// Sorts the list by CompareText, or by code unit with CaseSensitive.
  void Sort();

 private:
  int CompareStrings(const String& a, const String& b) const;
  bool FSorted = false;
  TDuplicates FDuplicates = dupIgnore;
  bool FCaseSensitive = false;
};

}  // namespace kwinet
