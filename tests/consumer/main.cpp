// Checks the text codecs through the library as an outside program sees it.
#include <cstdio>

#include "kwinet/ui/ScriptedBackend.h"
#include "kwinet/utils/kwiutil.h"

using namespace kwinet;

static int failures = 0;

static void Check(const String& got, const String& want, const char* what) {
  if (got != want) {
    ++failures;
    std::printf("FAIL %s: got '%s', want '%s'\n", what, StringToUtf8(got).c_str(), StringToUtf8(want).c_str());
  }
}

int main() {
  Check(Utf8Decode(BytesToString("\xC3\xA9")), u"\u00E9", "Utf8Decode two bytes");
  Check(Utf8Decode(BytesToString("\xE2\x82\xAC")), u"\u20AC", "Utf8Decode three bytes");
  Check(Utf8Decode(BytesToString("\xF0\x9F\x98\x80")), u"", "Utf8Decode four bytes");
  Check(Encode64(u"abc"), u"YWJj", "Encode64 abc");
  Check(Encode64(u"ab"), u"YWI=", "Encode64 ab");
  Check(Encode64(u"a"), u"YQ==", "Encode64 a");
  Check(KwInetHTTPEncode(u"a b&~*@.\n"), u"a+b%26%7E*@.%0A", "KwInetHTTPEncode");
  Check(KwInetHTTPDecode(u"a+b%%%d"), u"a b%%d", "KwInetHTTPDecode");
  String html = u"&lt;&eacute;&gt; &amp;";
  ReplaceHTMLChars(html);
  Check(html, u"<&eacute;&gt; &amp;", "ReplaceHTMLChars");
  Check(GetColumn(u"a,b,,d", 3, u','), u"d", "GetColumn");
  Check(Reverse(u"abc"), u"cba", "Reverse");
  {
    // An application tests its own dialogs with the scripted backend.
    TBackendScope<TScriptedBackend> ui;
    ui->QueueMessageAnswer(IDYES);
    const bool yes = Application->MessageBox(u"Go on?", u"", MB_YESNO) == IDYES;
    Check(yes && ui->Messages.size() == 1 ? ui->Messages[0].Text : u"", u"Go on?", "scripted message box");
  }
  std::printf("%d passed, %d failed\n", 12 - failures, failures);
  return failures == 0 ? 0 : 1;
}
