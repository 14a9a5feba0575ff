// The trackers' published properties. Activities and the shipment values
// are results of a job, public but not published; the activity records are
// registered with their own published fields all the same.
#include "kwinet/design/WebFamilyClasses.h"
#include "kwinet/storage/TypInfo.h"
#include "kwinet/tracking/KwIFedEx.h"
#include "kwinet/tracking/KwITrack.h"
#include "kwinet/tracking/KwIUPS.h"

namespace kwinet {
namespace {

void RegisterActivities() {
  using A = TKwInetActivityAddress;
  TClassBuilder<A>(u"TKwInetActivityAddress", u"TPersistent")
      .Str(u"AddressLine1", &A::AddressLine1, &A::SetAddressLine1)
      .Str(u"AddressLine2", &A::AddressLine2, &A::SetAddressLine2)
      .Str(u"AddressLine3", &A::AddressLine3, &A::SetAddressLine3)
      .Str(u"City", &A::City, &A::SetCity)
      .Str(u"PostalCode", &A::PostalCode, &A::SetPostalCode)
      .Str(u"State", &A::State, &A::SetState)
      .Str(u"Country", &A::Country, &A::SetCountry);

  using V = TKwInetActivity;
  TClassBuilder<V>(u"TKwInetActivity", u"TCollectionItem")
      .Str(u"LocationCode", &V::LocationCode, &V::SetLocationCode)
      .Object(u"Location", u"TKwInetActivityAddress", &V::Location)
      .Str(u"LocationDescription", &V::LocationDescription, &V::SetLocationDescription)
      .Str(u"LocationSignedForByName", &V::LocationSignedForByName, &V::SetLocationSignedForByName)
      .Str(u"StatusTypeCode", &V::StatusTypeCode, &V::SetStatusTypeCode)
      .Str(u"StatusTypeDescription", &V::StatusTypeDescription, &V::SetStatusTypeDescription)
      .Str(u"StatusCode", &V::StatusCode, &V::SetStatusCode)
      .DateTime(u"DateTime", &V::DateTime, &V::SetDateTime);
}

void RegisterFedExRecords() {
  using K = TKwFedExCredential;
  TClassBuilder<K>(u"TKwFedExCredential", u"TPersistent")
      .Str(u"Key", &K::Key, &K::SetKey)
      .Str(u"Password", &K::Password, &K::SetPassword);

  using D = TKwFedExClientDetail;
  TClassBuilder<D>(u"TKwFedExClientDetail", u"TPersistent")
      .Str(u"AccountNumber", &D::AccountNumber, &D::SetAccountNumber)
      .Str(u"CarrierCode", &D::CarrierCode, &D::SetCarrierCode)
      .Str(u"CustomerTransactionId", &D::CustomerTransactionId, &D::SetCustomerTransactionId)
      .Str(u"IntegratorId", &D::IntegratorId, &D::SetIntegratorId)
      .Str(u"MeterNumber", &D::MeterNumber, &D::SetMeterNumber)
      .Str(u"LanguageCode", &D::LanguageCode, &D::SetLanguageCode)
      .Str(u"LocaleCode", &D::LocaleCode, &D::SetLocaleCode);

  using W = TKwFedExWebAuthenticationDetail;
  TClassBuilder<W>(u"TKwFedExWebAuthenticationDetail", u"TPersistent")
      .Object(u"ParentCredential", u"TKwFedExCredential", &W::ParentCredential)
      .Object(u"UserCredential", u"TKwFedExCredential", &W::UserCredential)
      .Object(u"ClientDetail", u"TKwFedExClientDetail", &W::ClientDetail);
}

void RegisterTrackers() {
  using T = TKwInetCustomTracker;
  TClassBuilder<T> base(u"TKwInetCustomTracker", u"TKwCustomWebComponent");
  base.Str(u"TrackingNumber", &T::TrackingNumber, &T::SetTrackingNumber)
      .Bool(u"ErrorDialog", &T::ErrorDialog, &T::SetErrorDialog);
  // The carriers' base: it knows no service, so it is not created by name.
  base.Info().SetComponentFactory(nullptr);

  using U = TKwUPSTracker;
  TClassBuilder<U>(u"TKwUPSTracker", u"TKwInetCustomTracker")
      .Str(u"AccessLicenseNumber", &U::AccessLicenseNumber, &U::SetAccessLicenseNumber)
      .Enum(u"ApiKind", u"TKwApiKind", {u"akClassic", u"akRest"}, &U::ApiKind, &U::SetApiKind)
      .Str(u"ClientId", &U::ClientId, &U::SetClientId)
      .SecretStr(u"ClientSecret", &U::ClientSecret, &U::SetClientSecret);

  using F = TKwFedExTracker;
  TClassBuilder<F>(u"TKwFedExTracker", u"TKwInetCustomTracker")
      .Object(u"WebAuthenticationDetail", u"TKwFedExWebAuthenticationDetail", &F::WebAuthenticationDetail)
      .Enum(u"ApiKind", u"TKwApiKind", {u"akClassic", u"akRest"}, &F::ApiKind, &F::SetApiKind)
      .Str(u"ClientId", &F::ClientId, &F::SetClientId)
      .SecretStr(u"ClientSecret", &F::ClientSecret, &F::SetClientSecret);
}

}  // namespace

void RegisterTrackingClasses() {
  RegisterActivities();
  RegisterFedExRecords();
  RegisterTrackers();
}

}  // namespace kwinet
