// The web components' published properties: the base's settings and
// events, the progress dialog record with its pictures, the updaters, the
// directory lister and the content components.
#include <string>

#include "kwinet/core/Forms.h"
#include "kwinet/design/WebFamilyClasses.h"
#include "kwinet/storage/TypInfo.h"
#include "kwinet/web/KwIRSS.h"
#include "kwinet/web/KwInStat.h"
#include "kwinet/web/kwidir.h"
#include "kwinet/web/kwidirect.h"
#include "kwinet/web/kwiimage.h"
#include "kwinet/web/kwiupdate.h"
#include "kwinet/web/kwixtract.h"

namespace kwinet {
namespace {

void RegisterStatusDialog() {
  // A picture or an icon is stored as the bytes of its image file.
  TClassBuilder<TKwInetGraphic>(u"TKwInetGraphic", u"TPersistent")
      .Binary(u"Data", &TKwInetGraphic::Data, [](TKwInetGraphic& g, const std::string& data) { g.SetData(data); });

  using D = TKwInetStatusDialog;
  TClassBuilder<D>(u"TKwInetStatusDialog", u"TPersistent")
      .Bool(u"Enabled", &D::Enabled, &D::SetEnabled)
      .Int(u"HelpContext", &D::HelpContext, &D::SetHelpContext, u"THelpContext")
      .Object(u"Picture", u"TKwInetGraphic", &D::Picture)
      .Object(u"Icon", u"TKwInetGraphic", &D::Icon)
      .Str(u"Title", &D::Title, &D::SetTitle)
      .Str(u"Description", &D::Description, &D::SetDescription);
}

void RegisterWebComponent() {
  using C = TKwCustomWebComponent;
  // Service comes before Port: its setter also picks the service's port, so
  // a port stored with the form must be assigned after it to survive.
  TClassBuilder<C>(u"TKwCustomWebComponent", u"TComponent")
      .Str(u"Agent", &C::Agent, &C::SetAgent)
      .Enum(u"Service", u"TKwIService", {u"isHTTP", u"isHTTPS", u"isFTP", u"isNetwork"}, &C::Service, &C::SetService)
      .Int(u"Port", &C::Port, &C::SetPort, u"Word")
      .Str(u"Host", &C::Host, &C::SetHost)
      .Str(u"User", &C::User, &C::SetUser)
      .Str(u"Password", &C::Password, &C::SetPassword)
      .Object(u"Proxy", u"TKwInetProxy", &C::Proxy)
      .Object(u"StatusDialog", u"TKwInetStatusDialog", &C::StatusDialog)
      .Bool(u"LoginPrompt", &C::LoginPrompt, &C::SetLoginPrompt)
      .Int(u"Timeout", &C::Timeout, &C::SetTimeout, u"Cardinal")
      .Int(u"MaxTime", &C::MaxTime, &C::SetMaxTime, u"Cardinal")
      .Int(u"LowSpeedLimit", &C::LowSpeedLimit, &C::SetLowSpeedLimit, u"Cardinal")
      .Int(u"LowSpeedTime", &C::LowSpeedTime, &C::SetLowSpeedTime, u"Cardinal")
      .Int(u"MaxResponseSize", &C::MaxResponseSize, &C::SetMaxResponseSize, u"Int64")
      .Str(u"CACertFile", &C::CACertFile, &C::SetCACertFile)
      .Enum(u"FtpTLS", u"TKwIFtpTLS", {u"ftNone", u"ftExplicit", u"ftImplicit"}, &C::FtpTLS, &C::SetFtpTLS)
      .Event(u"OnProgress", u"TKwIProgress")
      .Event(u"OnProgress64", u"TKwIProgress64")
      .Event(u"OnBeforeExecute")
      .Event(u"OnAfterExecute")
      .Event(u"OnActionChange")
      .Event(u"OnStatusChange");
}

void RegisterUpdaters() {
  using U = TKwCustomWebUpdater;
  TClassBuilder<U> updater(u"TKwCustomWebUpdater", u"TKwCustomWebComponent");
  updater.Str(u"RemoteFileName", &U::RemoteFileName, &U::SetRemoteFileName).Event(u"OnFileCompare", u"TKwIFileCompare");
  // A base of the updaters below, never created by name.
  updater.Info().SetComponentFactory(nullptr);

  using W = TKwWebUpdater;
  TClassBuilder<W>(u"TKwWebUpdater", u"TKwCustomWebUpdater")
      .Str(u"LocalFileName", &W::LocalFileName, &W::SetLocalFileName);
}

void RegisterContentComponents() {
  using F = TKwRemoteFiles;
  TClassBuilder<F>(u"TKwRemoteFiles", u"TKwCustomWebComponent")
      .Str(u"Directory", &F::Directory, &F::SetDirectory)
      .Str(u"WildCard", &F::WildCard, &F::SetWildCard)
      .Bool(u"SubFolders", &F::SubFolders, &F::SetSubFolders);

  using I = TKwRemoteImage;
  TClassBuilder<I>(u"TKwRemoteImage", u"TKwCustomWebUpdater")
      .Component(u"Image", u"TImage", &I::Image, &I::SetImage)
      .Bool(u"Active", &I::Active, &I::SetActive)
      .Int(u"Interval", &I::Interval, &I::SetInterval);

  using X = TKwInfoExtractor;
  TClassBuilder<X>(u"TKwInfoExtractor", u"TKwCustomWebUpdater")
      .Enum(u"Extract", u"TKwIExtract",
            {u"ieMailTo", u"ieHTTP", u"itHTTPS", u"itFTP", u"itFile", u"itTelnet", u"itNews", u"itGopher", u"itWais"},
            &X::Extract, &X::SetExtract);

  using D = TKwWebDirect;
  TClassBuilder<D>(u"TKwWebDirect", u"TKwCustomWebUpdater")
      .Enum(u"ShowMode", u"TKwIShowMode", {u"omAlways", u"omNever", u"omIfChanged"}, &D::ShowMode, &D::SetShowMode)
      .Str(u"Title", &D::Title, &D::SetTitle)
      .Component(u"ParentControl", u"TControl", &D::ParentControl, &D::SetParentControl);

  TClassBuilder<TKwIRSSParser>(u"TKwIRSSParser", u"TKwCustomWebUpdater");
}

}  // namespace

void RegisterWebTransferClasses() {
  RegisterStatusDialog();
  RegisterWebComponent();
  RegisterUpdaters();
  RegisterContentComponents();
}

}  // namespace kwinet
