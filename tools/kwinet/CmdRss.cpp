// kwinet rss: the channels and items of a news feed.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "DemoSupport.h"
#include "Gui.h"
#include "Target.h"
#include "Tool.h"
#include "kwinet/web/KwIRSS.h"

namespace kwinet::tool {
namespace {

void Field(const char* prefix, const char* name, const String& value) {
  if (value.empty()) return;
  std::printf("%s.%s: %s\n", prefix, name, OneLineValue(value).c_str());
}

void PrintChannels(const TKwIRSSChannels& channels) {
  for (int c = 0; c < channels.Count(); ++c) {
    const TKwIRSSChannel& ch = *channels.GetItem(c);
    std::printf("channel %d\n", c + 1);
    const std::pair<const char*, const String*> fields[] = {
        {"title", &ch.Title},
        {"link", &ch.Link},
        {"description", &ch.Description},
        {"language", &ch.Language},
        {"copyright", &ch.Copyright},
        {"rating", &ch.Rating},
        {"managingEditor", &ch.ManagingEditor},
        {"webMaster", &ch.WebMaster},
        {"pubDate", &ch.PubDate},
        {"lastBuildDate", &ch.LastBuildDate},
        {"category", &ch.Category},
        {"generator", &ch.Generator},
        {"docs", &ch.Docs},
        {"ttl", &ch.Ttl},
    };
    for (const auto& [name, value] : fields) Field("channel", name, *value);
    for (int i = 0; i < ch.Items->Count(); ++i) {
      const TKwIRSSItem& item = *ch.Items->GetItem(i);
      std::printf("item %d.%d\n", c + 1, i + 1);
      Field("item", "title", item.Title);
      Field("item", "link", item.Link);
      Field("item", "description", item.Description);
      Field("item", "creator", item.Creator);
      Field("item", "date", item.Date);
    }
  }
  std::fflush(stdout);
}

struct TRssArgs {
  std::string Url, CA;
  std::int64_t Timeout = 30000;
  std::int64_t MaxTime = kFetchMaxTime;
};

int RunRss(const TRssArgs& a) {
  const std::uint32_t timeout = Milliseconds("--timeout", a.Timeout);
  const std::uint32_t maxTime = Milliseconds("--max-time", a.MaxTime);
  const TTarget t = ParseTarget(a.Url);
  TKwIRSSParser rss(nullptr);
  ApplyTarget(t, rss);
  rss.SetTimeout(timeout);
  rss.SetMaxTime(maxTime);
  if (!a.CA.empty()) rss.SetCACertFile(Utf8ToString(a.CA));
  UseDialogs(rss, false);
  rss.Execute();
  switch (rss.Status()) {
    case isFinished:
      break;
    case isNotFound:
      throw ToolError(3, rss.ErrorText().empty() ? "no such feed: " + a.Url : StringToUtf8(rss.ErrorText()));
    default:
      throw ToolError(1, rss.ErrorText().empty() ? "cannot read the feed " + a.Url : StringToUtf8(rss.ErrorText()));
  }
  if (rss.Channels()->Count() == 0) throw ToolError(4, "no channel in " + a.Url + " (not an RSS feed?)");
  PrintChannels(*rss.Channels());
  return 0;
}

void Setup(CLI::App& app) {
  static TRssArgs args;
  args = TRssArgs();
  auto* rss = app.add_subcommand("rss", "Print the channels and items of an RSS feed (RSS 0.9x, 2.0 or 1.0/RDF)");
  rss->add_option("--ca", args.CA, "CA certificates (PEM) to check an HTTPS or FTPS server against");
  rss->add_option("--timeout", args.Timeout, "Milliseconds to wait for a connection or data (0: no bound)");
  rss->add_option("--max-time", args.MaxTime, MaxTimeHelp(kFetchMaxTime));
  rss->add_option("URL", args.Url, "The feed: http://, https://, ftp://, ftps://, file:// or a file path")->required();
  rss->footer(
      "Output: for each channel a line \"channel N\", then one line per field that has a value, \"channel.FIELD: "
      "VALUE\" (title, link, description, language, copyright, rating, managingEditor, webMaster, pubDate, "
      "lastBuildDate, category, generator, docs, ttl); for each of its items a line \"item N.M\", then \"item.FIELD: "
      "VALUE\" (title, link, description, creator, date). Values are as the feed writes them (entities as written, "
      "CDATA sections dropped), decoded from the feed's encoding; line breaks, tabs and other control characters "
      "in a value are written \\n, \\r, \\t or \\xHH, a backslash \\\\.\n"
      "Exit status: 0 the feed was read and printed, 1 it could not be downloaded or read (an error answer, a "
      "refused authorization, a broken or timed-out exchange, one that took longer than --max-time or dripped "
      "slower than 1024 bytes a second for a minute, a feed larger than 16 MiB), 2 bad arguments, 3 no such feed "
      "(404 or 410, no such file, the server cannot be reached or its certificate was refused), 4 the file holds no "
      "channel (not an RSS feed). The reason of 1, 3 "
      "and 4 is printed on standard error.");
  rss->callback([] { ExitCode() = RunRss(args); });
  OffersGui(rss);
}

// --- demo -------------------------------------------------------------------

int Demo() {
  support::TNginx nginx;
  if (!nginx.Started()) {
    std::printf("%s\n", nginx.Error().c_str());
    return 1;
  }
  std::ofstream(nginx.Root() + "/news.xml")
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<rss version=\"2.0\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
         "  <channel>\n"
         "    <title>kwinet news</title>\n"
         "    <link>http://example.test/</link>\n"
         "    <language>en</language>\n"
         "    <item>\n"
         "      <title>RSS feeds are read in their own encoding: caf\xC3\xA9, \xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81"
         "\xD1\x82\xD0\xB8</title>\n"
         "      <link>http://example.test/rss</link>\n"
         "      <dc:creator>kwinet</dc:creator>\n"
         "    </item>\n"
         "  </channel>\n"
         "</rss>\n";
  std::ofstream(nginx.Root() + "/news.rdf", std::ios::binary)
      << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
         "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" xmlns=\"http://purl.org/rss/1.0/\">\n"
         "  <channel rdf:about=\"http://example.test/\">\n"
         "    <title>RSS 1.0 in Latin-1</title>\n"
         "  </channel>\n"
         "  <item rdf:about=\"http://example.test/a\">\n"
         "    <title>Cr\xE8me br\xFBl\xE9"
         "e</title>\n"
         "    <dc:date>2024-12-02</dc:date>\n"
         "  </item>\n"
         "</rdf:RDF>\n";
  int failures = 0;
  failures += !Show({"rss", nginx.Url("/news.xml")});
  failures += !Show({"rss", nginx.Root() + "/news.rdf"});
  failures += !Show({"rss", nginx.Url("/none.xml")}, 3);
  return failures;
}

Register reg({"rss", 64, Setup, Demo});

}  // namespace
}  // namespace kwinet::tool
