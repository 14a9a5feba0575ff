// The web family's classes in the registry, for what a generic round trip
// over every class cannot show: which classes can be created by name, what
// is kept out of the stored form, the port that a service's setter would
// overwrite, and stored jobs written by hand.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kwinet/core/Forms.h"
#include "kwinet/design/KwInetClasses.h"
#include "kwinet/storage/FormStream.h"
#include "kwinet/storage/TypInfo.h"
#include "kwinet/tracking/KwIFedEx.h"
#include "kwinet/tracking/KwIUPS.h"
#include "kwinet/web/kwidirect.h"
#include "kwinet/web/kwiimage.h"
#include "kwinet/web/kwiupdate.h"

namespace kwinet {
namespace {

class WebClasses : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterKwInetClasses(); }
};

template <class T>
T* Child(const std::unique_ptr<TComponent>& form, const char16_t* name) {
  auto* c = dynamic_cast<T*>(form->FindComponent(name));
  EXPECT_NE(c, nullptr) << StringToUtf8(name);
  return c;
}

TEST_F(WebClasses, PaletteClassesAreCreatedByNameAndBasesAreNot) {
  const std::vector<String> palette = {u"TKwUPSTracker",   u"TKwFedExTracker",     u"TKwWebUpdater",  u"TKwWebDirect",
                                       u"TKwRemoteImage",  u"TKwInfoExtractor",    u"TKwRemoteFiles", u"TKwIRSSParser",
                                       u"TKwMSTranslator", u"TKwIGoogleTranslator"};
  for (const String& name : palette) {
    SCOPED_TRACE(StringToUtf8(name));
    const TClassInfo* info = GetClass(name);
    ASSERT_NE(info, nullptr);
    ASSERT_TRUE(info->CanCreate());
    EXPECT_TRUE(info->InheritsFrom(u"TKwCustomWebComponent"));
    std::unique_ptr<TComponent> c(info->CreateComponent(nullptr));
    EXPECT_EQ(ClassInfoOf(c.get()), info);
    // The web family has no About property; its results and run-time state
    // are not stored with a form.
    for (const char16_t* hidden :
         {u"About", u"Status", u"Action", u"ResumeDownload", u"ErrorText", u"RemoteFileSize", u"RemoteFileCreated",
          u"Activities", u"LastXMLRequest", u"LastXMLResponse", u"FileList", u"ExtractedInfo", u"Channels"})
      EXPECT_EQ(info->FindProperty(hidden), nullptr) << StringToUtf8(hidden);
    // Only the plain updater lets the user choose the local file.
    EXPECT_EQ(info->FindProperty(u"LocalFileName") != nullptr, name == u"TKwWebUpdater");
  }
  for (const char16_t* base :
       {u"TKwCustomWebComponent", u"TKwCustomWebUpdater", u"TKwInetCustomTracker", u"TKwCustomTranslator"}) {
    const TClassInfo* info = GetClass(base);
    ASSERT_NE(info, nullptr) << StringToUtf8(base);
    EXPECT_FALSE(info->CanCreate()) << StringToUtf8(base);
  }
}

// One published size bound for the whole family, set by each class: none
// for the updater (a download may be large), 16 MiB for what is read; the
// time bounds alike for all.
TEST_F(WebClasses, EachClassSetsItsOwnSizeBound) {
  for (const char16_t* name :
       {u"TKwWebUpdater", u"TKwUPSTracker", u"TKwFedExTracker", u"TKwWebDirect", u"TKwRemoteImage", u"TKwInfoExtractor",
        u"TKwRemoteFiles", u"TKwIRSSParser", u"TKwMSTranslator", u"TKwIGoogleTranslator"}) {
    SCOPED_TRACE(StringToUtf8(name));
    const TClassInfo* info = GetClass(name);
    ASSERT_NE(info, nullptr);
    std::unique_ptr<TComponent> c(info->CreateComponent(nullptr));
    auto value = [&](const char16_t* prop) {
      const TPropInfo* p = info->FindProperty(prop);
      EXPECT_NE(p, nullptr) << StringToUtf8(prop);
      return p ? p->GetOrdinal(c.get()) : -1;
    };
    EXPECT_EQ(value(u"MaxResponseSize"), String(name) == u"TKwWebUpdater" ? 0 : 16 * 1024 * 1024);
    EXPECT_EQ(value(u"MaxTime"), 0);
    EXPECT_EQ(value(u"LowSpeedLimit"), 1024);
    EXPECT_EQ(value(u"LowSpeedTime"), 60000);
  }
}

