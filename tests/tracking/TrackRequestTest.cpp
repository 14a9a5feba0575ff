// The carriers' request bodies with values that hold markup: they must stay
// well-formed, and every value must come back as the same text (read by
// pugixml, a parser other than ours).
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "kwinet/tracking/KwIFedEx.h"
#include "kwinet/tracking/KwIUPS.h"

namespace kwinet {
namespace {

std::string Utf8(const String& s) {
  return StringToUtf8(s);
}

// The text of the element at Path, or "<missing>".
std::string At(const pugi::xml_document& doc, const char* path) {
  pugi::xml_node n = doc.first_element_by_path(path);
  return n ? std::string(n.child_value()) : std::string("<missing>");
}

TEST(TrackRequest, UPSValuesWithMarkupStayText) {
  const String key = u"K<&\"'>", agent = u"a</CustomerContext><Injected/>", number = u"1Z'9&9\"<";
  const std::string body = Utf8(UPSTrackRequest(key, agent, number));
  // Two documents, one after the other.
  const std::size_t second = body.find("\r\n<?xml", 1);
  ASSERT_NE(second, std::string::npos);
  pugi::xml_document access, track;
  ASSERT_TRUE(access.load_string(body.substr(0, second).c_str())) << body;
  ASSERT_TRUE(track.load_string(body.substr(second + 2).c_str())) << body;
  EXPECT_EQ(At(access, "AccessRequest/AccessLicenseNumber"), Utf8(key));
  EXPECT_EQ(At(track, "TrackRequest/Request/TransactionReference/CustomerContext"), Utf8(agent));
  EXPECT_EQ(At(track, "TrackRequest/TrackingNumber"), "#" + Utf8(number));
  EXPECT_FALSE(track.select_node("//Injected"));
}

TEST(TrackRequest, FedExValuesWithMarkupStayText) {
  TKwFedExWebAuthenticationDetail d;
  TKwFedExClientDetail& c = *d.ClientDetail();
  const std::vector<std::pair<void (TKwFedExClientDetail::*)(const String&), const char*>> clientFields = {
      {&TKwFedExClientDetail::SetAccountNumber, "ClientDetail/v10:AccountNumber"},
      {&TKwFedExClientDetail::SetMeterNumber, "ClientDetail/v10:MeterNumber"},
      {&TKwFedExClientDetail::SetIntegratorId, "ClientDetail/v10:IntegratorId"},
      {&TKwFedExClientDetail::SetLanguageCode, "ClientDetail/v10:Localization/v10:LanguageCode"},
      {&TKwFedExClientDetail::SetLocaleCode, "ClientDetail/v10:Localization/v10:LocaleCode"},
      {&TKwFedExClientDetail::SetCustomerTransactionId, "TransactionDetail/v10:CustomerTransactionId"},
      {&TKwFedExClientDetail::SetCarrierCode, "SelectionDetails/v10:CarrierCode"},
  };
  // Each value differs, so a value in the wrong place shows.
  auto value = [](int i) { return u"v" + IntToStr(i) + u"</v10:Key><&\"'>"; };
  int i = 0;
  for (const auto& [setter, path] : clientFields) (c.*setter)(value(i++));
  d.ParentCredential()->SetKey(value(i++));
  d.ParentCredential()->SetPassword(value(i++));
  d.UserCredential()->SetKey(value(i++));
  d.UserCredential()->SetPassword(value(i++));
  const String number = u"<Number & \"more\">";

  const std::string body = Utf8(FedExTrackRequest(d, number));
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(body.c_str())) << body;
  const std::string request = "soapenv:Envelope/soapenv:Body/v10:TrackRequest/v10:";
  i = 0;
  for (const auto& [setter, path] : clientFields)
    EXPECT_EQ(At(doc, (request + path).c_str()), Utf8(value(i++))) << path;
  const char* credentials[] = {"ParentCredential/v10:Key", "ParentCredential/v10:Password", "UserCredential/v10:Key",
                               "UserCredential/v10:Password"};
  for (const char* path : credentials)
    EXPECT_EQ(At(doc, (request + "WebAuthenticationDetail/v10:" + path).c_str()), Utf8(value(i++))) << path;
  EXPECT_EQ(At(doc, (request + "SelectionDetails/v10:PackageIdentifier/v10:Value").c_str()), Utf8(number));
  // The localization of the transaction detail too.
  EXPECT_EQ(At(doc, (request + "TransactionDetail/v10:Localization/v10:LocaleCode").c_str()), Utf8(value(4)));
}

}  // namespace
}  // namespace kwinet
