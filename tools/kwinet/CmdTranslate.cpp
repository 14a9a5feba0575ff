// kwinet translate / languages / speak: the translation clients.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "DemoSupport.h"
#include "ServiceHost.h"
#include "Target.h"
#include "Secret.h"
#include "Tool.h"
#include "kwinet/core/StringList.h"
#include "kwinet/translate/KwIGoogleTranslate.h"
#include "kwinet/translate/KwIMSTranslator.h"
#include "support/TranslatorService.h"

namespace kwinet::tool {
namespace {

// What the three commands share.
struct TServiceArgs {
  std::string Service = "google";
  std::string Host, CA, AppId;
  std::string AppIdFile;
  // Today's interfaces (Microsoft version 3, Google's keyed v2).
  std::string Api, KeyFile, Region, Voice;
  std::int64_t Timeout = 30000;
  std::int64_t MaxTime = kFetchMaxTime;
};

struct TTranslateArgs {
  TServiceArgs S;
  std::string From, To, Text, Output;
  bool Speak = false;  // languages: those the service can speak
};

void AddServiceOptions(CLI::App* cmd, TServiceArgs& s, bool withService) {
  if (withService)
    cmd->add_option("--service", s.Service, "google (the default) or microsoft")
        ->check(CLI::IsMember({"google", "microsoft"}));
  cmd->add_option("--host", s.Host,
                  "Scheme, host and port of the service, for example https://localhost:8443 (a compatible gateway "
                  "or a test server)");
  cmd->add_option("--ca", s.CA, "CA certificates (PEM) to check an HTTPS service against");
  cmd->add_option("--timeout", s.Timeout, "Milliseconds to wait for a connection or data (0: no bound)");
  cmd->add_option("--max-time", s.MaxTime, MaxTimeHelp(kFetchMaxTime));
  AddSecretOptions(cmd, "--app-id", s.AppId, s.AppIdFile, "KWINET_API_KEY",
                   "application key for the Microsoft service (its appId)",
                   " when the classic interface is used");
  // The key of today's interfaces: never a command-line value, which other
  // users could read.
  cmd->add_option("--key-file", s.KeyFile,
                  "A file whose first line is the key of today's interface (Microsoft Translator version 3, Google "
                  "Cloud Translation v2); selects that interface. Refused (exit status 2) when its group or others "
                  "may read it. Without it, the key comes from KWINET_API_KEY");
  cmd->add_option("--region", s.Region,
                  "The Microsoft key's region (for example westeurope); selects version 3 and names the speech "
                  "service's host");
  cmd->add_option("--api", s.Api,
                  "classic or rest: the interface (default: rest when --key-file or --region is given, else "
                  "classic; rest with neither takes its key from KWINET_API_KEY)")
      ->check(CLI::IsMember({"classic", "rest"}));
}

// Today's interface is chosen by --key-file, --region or --api rest; the
// environment's key alone never chooses it, so that a KWINET_API_KEY set
// for the classic Microsoft interface (its appId) keeps serving that one.
bool UsesRest(const TServiceArgs& s) {
  const bool rest = s.Api == "rest" || (s.Api.empty() && (!s.KeyFile.empty() || !s.Region.empty()));
  if (s.Api == "classic" && (!s.KeyFile.empty() || !s.Region.empty()))
    throw ToolError(2, "--key-file and --region belong to today's interface, not to --api classic");
  if (rest && (!s.AppId.empty() || !s.AppIdFile.empty()))
    throw ToolError(2, "--app-id and --app-id-file belong to the classic interface; today's takes --key-file");
  if (!rest && !s.Voice.empty()) throw ToolError(2, "--voice needs the speech service (--key-file or --region)");
  if (rest && !s.Region.empty() && s.Service == "google") throw ToolError(2, "--region is for --service microsoft");
  return rest;
}

// The key of today's interface: --key-file, else KWINET_API_KEY.
String RestKey(const TServiceArgs& s) {
  const std::string key = ReadSecret("--key", "", s.KeyFile, "KWINET_API_KEY");
  if (key.empty()) throw ToolError(2, "today's interface needs a key: --key-file FILE or KWINET_API_KEY");
  return Utf8ToString(key);
}

// The settings every client takes from the command line. The Microsoft
// service's path follows its host.
void Configure(TKwCustomTranslator& t, const TServiceArgs& s, const char* path) {
  if (s.Timeout < 0) throw ToolError(2, "--timeout must be 0 or more milliseconds");
  if (s.Timeout > 0xFFFFFFFFLL) throw ToolError(2, "--timeout is too large");
  t.SetTimeout(static_cast<std::uint32_t>(s.Timeout));
  t.SetMaxTime(Milliseconds("--max-time", s.MaxTime));
  if (!s.Host.empty()) {
    ParseHost(s.Host);  // scheme, host and port only, as for track
    std::string host = s.Host;
    if (host.back() == '/') host.pop_back();
    t.SetHost(Utf8ToString(host + path));
  }
  if (!s.CA.empty()) t.SetCACertFile(Utf8ToString(s.CA));
}

std::unique_ptr<TKwMSTranslator> Microsoft(const TServiceArgs& s) {
  auto ms = std::make_unique<TKwMSTranslator>(nullptr);
  if (UsesRest(s)) {
    // Every request of the command (translator and speech) goes to --host.
    Configure(*ms, s, "");
    ms->SetApiKind(akRest);
    ms->SetRegion(Utf8ToString(s.Region));
    ms->SetVoice(Utf8ToString(s.Voice));
    ms->SetSubscriptionKey(RestKey(s));
    return ms;
  }
  Configure(*ms, s, "/v2/Http.svc");
  if (const std::string key = ReadSecret("--app-id", s.AppId, s.AppIdFile, "KWINET_API_KEY"); !key.empty())
    ms->SetBingAppId(Utf8ToString(key));
  return ms;
}

// A failed call: its reason on standard error, exit status 1.
void Check(const TKwCustomTranslator& t) {
  if (t.Status() == isFailed)
    throw ToolError(1, t.ErrorText().empty() ? std::string("the service failed") : StringToUtf8(t.ErrorText()));
}

int RunTranslate(const TTranslateArgs& a) {
  if (a.To.empty()) throw ToolError(2, "--to needs a language code");
  String text;
  if (a.S.Service == "microsoft") {
    auto ms = Microsoft(a.S);
    text = ms->TranslateText(Utf8ToString(a.Text), Utf8ToString(a.From), Utf8ToString(a.To));
    Check(*ms);
  } else {
    TKwIGoogleTranslator google(nullptr);
    Configure(google, a.S, "");
    if (UsesRest(a.S)) {
      // v2 detects the language when no source is given.
      google.SetApiKind(akRest);
      google.SetApiKey(RestKey(a.S));
      text = google.TranslateTextExt(Utf8ToString(a.Text), Utf8ToString(a.From), Utf8ToString(a.To));
    } else {
      text = google.TranslateTextExt(Utf8ToString(a.Text), Utf8ToString(a.From.empty() ? "auto" : a.From),
                                     Utf8ToString(a.To));
    }
    Check(google);
  }
  Print(Utf8ToString(OneLineValue(text)));
  return 0;
}

int RunLanguages(const TTranslateArgs& a) {
  TStringList codes, names;
  if (a.S.Service == "microsoft") {
    auto ms = Microsoft(a.S);
    if (a.Speak)
      ms->GetLanguagesForSpeak(&codes);
    else
      ms->GetLanguagesForTranslate(&codes);
    Check(*ms);
    for (int i = 0; i < codes.Count(); ++i) Print(Utf8ToString(OneLineValue(codes[i])));
  } else {
    if (a.Speak) throw ToolError(2, "--speak needs --service microsoft");
    if (!a.S.Host.empty()) ParseHost(a.S.Host);  // unused by the table, but a bad one is still a usage error
    if (UsesRest(a.S)) {
      // The keyed interface asks the service.
      TKwIGoogleTranslator google(nullptr);
      Configure(google, a.S, "");
      google.SetApiKind(akRest);
      google.SetApiKey(RestKey(a.S));
      google.GetLanguages(&codes, &names);
      Check(google);
      for (int i = 0; i < codes.Count(); ++i)
        Print(Utf8ToString(OneLineValue(codes[i]) + "\t" + OneLineValue(names[i])));
      return 0;
    }
    // Google's languages come from the client's own table: no request.
    TKwIGoogleTranslator::FillLanguageCodes(&codes, &names);
    for (int i = 0; i < codes.Count(); ++i) Print(codes[i] + u"\t" + names[i]);
  }
  return 0;
}

int RunSpeak(const TTranslateArgs& a) {
  if (a.To.empty()) throw ToolError(2, "--to needs a language code");
  namespace fs = std::filesystem;
  const std::string name = fs::path(a.Output).filename().string();
  std::error_code ec;
  if (a.Output.empty() || name.empty() || name == "." || name == "..")
    throw ToolError(2, "-o needs a file name, not \"" + a.Output + "\"");
  if (fs::is_directory(a.Output, ec)) throw ToolError(2, "-o names a directory: " + a.Output);
  // The speech service's host is named by the key's region.
  if (UsesRest(a.S) && a.S.Region.empty()) throw ToolError(2, "speak with today's interface needs --region");
  auto ms = Microsoft(a.S);
  ms->SpeakText(Utf8ToString(a.To), Utf8ToString(a.Output), Utf8ToString(a.Text));
  Check(*ms);
  return 0;
}

void Setup(CLI::App& app) {
  // Setup runs for every parse (the demo parses many command lines in one
  // process): options left out must not keep an earlier line's values.
  static TTranslateArgs tr, lang, speak;
  tr = lang = speak = TTranslateArgs();
  const std::string failures =
      "1 the service could not be reached or did not answer within --timeout, took longer than --max-time or "
      "dripped slower than 1024 bytes a second for a minute, its certificate was not trusted, or it answered with an "
      "error status or more than 16 MiB";
  const std::string interfaces =
      " --key-file, --region or --api rest select today's interface (Microsoft Translator version 3 with its "
      "speech service, Google Cloud Translation v2), whose key comes from --key-file or else KWINET_API_KEY; "
      "otherwise the classic one (Google's keyless endpoint, Microsoft's version 2 with --app-id), as before.";
  const std::string usage =
      "2 bad arguments (also a --key-file that cannot be read or that its group or others may read, today's "
      "interface without a key, or options of the two interfaces mixed).";

  auto* translate = app.add_subcommand("translate", "Translate TEXT through Google Translate or Microsoft Translator");
  AddServiceOptions(translate, tr.S, true);
  translate->add_option("--from", tr.From, "Language code of TEXT (default: the service detects it)");
  translate->add_option("--to", tr.To, "Language code wanted")->required();
  translate->add_option("TEXT", tr.Text, "The text (UTF-8)")->required();
  translate->footer(
      std::string("Prints the translation on one line (a line break as \\n, a control character as \\xHH, a "
                  "backslash as \\\\). Exit status: 0 done, ") +
      failures + ", or its answer held no translation (the reason, with the service's own message when it sent "
                 "one, is printed on standard error), " +
      usage + interfaces);
  translate->callback([] { ExitCode() = RunTranslate(tr); });

  auto* languages = app.add_subcommand("languages", "List the language codes a translation service knows");
  AddServiceOptions(languages, lang.S, true);
  languages->add_flag("--speak", lang.Speak,
                      "The languages that the Microsoft service can speak (version 3: the locales of the speech "
                      "service's voices)");
  languages->footer(
      std::string("Prints one code a line (Google: the code, a tab and the English name, from the "
                  "client's own table, without a request; with today's interface, from the service). Exit "
                  "status: 0 done, ") +
      failures + ", or its answer held no language codes (the reason is printed on standard error), " + usage +
      interfaces);
  languages->callback([] { ExitCode() = RunLanguages(lang); });

  auto* sp = app.add_subcommand("speak", "Fetch TEXT spoken in a language from Microsoft Translator into a file");
  AddServiceOptions(sp, speak.S, false);
  speak.S.Service = "microsoft";
  sp->add_option("--to", speak.To,
                 "Language code of the speech (version 3: a locale such as en-US, or a language such as en)")
      ->required();
  sp->add_option("--voice", speak.S.Voice,
                 "Version 3: the voice's short name (default: the first voice of --to in the service's list)");
  sp->add_option("-o,--output", speak.Output, "The audio file (written as FILE.part, which replaces it when whole)")
      ->required();
  sp->add_option("TEXT", speak.Text, "The text (UTF-8)")->required();
  sp->footer(std::string("Exit status: 0 the audio was written, ") + failures +
             ", or no voice speaks --to (the reason is printed on standard error; the old file is kept), " + usage +
             " With today's interface --region is needed (2 without it)." + interfaces);
  sp->callback([] { ExitCode() = RunSpeak(speak); });
}

// --- demo -------------------------------------------------------------------

// Canned answers of both services as static files: the services' paths
// are file names, their queries are not looked at.
void WriteCannedAnswers(const std::string& root) {
  namespace fs = std::filesystem;
  fs::create_directories(root + "/translate_a");
  fs::create_directories(root + "/v2/Http.svc");
  std::ofstream(root + "/translate_a/single")
      << R"([[["Hallo Welt. ","Hello world. ",null,null,10],["Wie geht es dir?","How are you?",null,null,10]],)"
         R"(null,"en"])";
  std::ofstream(root + "/v2/Http.svc/Translate") << "<string>Gr\xC3\xBC\xC3\x9F"
                                                    "e aus dem Test.</string>";
  std::ofstream(root + "/v2/Http.svc/GetLanguagesForTranslate")
      << "<ArrayOfstring><string>de</string><string>en</string><string>fr</string></ArrayOfstring>";
  std::ofstream(root + "/v2/Http.svc/Speak", std::ios::binary) << std::string("RIFF\x24\0\0\0WAVEfmt ", 16);
}

int Demo() {
  // Today's interfaces are answered by the services' emulator behind the
  // same nginx.
  support::TTranslatorService service;
  support::TNginxOptions options;
  options.Https = true;
  options.ServerExtra = service.NginxLocations();
  support::TNginx nginx(options);
  if (!nginx.Started()) {
    std::printf("%s\n", nginx.Error().c_str());
    return 1;
  }
  WriteCannedAnswers(nginx.Root());
  support::TempDir dir("kwinet-demo");
  const std::string host = nginx.Url("", true);
  const std::string ca = nginx.CAFile();
  int failures = 0;
  failures +=
      !Show({"translate", "--host", host, "--ca", ca, "--from", "en", "--to", "de", "Hello world. How are you?"});
  failures += !Show({"translate", "--service", "microsoft", "--host", host, "--ca", ca, "--to", "de", "Greetings"});
  failures += !Show({"languages", "--service", "microsoft", "--host", host, "--ca", ca});
  failures += !Show({"speak", "--host", host, "--ca", ca, "--to", "en", "-o", dir.File("hello.wav"), "Hello"});
  std::error_code ec;
  std::printf("(hello.wav: %ju bytes of audio)\n",
              static_cast<std::uintmax_t>(std::filesystem::file_size(dir.File("hello.wav"), ec)));
  // Today's interfaces: the key in a private file, the region of the key.
  const std::string key = dir.File("translator.key");
  std::ofstream(key) << service.Key() << "\n";
  std::filesystem::permissions(key, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  const std::vector<std::string> ms = {"--host", host, "--ca", ca, "--key-file", key, "--region", service.Region()};
  auto with = [](std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.begin() + 1, more.begin(), more.end());
    return args;
  };
  failures += !Show(with({"translate", "--service", "microsoft", "--from", "en", "--to", "de", "Hello"}, ms));
  failures += !Show(with({"languages", "--service", "microsoft"}, ms));
  failures += !Show(with({"languages", "--service", "microsoft", "--speak"}, ms));
  failures += !Show(with({"speak", "--to", "en-GB", "-o", dir.File("today.wav"), "Hello & welcome"}, ms));
  std::printf("(today.wav: %ju bytes of audio)\n",
              static_cast<std::uintmax_t>(std::filesystem::file_size(dir.File("today.wav"), ec)));
  failures += !Show({"translate", "--service", "google", "--host", host, "--ca", ca, "--key-file", key, "--to", "de",
                     "Good morning"});
  // The service's own message when it refuses: a target it does not know.
  failures += !Show(with({"translate", "--service", "microsoft", "--to", "xx", "Hello"}, ms), 1);
  // Without the test CA the certificate is not trusted.
  failures += !Show({"translate", "--host", host, "--to", "de", "Hello"}, 1);
  return failures;
}

Register reg({"translate", 70, Setup, Demo});

}  // namespace
}  // namespace kwinet::tool
