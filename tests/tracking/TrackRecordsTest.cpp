// The tracking records and the trackers' own state: address text,
// assignment, defaults, and what Clear and the last request keep.
#include <gtest/gtest.h>

#include "kwinet/tracking/KwIFedEx.h"
#include "kwinet/tracking/KwIUPS.h"

namespace kwinet {
namespace {

TEST(TrackRecords, AddressTextJoinsTheFieldsThatAreSet) {
  struct Case {
    std::vector<std::pair<void (TKwInetActivityAddress::*)(const String&), String>> set;
    String text;
  } cases[] = {
      {{}, u""},
      {{{&TKwInetActivityAddress::SetCity, u"Paris"}, {&TKwInetActivityAddress::SetCountry, u"FR"}}, u"Paris FR"},
      {{{&TKwInetActivityAddress::SetCountry, u"US"},
        {&TKwInetActivityAddress::SetState, u"CO"},
        {&TKwInetActivityAddress::SetPostalCode, u"80202"},
        {&TKwInetActivityAddress::SetCity, u"DENVER"},
        {&TKwInetActivityAddress::SetAddressLine3, u"c"},
        {&TKwInetActivityAddress::SetAddressLine2, u"b"},
        {&TKwInetActivityAddress::SetAddressLine1, u"a"}},
       u"a b c DENVER 80202 CO US"},
  };
  for (const Case& c : cases) {
    TKwInetActivityAddress a;
    for (const auto& [setter, value] : c.set) (a.*setter)(value);
    EXPECT_EQ(a.Text(), c.text);
  }
}

TEST(TrackRecords, AssignCopiesEveryFieldAndRefusesOtherClasses) {
  TKwInetActivities acts(nullptr);
  TKwInetActivity* a = acts.Add();
  a->SetLocationCode(u"ML");
  a->Location()->SetCity(u"Paris");
  a->Location()->SetState(u"IDF");
  a->SetLocationDescription(u"door");
  a->SetLocationSignedForByName(u"Dupont");
  a->SetStatusTypeCode(u"D");
  a->SetStatusTypeDescription(u"Delivered");
  a->SetStatusCode(u"KB");
  a->SetDateTime(41401.5);
  acts.SetActivity(acts.Add()->Index(), a);
  const TKwInetActivity* b = acts.GetActivity(1);
  EXPECT_EQ(b->LocationCode(), u"ML");
  EXPECT_EQ(b->Location()->Text(), u"Paris IDF");
  EXPECT_NE(b->Location(), a->Location());
  EXPECT_EQ(b->LocationDescription(), u"door");
  EXPECT_EQ(b->LocationSignedForByName(), u"Dupont");
  EXPECT_EQ(b->StatusTypeCode(), u"D");
  EXPECT_EQ(b->StatusTypeDescription(), u"Delivered");
  EXPECT_EQ(b->StatusCode(), u"KB");
  EXPECT_EQ(b->DateTime(), 41401.5);
  EXPECT_EQ(acts.UpdateCount(), 0);

  TKwFedExWebAuthenticationDetail d, e;
  d.ParentCredential()->SetKey(u"pk");
  d.ParentCredential()->SetPassword(u"pp");
  d.UserCredential()->SetKey(u"uk");
  d.UserCredential()->SetPassword(u"up");
  TKwFedExClientDetail* c = d.ClientDetail();
  c->SetAccountNumber(u"1");
  c->SetCarrierCode(u"2");
  c->SetCustomerTransactionId(u"3");
  c->SetIntegratorId(u"4");
  c->SetMeterNumber(u"5");
  c->SetLanguageCode(u"6");
  c->SetLocaleCode(u"7");
  e.Assign(&d);
  EXPECT_EQ(e.ParentCredential()->Key() + e.ParentCredential()->Password() + e.UserCredential()->Key() +
                e.UserCredential()->Password(),
            u"pkppukup");
  const TKwFedExClientDetail* f = e.ClientDetail();
  EXPECT_EQ(f->AccountNumber() + f->CarrierCode() + f->CustomerTransactionId() + f->IntegratorId() + f->MeterNumber() +
                f->LanguageCode() + f->LocaleCode(),
            u"1234567");

  TKwInetActivityAddress address;
  EXPECT_THROW(address.Assign(d.UserCredential()), EConvertError);
  EXPECT_THROW(e.UserCredential()->Assign(&address), EConvertError);
  EXPECT_THROW(a->Assign(&address), EConvertError);
}

TEST(TrackRecords, TrackersStartWithTheirCarriersDefaults) {
  TKwUPSTracker ups(nullptr);
  TKwFedExTracker fedex(nullptr);
  for (TKwInetCustomTracker* t :
       {static_cast<TKwInetCustomTracker*>(&ups), static_cast<TKwInetCustomTracker*>(&fedex)}) {
    EXPECT_EQ(t->Agent(), u"Moravelle Tracker");
    EXPECT_EQ(t->Service(), isHTTPS);
    EXPECT_EQ(t->Port(), 443);
    EXPECT_EQ(t->MaxResponseSize(), 16u * 1024 * 1024);
    EXPECT_EQ(t->CACertFile(), u"");  // the system's store, checked
    EXPECT_EQ(t->Activities()->KwInetControl(), t);
    EXPECT_EQ(t->Activities()->Owner(), t);
  }
  EXPECT_EQ(ups.AccessLicenseNumber(), u"9E41C7D05A3B62F8");
  EXPECT_FALSE(ups.Host().empty());
  EXPECT_FALSE(fedex.Host().empty());
  const TKwFedExClientDetail* c = fedex.WebAuthenticationDetail()->ClientDetail();
  EXPECT_EQ(c->CarrierCode(), u"FDXG");
  EXPECT_EQ(c->CustomerTransactionId(), u"Track By Number_v10");
  EXPECT_EQ(c->LanguageCode(), u"EN");
  EXPECT_EQ(c->LocaleCode(), u"us");
  EXPECT_EQ(c->AccountNumber() + c->MeterNumber() + c->IntegratorId(), u"");
}

TEST(TrackRecords, TrackingNumberClearsTheResultsAndRequestTracksChanges) {
  TKwUPSTracker t(nullptr);
  t.Activities()->Add();
  t.SetLastXMLRequest(u"<a/>");
  EXPECT_TRUE(t.LastXMLRequestChanged());
  EXPECT_EQ(t.LastXMLRequest(), u"<a/>");
  EXPECT_FALSE(t.LastXMLRequestChanged());  // reading resets it
  t.SetLastXMLRequest(u"<a/>");
  EXPECT_FALSE(t.LastXMLRequestChanged());  // the same value changes nothing
  // The same number again still clears.
  t.SetTrackingNumber(t.TrackingNumber());
  EXPECT_EQ(t.Activities()->Count(), 0);
  EXPECT_EQ(t.LastXMLRequest(), u"");
  EXPECT_EQ(t.LastXMLResponse(), u"");
}

}  // namespace
}  // namespace kwinet
