// The SMTP unit: the values that the mail component publishes (mail
// addresses with their parsing and formatting rules, address lists,
// attachment descriptions and the login settings).
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
  // "Name <Address>", or Address alone when there is no name or the name is
  // the address in capitals.
  String Text() const { return GetText(); }
  // Parses "Name <Address>", "Address (Name)" or a bare address.
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

  // The Text of every address joined with ", ".
  String EMailAddresses() const { return GetEMailAddresses(); }
  String GetEMailAddresses() const;
  // Replaces the list with the addresses of a comma-separated text; a comma
  // inside the first quoted stretch of a piece does not split.
  void SetEMailAddresses(const String& value);
  // Appends the Text of every address as a line.
  void FillTStrings(TStrings& AStrings) const;

 private:
  TComponent* FKwIControl;
};

class TKwIEMailAttachment : public TCollectionItem {
 public:
  explicit TKwIEMailAttachment(TCollection* Collection);

  const String& AttachmentName() const { return FAttachmentName; }
  void SetAttachmentName(const String& value) { FAttachmentName = value; }
  const String& ContentType() const { return FContentType; }
  void SetContentType(const String& value) { FContentType = value; }
  const String& Encoding() const { return FEncoding; }
  void SetEncoding(const String& value) { FEncoding = value; }
  const String& FileName() const { return FFileName; }
  void SetFileName(const String& value) { FFileName = value; }

  // AttachmentName, or the file name without its folder.
  String GetAttachmentName() const;
  // ContentType := the content type known for FileName's extension.
  void DetectContentType();
  void Assign(TPersistent* Source) override;

 private:
  String FAttachmentName;
  String FContentType;
  String FEncoding;
  String FFileName;
};

class TKwIEMailAttachments : public TTypedCollection<TKwIEMailAttachment> {
 public:
  explicit TKwIEMailAttachments(TComponent* AOwner) : FKwIControl(AOwner) {}
  TPersistent* Owner() const override { return FKwIControl; }
  TComponent* KwIControl() const { return FKwIControl; }
  TKwIEMailAttachment* GetItem(int Index) const { return Items(Index); }
  void SetItem(int Index, TKwIEMailAttachment* Value) { Items(Index)->Assign(Value); }

 private:
  TComponent* FKwIControl;
};

class TKwILogin : public TPersistent {
 public:
  const String& UserID() const { return FUserID; }
  void SetUserID(const String& value) { FUserID = value; }
  const String& Password() const { return FPassword; }
  void SetPassword(const String& value) { FPassword = value; }
  bool UseLogin() const { return FUseLogin; }
  void SetUseLogin(bool value) { FUseLogin = value; }
  void Assign(TPersistent* Source) override;

 private:
  String FUserID;
  String FPassword;
  bool FUseLogin = false;
};

}  // namespace kwinet
