// The translation clients' published properties. They are called through
// their own methods; what a stored form keeps is their settings.
#include "kwinet/design/WebFamilyClasses.h"
#include "kwinet/storage/TypInfo.h"
#include "kwinet/translate/KwICustomTranslator.h"
#include "kwinet/translate/KwIGoogleTranslate.h"
#include "kwinet/translate/KwIMSTranslator.h"

namespace kwinet {

void RegisterTranslateClasses() {
  using B = TKwCustomTranslator;
  TClassBuilder<B> base(u"TKwCustomTranslator", u"TKwCustomWebComponent");
  // The clients' base: it knows no service, so it is not created by name.
  base.Info().SetComponentFactory(nullptr);

  using M = TKwMSTranslator;
  TClassBuilder<M>(u"TKwMSTranslator", u"TKwCustomTranslator")
      .Str(u"BingAppId", &M::BingAppId, &M::SetBingAppId)
      .Enum(u"ApiKind", u"TKwApiKind", {u"akClassic", u"akRest"}, &M::ApiKind, &M::SetApiKind)
      .SecretStr(u"SubscriptionKey", &M::SubscriptionKey, &M::SetSubscriptionKey)
      .Str(u"Region", &M::Region, &M::SetRegion)
      .Str(u"Voice", &M::Voice, &M::SetVoice);

  using G = TKwIGoogleTranslator;
  TClassBuilder<G>(u"TKwIGoogleTranslator", u"TKwCustomTranslator")
      .Str(u"SourceLanguage", &G::SourceLanguage, &G::SetSourceLanguage)
      .Str(u"DestinationLanguage", &G::DestinationLanguage, &G::SetDestinationLanguage)
      .Enum(u"ApiKind", u"TKwApiKind", {u"akClassic", u"akRest"}, &G::ApiKind, &G::SetApiKind)
      .SecretStr(u"ApiKey", &G::ApiKey, &G::SetApiKey);
}

}  // namespace kwinet
