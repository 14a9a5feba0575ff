/// @file
/// Mail addresses: one address with its display name, parsed from and shown
/// as "Name <Address>", and the comma-separated lists of them.
#pragma once

#include "kwinet/core/Classes.h"
#include "kwinet/core/StringList.h"

namespace kwinet {

/// A mail address and the name that goes with it.
class TKwIEMailAddress : public TCollectionItem {
 public:
  /// An empty address, added to Collection when given.
  explicit TKwIEMailAddress(TCollection* Collection);

  ///@{
  /// The address itself, "user@host".
  const String& Address() const { return FAddress; }
  void SetAddress(const String& value) { FAddress = value; }
  ///@}
  ///@{
  /// The display name.
  const String& Name() const { return FName; }
  void SetName(const String& value) { FName = value; }
  ///@}
  ///@{
  /// "Name <Address>", or Address alone when there is no name or the name is
  /// the address in capitals.
  String Text() const { return GetText(); }
  /// Parses "Name <Address>", "Address (Name)" or a bare address.
  void SetText(const String& value);
  String GetText() const;
  ///@}

  void Assign(TPersistent* Source) override;

 private:
  String FAddress;
  String FName;
};

/// A list of mail addresses belonging to a component.
class TKwIEMailAddresses : public TTypedCollection<TKwIEMailAddress> {
 public:
  /// An empty list that belongs to AOwner.
  explicit TKwIEMailAddresses(TComponent* AOwner) : FKwIControl(AOwner) {}

  TPersistent* Owner() const override { return FKwIControl; }
  /// The component the list belongs to.
  TComponent* KwIControl() const { return FKwIControl; }
  ///@{
  /// The address at Index; SetItem copies Value into it. EListError out of
  /// range.
  TKwIEMailAddress* GetItem(int Index) const { return Items(Index); }
  void SetItem(int Index, TKwIEMailAddress* Value) { Items(Index)->Assign(Value); }
  ///@}

  ///@{
  /// The Text of every address joined with ", ".
  String EMailAddresses() const { return GetEMailAddresses(); }
  String GetEMailAddresses() const;
  ///@}
  /// Replaces the list with the addresses of a comma-separated text; a comma
  /// inside the first quoted stretch of a piece does not split.
  void SetEMailAddresses(const String& value);
  /// Appends the Text of every address as a line.
  void FillTStrings(TStrings& AStrings) const;

 private:
  TComponent* FKwIControl;
};

}  // namespace kwinet