// Writing Service also sets the service's port; a port kept with the form
// must win over it, whichever order the text gives them in.
TEST_F(WebClasses, StoredPortSurvivesTheServiceSetter) {
  struct Case {
    const char* props;
    TKwIService service;
    int port;
  };
  const Case cases[] = {
      {"Service = isFTP\n", isFTP, 21},
      {"Service = isHTTPS\n", isHTTPS, 443},
      {"Port = 2121\nService = isFTP\n", isFTP, 2121},
      {"Service = isFTP\nPort = 2121\n", isFTP, 2121},
      {"Port = 8080\nService = isNetwork\n", isNetwork, 8080},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.props);
    std::string text = std::string("object Form1: TForm\nobject Upd: TKwWebUpdater\n") + c.props + "end\nend\n";
    std::unique_ptr<TComponent> form = ReadComponentText(text);
    auto* upd = Child<TKwWebUpdater>(form, u"Upd");
    ASSERT_NE(upd, nullptr);
    EXPECT_EQ(upd->Service(), c.service);
    EXPECT_EQ(upd->Port(), c.port);
    // And what it writes reads back to the same port.
    std::unique_ptr<TComponent> again = ReadComponentText(WriteComponentText(form.get()));
    EXPECT_EQ(Child<TKwWebUpdater>(again, u"Upd")->Port(), c.port);
  }
}

// Stored jobs as a user writes them: nested records, a picture's bytes and
// references to controls declared further down the form.
TEST_F(WebClasses, HandWrittenJobsLoad) {
  const std::string text =
      "object Form1: TForm\n"
      "  object Fedex: TKwFedExTracker\n"
      "    StatusDialog.Enabled = True\n"
      "    StatusDialog.Picture.Data = {\n"
      "      89504E470D0A1A0A}\n"
      "    StatusDialog.Title = 'Tracking'\n"
      "    TrackingNumber = '123456789012'\n"
      "    WebAuthenticationDetail.UserCredential.Key = 'key'\n"
      "    WebAuthenticationDetail.ClientDetail.AccountNumber = '510087'\n"
      "  end\n"
      "  object Cam: TKwRemoteImage\n"
      "    RemoteFileName = '/cam.jpg'\n"
      "    Image = Image1\n"
      "  end\n"
      "  object News: TKwWebDirect\n"
      "    ShowMode = omIfChanged\n"
      "    ParentControl = Image1\n"
      "  end\n"
      "  object Image1: TImage\n"
      "  end\n"
      "end\n";
  std::unique_ptr<TComponent> form = ReadComponentText(text);

  auto* fedex = Child<TKwFedExTracker>(form, u"Fedex");
  ASSERT_NE(fedex, nullptr);
  EXPECT_EQ(fedex->TrackingNumber(), u"123456789012");
  EXPECT_EQ(fedex->WebAuthenticationDetail()->UserCredential()->Key(), u"key");
  EXPECT_EQ(fedex->WebAuthenticationDetail()->ClientDetail()->AccountNumber(), u"510087");
  // What the constructor set and the form does not name stays.
  EXPECT_EQ(fedex->WebAuthenticationDetail()->ClientDetail()->LanguageCode(), u"EN");
  EXPECT_EQ(fedex->Service(), isHTTPS);
  EXPECT_EQ(fedex->Port(), 443);
  EXPECT_TRUE(fedex->StatusDialog()->Enabled());
  EXPECT_EQ(fedex->StatusDialog()->Picture()->Data(), std::string("\x89PNG\r\n\x1a\n", 8));
  EXPECT_TRUE(fedex->StatusDialog()->Icon()->Empty());
  EXPECT_EQ(fedex->StatusDialog()->Title(), u"Tracking");

  auto* image = Child<TImage>(form, u"Image1");
  auto* cam = Child<TKwRemoteImage>(form, u"Cam");
  ASSERT_NE(cam, nullptr);
  EXPECT_EQ(cam->Image(), image);
  auto* news = Child<TKwWebDirect>(form, u"News");
  ASSERT_NE(news, nullptr);
  EXPECT_EQ(news->ShowMode(), omIfChanged);
  EXPECT_EQ(news->ParentControl(), image);

  // Written back (the text is in the order a form is written in), the form
  // keeps what the text said and nothing else.
  EXPECT_EQ(WriteComponentText(form.get()), text);
}

}  // namespace
}  // namespace kwinet
