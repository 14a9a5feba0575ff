// The translators' settings of today in stored forms: the interface and the
// region stay; the keys are left out unless the application asks for them.
#include <gtest/gtest.h>

#include "kwinet/design/KwInetClasses.h"
#include "kwinet/storage/FormStream.h"
#include "kwinet/translate/KwIGoogleTranslate.h"
#include "kwinet/translate/KwIMSTranslator.h"

namespace kwinet {
namespace {

TEST(TranslatorForms, KeysStayOutOfStoredFormsUnlessAskedFor) {
  RegisterKwInetClasses();
  TForm form(nullptr);
  form.SetName(u"Form1");
  auto* ms = new TKwMSTranslator(&form);
  ms->SetName(u"MS1");
  ms->SetApiKind(akRest);
  ms->SetSubscriptionKey(u"ms-secret-key");
  ms->SetRegion(u"westeurope");
  ms->SetVoice(u"en-GB-SoniaNeural");
  auto* google = new TKwIGoogleTranslator(&form);
  google->SetName(u"Google1");
  google->SetApiKind(akRest);
  google->SetApiKey(u"google-secret-key");

  const std::string text = WriteComponentText(&form);
  EXPECT_EQ(text.find("secret-key"), std::string::npos) << text;
  const auto back = ReadComponentText(text);
  auto* ms2 = dynamic_cast<TKwMSTranslator*>(back->FindComponent(u"MS1"));
  auto* google2 = dynamic_cast<TKwIGoogleTranslator*>(back->FindComponent(u"Google1"));
  ASSERT_TRUE(ms2 && google2) << text;
  EXPECT_EQ(ms2->ApiKind(), akRest);
  EXPECT_EQ(ms2->Region(), u"westeurope");
  EXPECT_EQ(ms2->Voice(), u"en-GB-SoniaNeural");
  EXPECT_EQ(ms2->SubscriptionKey(), u"");
  EXPECT_EQ(google2->ApiKind(), akRest);
  EXPECT_EQ(google2->ApiKey(), u"");

  const auto kept = ReadComponentText(WriteComponentText(&form, /*StoreSecrets=*/true));
  EXPECT_EQ(dynamic_cast<TKwMSTranslator*>(kept->FindComponent(u"MS1"))->SubscriptionKey(), u"ms-secret-key");
  EXPECT_EQ(dynamic_cast<TKwIGoogleTranslator*>(kept->FindComponent(u"Google1"))->ApiKey(), u"google-secret-key");
}

}  // namespace
}  // namespace kwinet
