/// @file
/// Mail addresses: one address with its display name, parsed from and shown
/// as "Name <Address>", and the comma-separated lists of them.
#pragma once

#include "kwinet/core/Classes.h"
#include "kwinet/core/StringList.h"

namespace kwinet {

class TKwIEMailAddress : public TCollectionItem {
 public:
  explicit TKwIEMailAddress(TCollection* Collection);

  const String& Address() const { return FAddress; }
  void SetAddress(const String& value) { FAddress = value; }
  const String& Name() const { return FName; }
  void SetName(const String& value) { FName = value; }
  /// "Name <Address>", or Address alone when there is no name or the name is
  /// the address in capitals.
  String Text() const { return GetText(); }
  /// Parses "Name <Address>", "Address (Name)" or a bare address.
  void SetText(const String& value);
  String GetText() const;

  void Assign(TPersistent* Source) override;

 private:
  String FAddress;
  String FName;
};

class TKwIEMailAddresses : public TTypedCollection<TKwIEMailAddress> {
 public:
  explicit TKwIEMailAddresses(TComponent* AOwner) : FKwIControl(AOwner) {}

  TPersistent* Owner() const override { return FKwIControl; }
  TComponent* KwIControl() const { return FKwIControl; }
  TKwIEMailAddress* GetItem(int Index) const { return Items(Index); }
  void SetItem(int Index, TKwIEMailAddress* Value) { Items(Index)->Assign(Value); }

  /// The Text of every address joined with ", ".
  String EMailAddresses() const { return GetEMailAddresses(); }
  String GetEMailAddresses() const;
  /// Replaces the list with the addresses of a comma-separated text; a comma
  /// inside the first quoted stretch of a piece does not split.
  void SetEMailAddresses(const String& value);
  /// Appends the Text of every address as a line.
  void FillTStrings(TStrings& AStrings) const;

 private:
  TComponent* FKwIControl;
};

}  // namespace kwinet
