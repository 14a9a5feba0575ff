// kwinet classes, props, new and run: the class registry from the command
// line, and jobs kept in stored forms run against servers on loopback.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "peers/FakeServer.h"
#include "peers/NginxSuite.h"
#include "peers/SmtpServer.h"
#include "peers/TestSupport.h"
#include "tools/ToolRun.h"

namespace {

using kwinet::test::FakeConnection;
using kwinet::test::FakeServer;
using kwinet::test::OneErrorLine;
using kwinet::test::ReadFileBytes;
using kwinet::test::TempDir;
using kwinet::test::Tool;
using kwinet::test::WriteFileBytes;

// The lines of a text, without their line ends.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = text.find('\n', start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

// The line of a props listing that describes Name (its first word), or "".
std::string PropLine(const std::string& listing, const std::string& name) {
  for (const auto& line : SplitLines(listing))
    if (line.rfind(name + " ", 0) == 0) return line;
  return "";
}

// A whois server that answers every question with the line it was asked.
FakeServer EchoWhois() {
  return FakeServer([](FakeConnection& c) {
    if (!c.ReadUntil("\r\n")) return;
    c.Send("Domain Name: " + c.Data().substr(0, c.Data().find("\r\n")) + "\r\n");
  });
}

TEST(FormTool, ClassesListsThePalettePageInOrder) {
  auto r = Tool({"classes"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out,
            "Kw-Internet\nTKwWhoIs\nTKwInetDateTime\nTKwUPSTracker\nTKwFedExTracker\nTKwIHTTPClient\nTKwWebUpdater\n"
            "TKwWebDirect\nTKwRemoteImage\nTKwInfoExtractor\nTKwWeatherInfo\nTKwRemoteFiles\nTKwISMTP\n"
            "TKwIRSSParser\nTKwInetSNTP\nTKwMSTranslator\nTKwIGoogleTranslator\n");
}

TEST(FormTool, PropsListsKindsDefaultsAndValueNamesInDeclarationOrder) {
  auto whois = Tool({"props", "TKwWhoIs"});
  ASSERT_EQ(whois.ExitCode, 0) << whois.Err;
  const std::string& out = whois.Out;
  // Domain is assigned before ServerList when a form is loaded.
  ASSERT_NE(out.find("\nDomain "), std::string::npos) << out;
  EXPECT_LT(out.find("\nDomain "), out.find("\nServerList ")) << out;
  EXPECT_LT(out.find("\nAutoSelectServer "), out.find("\nDomain ")) << out;
  // Inherited properties come first.
  EXPECT_LT(out.find("Port "), out.find("\nDomain ")) << out;
  struct Case {
    std::string listing, name;
    std::vector<std::string> words;  // expected in this order on the line
  } cases[] = {
      {out, "Port", {"integer", "Integer", "43"}}, {out, "AutoSelectServer", {"Boolean", "True"}},
      {out, "Domain", {"string", "''"}},           {out, "ServerList", {"strings", "TStrings"}},
      {out, "Proxy", {"class", "TKwInetProxy"}},   {out, "Proxy.Port", {"integer"}},
      {out, "OnAfterExecute", {"event"}},
  };
  for (const Case& c : cases) {
    const std::string line = PropLine(c.listing, c.name);
    ASSERT_FALSE(line.empty()) << c.name << " missing in\n" << c.listing;
    std::size_t at = c.name.size();
    for (const auto& w : c.words) {
      at = line.find(w, at);
      ASSERT_NE(at, std::string::npos) << c.name << ": no " << w << " in \"" << line << "\"";
    }
  }
  auto updater = Tool({"props", "TKwWebUpdater"});
  ASSERT_EQ(updater.ExitCode, 0) << updater.Err;
  const std::string service = PropLine(updater.Out, "Service");
  EXPECT_NE(service.find("enumeration"), std::string::npos) << service;
  EXPECT_NE(service.find("isHTTP, isHTTPS, isFTP"), std::string::npos) << service;
  EXPECT_TRUE(PropLine(updater.Out, "About").empty()) << "the web family has no About property";

  auto unknown = Tool({"props", "TFoo"});
  EXPECT_EQ(unknown.ExitCode, 2);
  EXPECT_EQ(unknown.Err, "kwinet: Class TFoo not found\n");
  EXPECT_TRUE(unknown.Out.empty());
}

TEST(FormTool, NewWritesOnlyWhatDiffersAndRunExecutesIt) {
  auto whois = EchoWhois();
  TempDir dir;
  const std::string form = dir.File("lookup.form");
  const std::string port = std::to_string(whois.Port());
  auto made = Tool({"new", "TKwWhoIs", "AutoSelectServer=False", "Domain=example.com", "Host=127.0.0.1", "Port=" + port,
                    "Proxy.Port=8080", "ServerList=com=whois.example", "ServerList=net=whois.example", "-o", form});
  ASSERT_EQ(made.ExitCode, 0) << made.Err;
  EXPECT_TRUE(made.Out.empty());
  EXPECT_FALSE(std::filesystem::exists(form + ".part"));
  const std::string text = ReadFileBytes(form);
  EXPECT_EQ(text.rfind("object Form1: TForm\n  object KwWhoIs1: TKwWhoIs\n", 0), 0u) << text;
  for (const std::string& line : {"    Port = " + port + "\n", std::string("    Address = '127.0.0.1'\n"),
                                  std::string("    Domain = 'example.com'\n"), std::string("    Proxy.Port = 8080\n"),
                                  std::string("      'com=whois.example'\n")})
    EXPECT_NE(text.find(line), std::string::npos) << line << " not in\n" << text;
  EXPECT_EQ(text.find("Timeout"), std::string::npos) << "a default is written:\n" << text;

  // The same arguments give the same text on standard output.
  auto again =
      Tool({"new", "TKwWhoIs", "AutoSelectServer=False", "Domain=example.com", "Host=127.0.0.1", "Port=" + port,
            "Proxy.Port=8080", "ServerList=com=whois.example", "ServerList=net=whois.example"});
  EXPECT_EQ(again.Out, text);

  auto run = Tool({"run", form, "--execute", "KwWhoIs1"});
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(run.Out, "Domain Name: example.com\r\n");
  auto all = Tool({"run", form});
  EXPECT_EQ(all.ExitCode, 0) << all.Err;
  EXPECT_EQ(all.Out, "KwWhoIs1: TKwWhoIs\nDomain Name: example.com\r\n");
  ASSERT_TRUE(whois.WaitForConnections(2));
  EXPECT_EQ(whois.Received(0), "example.com\r\n");

  auto named = Tool({"new", "TKwIHTTPClient", "--name", "Page", "Action=haGet", "RemoveHeaders=False"});
  EXPECT_EQ(named.ExitCode, 0) << named.Err;
  EXPECT_NE(named.Out.find("  object Page: TKwIHTTPClient\n"), std::string::npos) << named.Out;
  EXPECT_NE(named.Out.find("    Action = haGet\n"), std::string::npos) << named.Out;
}

TEST(FormTool, NewRefusesBadPropertiesAndValuesAndWritesNothing) {
  TempDir dir;
  const std::string form = dir.File("kept.form");
  WriteFileBytes(form, "old");
  struct Case {
    std::vector<std::string> args;
    std::string err;  // expected in the error line
  } cases[] = {
      {{"TFoo"}, "Class TFoo not found"},
      {{"TKwWhoIs", "Bogus=1"}, "TKwWhoIs has no published property \"Bogus\""},
      {{"TKwWhoIs", "Proxy.Bogus=1"}, "has no published property \"Bogus\""},
      {{"TKwWhoIs", "Domain"}, "expected PROPERTY=VALUE"},
      {{"TKwWhoIs", "Port=abc"}, "Port=abc"},
      {{"TKwWhoIs", "Port=1.5"}, "Port expects an integer"},
      {{"TKwWhoIs", "AutoSelectServer=maybe"}, "True or False"},
      {{"TKwWebUpdater", "Service=isGopher"}, "isHTTP, isHTTPS, isFTP"},
      {{"TKwWhoIs", "Proxy=x"}, "Proxy.NAME=VALUE"},
      {{"TKwWhoIs", "OnAfterExecute=x"}, "is an event"},
      {{"TKwISMTP", "Recipients=x"}, "is a collection"},
      {{"TKwWhoIs", "Port=1\n  Domain = 'x'"}, "Port=1"},
      {{"TKwWhoIs", "--name", "1st"}, "--name"},
      {{"TForm"}, "TForm is the stored form itself"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"new"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.insert(args.end(), {"-o", form});
    auto r = Tool(args);
    EXPECT_EQ(r.ExitCode, 2) << c.args.back();
    EXPECT_TRUE(OneErrorLine(r)) << r.Err;
    EXPECT_NE(r.Err.find(c.err), std::string::npos) << c.args.back() << ": " << r.Err;
    EXPECT_EQ(ReadFileBytes(form), "old");
    EXPECT_FALSE(std::filesystem::exists(form + ".part"));
  }
}

// new assigns each value as run's reader will: what one refuses, so does
// the other, for the same reason (no value is cut down to fit its type).
TEST(FormTool, NewRefusesWhatRunRefusesForTheSameReason) {
  TempDir dir;
  struct Case {
    std::string cls, name, value, reason;
  } cases[] = {
      {"TKwWhoIs", "Port", "4294967376", "Port: 4294967376 is out of range for Integer"},
      {"TKwWhoIs", "Timeout", "4294967296", "Timeout: 4294967296 is out of range for Integer"},
      {"TKwWebUpdater", "Port", "70000", "Port: 70000 is out of range for Word"},
      {"TKwWebUpdater", "Timeout", "-1", "Timeout: -1 is out of range for Cardinal"},
      {"TKwWebUpdater", "Service", "isGopher", "Service: isGopher is not a value of TKwIService"},
      {"TKwIDNSResolver", "Requests", "[irA, irZ]", "Requests: irZ is not a value of TKwIDNSRequests"},
      {"TKwWhoIs", "AutoSelectServer", "1", "AutoSelectServer expects True or False, not an integer"},
  };
  for (const Case& c : cases) {
    const std::string form = dir.File("made.form");
    auto made = Tool({"new", c.cls, c.name + "=" + c.value, "-o", form});
    EXPECT_EQ(made.ExitCode, 2) << c.reason;
    EXPECT_EQ(made.Err.rfind("kwinet: " + c.name + "=" + c.value + ": " + c.reason, 0), 0u) << made.Err;
    EXPECT_FALSE(std::filesystem::exists(form)) << c.reason;

    const std::string written = dir.File("written.form");
    WriteFileBytes(
        written, "object Form1: TForm\n  object A: " + c.cls + "\n    " + c.name + " = " + c.value + "\n  end\nend\n");
    auto run = Tool({"run", written});
    EXPECT_EQ(run.ExitCode, 2) << c.reason;
    EXPECT_TRUE(OneErrorLine(run)) << run.Err;
    EXPECT_NE(run.Err.find(", column "), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find(": " + c.reason + "\n"), std::string::npos) << run.Err;
  }
}

// A form may hold a password: the file, and the .part it is written
// through, are for the owner's eyes alone, whatever an old file had.
TEST(FormTool, NewWritesTheFormForItsOwnerAlone) {
  TempDir dir;
  const std::string form = dir.File("mail.form");
  WriteFileBytes(form, "old");
  WriteFileBytes(form + ".part", "left over");
  for (const std::string& file : {form, form + ".part"}) ::chmod(file.c_str(), 0644);
  auto r = Tool({"new", "TKwISMTP", "Login.Password=s3cret", "-o", form});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(ReadFileBytes(form).find("s3cret"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(form + ".part"));
  struct stat st {};
  ASSERT_EQ(::stat(form.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST(FormTool, RunRefusesABadFormWithItsLineAndColumn) {
  TempDir dir;
  struct Case {
    std::string text;
    std::vector<std::string> extra;
    std::string err;  // expected after "kwinet: FILE: "
  } cases[] = {
      {"object Form1: TForm\n  object A: TKwWhoIs\n    Domain = 'x'\n    Bogus = 1\n  end\nend\n",
       {},
       "line 4, column 5: "},
      {"object Form1: TForm\n  object A: TKwNothing\n  end\nend\n", {}, "line 2, column "},
      {"object Form1: TForm\n  object A: TKwWhoIs\n    Port = 'x'\n  end\nend\n", {}, "line 3, column "},
      {"object Form1: TForm\n  object A: TKwWhoIs\n    Domain = 'x\n", {}, "line 3, column "},
      {"object Form1: TForm\n  object A: TKwWhoIs\n  end\n", {}, "line "},
      {"object Form1: TForm\nend\n", {"--execute", "B"}, "no component named B"},
      {"object Form1: TForm\nend\n", {}, "no component to run"},
      {"object A: TKwWhoIs\n  Domain = 'x'\nend\n", {}, "the root object A is a TKwWhoIs, not a form"},
      {"object A: TKwWhoIs\nend\n", {"--execute", "A"}, "the root object A is a TKwWhoIs, not a form"},
  };
  for (const Case& c : cases) {
    const std::string form = dir.File("bad.form");
    WriteFileBytes(form, c.text);
    std::vector<std::string> args{"run", form};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    auto r = Tool(args);
    EXPECT_EQ(r.ExitCode, 2) << c.text;
    EXPECT_TRUE(r.Out.empty()) << r.Out;
    EXPECT_TRUE(OneErrorLine(r)) << r.Err;
    EXPECT_EQ(r.Err.rfind("kwinet: " + form + ": " + c.err, 0), 0u) << c.text << r.Err;
  }
  auto missing = Tool({"run", dir.File("none.form")});
  EXPECT_EQ(missing.ExitCode, 2);
  EXPECT_TRUE(OneErrorLine(missing)) << missing.Err;
}

TEST(FormTool, AFailedJobIsNamedAndTheOthersStillRun) {
  int closedPort;
  {
    FakeServer gone(FakeServer::Stall());
    closedPort = gone.Port();
  }
  auto whois = EchoWhois();
  TempDir dir;
  const std::string form = dir.File("two.form");
  WriteFileBytes(form,
                 "object Form1: TForm\n"
                 "  object Dead: TKwWhoIs\n"
                 "    Port = " +
                     std::to_string(closedPort) +
                     "\n"
                     "    Host = '127.0.0.1'\n"
                     "    AutoSelectServer = False\n"
                     "    Domain = 'dead.example'\n"
                     "  end\n"
                     "  object Live: TKwWhoIs\n"
                     "    Port = " +
                     std::to_string(whois.Port()) +
                     "\n"
                     "    Host = '127.0.0.1'\n"
                     "    AutoSelectServer = False\n"
                     "    Domain = 'live.example'\n"
                     "  end\n"
                     "end\n");
  auto r = Tool({"run", form});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_EQ(r.Out, "Dead: TKwWhoIs\nLive: TKwWhoIs\nDomain Name: live.example\r\n");
  EXPECT_TRUE(OneErrorLine(r)) << r.Err;
  EXPECT_EQ(r.Err.rfind("kwinet: Dead: ", 0), 0u) << r.Err;
}

class FormRun : public kwinet::test::TNginxSuite {};

// A job file as a user writes it by hand: a lookup, a download and a mail.
TEST_F(FormRun, AHandWrittenFormRunsWhoisUpdaterAndMail) {
  kwinet::test::TSmtpServer smtp;
  KWINET_REQUIRE_PEER(smtp.Started(), smtp.Error());
  auto whois = EchoWhois();
  WriteFileBytes(server->Root() + "/app.bin", std::string(70000, 'z'));
  TempDir dir;
  const std::string local = dir.File("app.bin");
  const std::string form = dir.File("nightly.form");
  WriteFileBytes(form,
                 "object Form1: TForm\n"
                 "  object Lookup: TKwWhoIs\n"
                 "    Host = '127.0.0.1'\n"
                 "    Port = " +
                     std::to_string(whois.Port()) +
                     "\n"
                     "    AutoSelectServer = False\n"
                     "    Domain = 'example.org'\n"
                     "  end\n"
                     "  object Fetch: TKwWebUpdater\n"
                     "    Host = '127.0.0.1'\n"
                     "    Port = " +
                     std::to_string(server->Port()) +
                     "\n"
                     "    RemoteFileName = '/app.bin'\n"
                     "    LocalFileName = '" +
                     local +
                     "'\n"
                     "    Timeout = 10000\n"
                     "  end\n"
                     "  object Report: TKwISMTP\n"
                     "    Host = '127.0.0.1'\n"
                     "    Port = " +
                     std::to_string(smtp.Port()) +
                     "\n"
                     "    Timeout = 10000\n"
                     "    Subject = 'Nightly'\n"
                     "    Body.Strings = (\n"
                     "      'The download ran.'\n"
                     "      'Sent by '#39'kwinet run'#39'.')\n"
                     "    From.Address = 'cron@test.invalid'\n"
                     "    Recipients = <\n"
                     "      item\n"
                     "        Address = 'ops@test.invalid'\n"
                     "      end>\n"
                     "  end\n"
                     "end\n");
  auto r = Tool({"run", form});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out,
            "Lookup: TKwWhoIs\nDomain Name: example.org\r\n"
            "Fetch: TKwWebUpdater\nisFinished\nfile: " +
                local +
                "\n"
                "Report: TKwISMTP\nSent to 1 recipient(s).\n");
  EXPECT_EQ(ReadFileBytes(local), std::string(70000, 'z'));
  ASSERT_TRUE(smtp.WaitForMessage(1));
  const std::string eml = ReadFileBytes(smtp.MessageFile(1, ".eml"));
  EXPECT_NE(eml.find("Subject: Nightly\r\n"), std::string::npos) << eml;
  EXPECT_NE(eml.find("The download ran.\r\n"), std::string::npos) << eml;

  // The file is current now: the updater skips it, and only it runs.
  auto skip = Tool({"run", form, "--execute", "Fetch"});
  EXPECT_EQ(skip.ExitCode, 0) << skip.Err;
  EXPECT_EQ(skip.Out, "isSkipped\nfile: " + local + "\n");
}

TEST(FormTool, EachCommandHasHelp) {
  for (const char* cmd : {"classes", "props", "new", "run"}) {
    auto r = Tool({cmd, "--help"});
    EXPECT_EQ(r.ExitCode, 0) << cmd;
    EXPECT_NE(r.Out.find("Exit status"), std::string::npos) << cmd;
  }
}

}  // namespace
