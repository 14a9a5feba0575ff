// The socket family in the class registry: the proxy record, the socket
// client base and every client built on it, with the mail values the SMTP
// client keeps. Properties are declared in each class's published order,
// which is also the order a stored form assigns them in.
#include <mutex>

#include "kwinet/design/KwInetClasses.h"
#include "kwinet/socket/KwIDNS.h"
#include "kwinet/socket/KwIHTTP.h"
#include "kwinet/socket/KwISMTP.h"
#include "kwinet/socket/KwISNTP.h"
#include "kwinet/socket/KwITime.h"
#include "kwinet/socket/KwIWeath.h"
#include "kwinet/socket/KwInBase.h"
#include "kwinet/socket/KwWhoIs.h"
#include "kwinet/storage/TypInfo.h"
#include "kwinet/utils/KwInProxy.h"

namespace kwinet {

namespace {

void RegisterProxy() {
  TClassBuilder<TKwInetProxy>(u"TKwInetProxy", u"TPersistent")
      .Str(u"Server", &TKwInetProxy::Server, &TKwInetProxy::SetServer)
      .Str(u"User", &TKwInetProxy::User, &TKwInetProxy::SetUser)
      .Str(u"Password", &TKwInetProxy::Password, &TKwInetProxy::SetPassword)
      .Bool(u"UseProxy", &TKwInetProxy::UseProxy, &TKwInetProxy::SetUseProxy)
      .Int(u"Port", &TKwInetProxy::Port, &TKwInetProxy::SetPort);
}

void RegisterInetBase() {
  TClassBuilder<TKwInetBase> b(u"TKwInetBase", u"TComponent");
  // The base has no protocol of its own: a form holds one of its clients.
  b.Info().SetComponentFactory(nullptr);
  // About is the designer's handle on the information box; its value is
  // always empty, so it is never written.
  b.Str(u"About", &TKwInetBase::About, &TKwInetBase::SetAbout)
      .Int(u"Port", &TKwInetBase::Port, &TKwInetBase::SetPort)
      .Str(u"Host", &TKwInetBase::Host, &TKwInetBase::SetHost)
      .Str(u"Address", &TKwInetBase::Address, &TKwInetBase::SetAddress)
      .Bool(u"KeepConnection", &TKwInetBase::KeepConnection, &TKwInetBase::SetKeepConnection)
      .Object(u"Proxy", u"TKwInetProxy", &TKwInetBase::Proxy)
      .Bool(u"LoginPrompt", &TKwInetBase::LoginPrompt, &TKwInetBase::SetLoginPrompt)
      .Int(u"Timeout", &TKwInetBase::Timeout, &TKwInetBase::SetTimeout)
      .Int(u"MaxReplySize", &TKwInetBase::MaxReplySize, &TKwInetBase::SetMaxReplySize, u"Int64")
      .Event(u"OnConnect", u"TSocketNotifyEvent")
      .Event(u"OnDisconnect", u"TSocketNotifyEvent")
      .Event(u"OnError", u"TSocketErrorEvent")
      .Event(u"OnLookup", u"TSocketNotifyEvent")
      .Event(u"OnConnecting", u"TSocketNotifyEvent")
      .Event(u"OnSendTextToSocket", u"TSocketNotifyEvent")
      .Event(u"OnReceiveTextFromSocket", u"TSocketNotifyEvent")
      .Event(u"OnBeforeExecute", u"TNotifyEvent")
      .Event(u"OnAfterExecute", u"TKwIReceivedEvent");
}

void RegisterClients() {
  // Domain comes before ServerList: a stored domain picks its server from
  // the table the component was created with, whatever order the text has.
  TClassBuilder<TKwWhoIs>(u"TKwWhoIs", u"TKwInetBase")
      .Bool(u"AutoSelectServer", &TKwWhoIs::AutoSelectServer, &TKwWhoIs::SetAutoSelectServer)
      .Str(u"Domain", &TKwWhoIs::Domain, &TKwWhoIs::SetDomain)
      .Strings(u"ServerList", &TKwWhoIs::ServerList);

  // DateTime is published read-only and every read of it is a network
  // exchange: it has nothing to store, and a listing must not dial out.
  TClassBuilder<TKwInetDateTime>(u"TKwInetDateTime", u"TKwInetBase");
  TClassBuilder<TKwInetSNTP>(u"TKwInetSNTP", u"TKwInetBase");

  TClassBuilder<TKwIDNSResolver>(u"TKwIDNSResolver", u"TKwInetBase")
      .Set(u"Requests", u"TKwIDNSRequests",
           {u"irAll", u"irA", u"irNS", u"irName", u"irSOA", u"irMB", u"irMG", u"irMR", u"irRR", u"irWKS", u"irPTR",
            u"irHostInfo", u"irMailInfo", u"irMX", u"irText", u"irTransferRequest", u"irMailB"},
           &TKwIDNSResolver::Requests, &TKwIDNSResolver::SetRequests)
      .Str(u"Domain", &TKwIDNSResolver::Domain, &TKwIDNSResolver::SetDomain)
      .Bool(u"UseTCP", &TKwIDNSResolver::UseTCP, &TKwIDNSResolver::SetUseTCP);

  TClassBuilder<TKwIHTTPClient>(u"TKwIHTTPClient", u"TKwInetBase")
      .Enum(u"Action", u"TKwIHTTPAction", {u"haHead", u"haGet", u"haPost"}, &TKwIHTTPClient::Action,
            &TKwIHTTPClient::SetAction)
      .Str(u"Request", &TKwIHTTPClient::Request, &TKwIHTTPClient::SetRequest)
      .Strings(u"Headers", &TKwIHTTPClient::Headers)
      .Bool(u"RemoveHeaders", &TKwIHTTPClient::RemoveHeaders, &TKwIHTTPClient::SetRemoveHeaders)
      .Event(u"OnRedirect", u"TKwIHTTPRedirectEvent");

  TClassBuilder<TKwWeatherInfo>(u"TKwWeatherInfo", u"TKwInetBase")
      .Str(u"Zip", &TKwWeatherInfo::Zip, &TKwWeatherInfo::SetZip)
      .Enum(u"TrackingType", u"TKwWeatherTrackingType", {u"wttZip"}, &TKwWeatherInfo::TrackingType,
            &TKwWeatherInfo::SetTrackingType);
}

void RegisterMail() {
  // Text is Name and Address in one: a stored form holds all three, and
  // reading back a Text that the two already give must not parse it again,
  // which would lose a name that only differs from the address in case.
  TClassBuilder<TKwIEMailAddress>(u"TKwIEMailAddress", u"TCollectionItem")
      .Str(u"Address", &TKwIEMailAddress::Address, &TKwIEMailAddress::SetAddress)
      .Str(u"Name", &TKwIEMailAddress::Name, &TKwIEMailAddress::SetName)
      .Str(u"Text", &TKwIEMailAddress::GetText, [](TKwIEMailAddress& a, const String& v) {
        if (v != a.GetText()) a.SetText(v);
      });
  TClassBuilder<TKwIEMailAddresses>(u"TKwIEMailAddresses", u"TCollection");

  TClassBuilder<TKwIEMailAttachment>(u"TKwIEMailAttachment", u"TCollectionItem")
      .Str(u"AttachmentName", &TKwIEMailAttachment::AttachmentName, &TKwIEMailAttachment::SetAttachmentName)
      .Str(u"ContentType", &TKwIEMailAttachment::ContentType, &TKwIEMailAttachment::SetContentType)
      .Str(u"Encoding", &TKwIEMailAttachment::Encoding, &TKwIEMailAttachment::SetEncoding)
      .Str(u"FileName", &TKwIEMailAttachment::FileName, &TKwIEMailAttachment::SetFileName);
  TClassBuilder<TKwIEMailAttachments>(u"TKwIEMailAttachments", u"TCollection");

  TClassBuilder<TKwILogin>(u"TKwILogin", u"TPersistent")
      .Str(u"UserID", &TKwILogin::UserID, &TKwILogin::SetUserID)
      .Str(u"Password", &TKwILogin::Password, &TKwILogin::SetPassword)
      .Bool(u"UseLogin", &TKwILogin::UseLogin, &TKwILogin::SetUseLogin);

  // Date defaults to the moment the component is made: it is stored only
  // once set, so that a form kept for a later run dates its mail by the run.
  TClassBuilder<TKwISMTP>(u"TKwISMTP", u"TKwInetBase")
      .Str(u"Subject", &TKwISMTP::Subject, &TKwISMTP::SetSubject)
      .Strings(u"Body", &TKwISMTP::Body)
      .Str(u"BodyFile", &TKwISMTP::BodyFile, &TKwISMTP::SetBodyFile)
      .Object(u"From", u"TKwIEMailAddress", &TKwISMTP::From)
      .Collection(u"Recipients", u"TKwIEMailAddresses", u"TKwIEMailAddress", &TKwISMTP::Recipients)
      .Collection(u"CC", u"TKwIEMailAddresses", u"TKwIEMailAddress", &TKwISMTP::CC)
      .Collection(u"BCC", u"TKwIEMailAddresses", u"TKwIEMailAddress", &TKwISMTP::BCC)
      .Collection(u"ReplyTo", u"TKwIEMailAddresses", u"TKwIEMailAddress", &TKwISMTP::ReplyTo)
      .Str(u"CharSet", &TKwISMTP::CharSet, &TKwISMTP::SetCharSet)
      .Str(u"Encoding", &TKwISMTP::Encoding, &TKwISMTP::SetEncoding)
      .Enum(u"Priority", u"TKwISMTPPriority", {u"spHighest", u"spHigh", u"spNormal", u"spLow", u"spLowest"},
            &TKwISMTP::Priority, &TKwISMTP::SetPriority)
      .DateTime(
          u"Date", [](TKwISMTP& m) { return m.DateAssigned() ? m.Date() : TDateTime(0); }, &TKwISMTP::SetDate)
      .Object(u"Login", u"TKwILogin", &TKwISMTP::Login)
      .Collection(u"Attachments", u"TKwIEMailAttachments", u"TKwIEMailAttachment", &TKwISMTP::Attachments)
      .Enum(u"UseTLS", u"TKwISMTPUseTLS", {u"utNone", u"utStartTLS", u"utImplicit"}, &TKwISMTP::UseTLS,
            &TKwISMTP::SetUseTLS)
      .Str(u"CACertFile", &TKwISMTP::CACertFile, &TKwISMTP::SetCACertFile)
      .Bool(u"AllowPlainAuth", &TKwISMTP::AllowPlainAuth, &TKwISMTP::SetAllowPlainAuth);
}

}  // namespace

void RegisterSocketClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterProxy();
    RegisterInetBase();
    RegisterClients();
    RegisterMail();
  });
}

}  // namespace kwinet
