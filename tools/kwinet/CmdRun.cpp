// kwinet run: loads a stored form and runs the Execute of its components,
// so that a job kept in a small text file (an update, a mail, a lookup) can
// be run from cron.
#include <unistd.h>

#include <bit>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "DemoSupport.h"
#include "Tool.h"
#include "kwinet/core/DateTime.h"
#include "kwinet/core/Jobs.h"
#include "kwinet/design/KwInetClasses.h"
#include "kwinet/socket/KwIDNS.h"
#include "kwinet/socket/KwIHTTP.h"
#include "kwinet/socket/KwISMTP.h"
#include "kwinet/socket/KwISNTP.h"
#include "kwinet/socket/KwITime.h"
#include "kwinet/socket/KwIWeath.h"
#include "kwinet/storage/FormStream.h"
#include "kwinet/tracking/KwITrack.h"
#include "kwinet/utils/RedactUrl.h"
#include "kwinet/web/KwIRSS.h"
#include "kwinet/web/kwidir.h"
#include "kwinet/web/kwixtract.h"

namespace kwinet::tool {
namespace {

struct TRunArgs {
  std::string Form;
  std::string Execute;
  bool Parallel = false;
};

// A stored form is a few kilobytes; a file far beyond that is no form.
constexpr std::uintmax_t kMaxFormSize = std::uintmax_t(16) << 20;

std::string ReadForm(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw ToolError(2, "cannot open " + file + ": " + std::strerror(errno));
  std::string text;
  char buffer[64 * 1024];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    text.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxFormSize) throw ToolError(2, file + ": larger than 16 MiB, not a stored form");
  }
  if (in.bad()) throw ToolError(2, "cannot read " + file);
  return text;
}

// What one job says went wrong, on one line of standard error.
void Failure(const TComponent& c, const String& why) {
  std::fflush(stdout);
  std::fprintf(stderr, "kwinet: %s: %s\n", StringToUtf8(c.Name()).c_str(), OneLineValue(RedactUrl(why)).c_str());
}

// Server text as it came, ended by a line end so that the next job's
// heading starts a line.
void PrintText(const String& text, bool heading) {
  PrintBytes(StringToBytes(text));
  if (heading && !text.empty() && text.back() != u'\n') PrintBytes("\n");
}

// A socket job: the text that Execute returned, or for the protocols whose
// answer the tool reads (time, DNS, mail) what it reads out of it.
// The settings of a socket job; steps counts the steps that ended well.
void PrepareSocket(TKwInetBase& c, int& steps) {
  if (!::isatty(0) || !::isatty(2)) c.SetLoginPrompt(false);
  // A step that failed never reaches AfterExecute: its message is the text.
  c.SetOnAfterExecute([&steps](TObject*, String&) { ++steps; });
}

bool ReportSocket(TKwInetBase& c, const String& text, int steps, bool heading);

bool RunSocket(TKwInetBase& c, bool heading) {
  int steps = 0;
  PrepareSocket(c, steps);
  String text;
  try {
    text = c.Execute();
  } catch (const Exception& e) {
    Failure(c, e.Message());
    return false;
  }
  return ReportSocket(c, text, steps, heading);
}

// What a socket job's text says, printed.
bool ReportSocket(TKwInetBase& c, const String& text, int steps, bool heading) {
  if (auto* smtp = dynamic_cast<TKwISMTP*>(&c)) {
    if (!text.empty()) return Failure(c, text), false;
    if (!smtp->Warning().empty()) Failure(c, u"warning: " + smtp->Warning());
    const int count = smtp->Recipients()->Count() + smtp->CC()->Count() + smtp->BCC()->Count();
    Print(u"Sent to " + IntToStr(count) + u" recipient(s).");
    return true;
  }
  int expected = 1;
  if (auto* dns = dynamic_cast<TKwIDNSResolver*>(&c)) expected = std::popcount(dns->Requests().Bits());
  if (steps < expected || steps == 0) return Failure(c, text), false;
  if (auto* http = dynamic_cast<TKwIHTTPClient*>(&c)) {
    if (!http->ResponseError().empty()) return Failure(c, http->ResponseError()), false;
    PrintText(text, heading);
    return true;
  }
  if (auto* sntp = dynamic_cast<TKwInetSNTP*>(&c)) {
    const TDateTime value = sntp->DateTimeFromReply(text);
    if (value == 0) return Failure(c, u"the server's answer carries no valid time"), false;
    Print(DateTimeToISOString(value));
    return true;
  }
  if (dynamic_cast<TKwInetDateTime*>(&c)) {
    TDateTime utc = 0;
    if (!TKwInetDateTime::TryDateTimeFromText(text, utc))
      return Failure(c, u"the server's answer is not a daytime line in NIST's format"), false;
    Print(DateTimeToISOString(UTCToLocal(utc)));
    return true;
  }
  if (auto* dns = dynamic_cast<TKwIDNSResolver*>(&c)) {
    for (const auto& r : dns->Answers())
      Print(r.Name + u" " + IntToStr(r.TTL) + u" " + DNSClassName(r.RecordClass) + u" " + DNSTypeName(r.RecordType) +
            u" " + r.Data);
    return true;
  }
  if (auto* weather = dynamic_cast<TKwWeatherInfo*>(&c)) {
    Print(u"Temperature: " + IntToStr(weather->Temperature()));
    return true;
  }
  PrintText(text, heading);
  return true;
}

// A web job: its status, then what it left: the local file, the listing,
// the links, the feed's titles or the shipment's activities.
void PrepareWeb(TKwCustomWebComponent& c) {
  // The dialog and the logon prompt only where a person can see and answer.
  if (!::isatty(2)) c.StatusDialog()->SetEnabled(false);
  if (!::isatty(0) || !::isatty(2)) c.SetLoginPrompt(false);
  if (auto* tracker = dynamic_cast<TKwInetCustomTracker*>(&c); tracker && !::isatty(2)) tracker->SetErrorDialog(false);
}

bool ReportWeb(TKwCustomWebComponent& c);

bool RunWeb(TKwCustomWebComponent& c) {
  PrepareWeb(c);
  try {
    c.Execute();
  } catch (const Exception& e) {
    Failure(c, e.Message());
    return false;
  }
  return ReportWeb(c);
}

// What a web job left, printed.
bool ReportWeb(TKwCustomWebComponent& c) {
  const TKwIStatus status = c.Status();
  Print(KwIStatusName(status));
  const bool ok = (status == isFinished || status == isSkipped) && c.ErrorText().empty();
  if (!ok) {
    const String reason = c.ErrorText().empty() ? u"ended " + KwIStatusName(status) : c.ErrorText();
    Failure(c, reason);
  }
  if (auto* files = dynamic_cast<TKwRemoteFiles*>(&c)) {
    for (int i = 0; i < files->FileList()->Count(); ++i)
      Print(Utf8ToString(OneLineValue(files->FileList()->Strings(i))));
  } else if (auto* rss = dynamic_cast<TKwIRSSParser*>(&c); rss && ok) {
    for (int i = 0; i < rss->Channels()->Count(); ++i) {
      const TKwIRSSChannel& ch = *rss->Channels()->GetItem(i);
      Print(u"channel: " + Utf8ToString(OneLineValue(ch.Title)));
      for (int j = 0; j < ch.Items->Count(); ++j)
        Print(u"item: " + Utf8ToString(OneLineValue(ch.Items->GetItem(j)->Title)));
    }
  } else if (auto* tracker = dynamic_cast<TKwInetCustomTracker*>(&c); tracker && ok) {
    const TKwInetActivities& acts = *tracker->Activities();
    for (int i = 0; i < acts.Count(); ++i) {
      const TKwInetActivity& a = *acts.GetActivity(i);
      const String what = a.StatusTypeDescription().empty() ? a.StatusTypeCode() : a.StatusTypeDescription();
      Print(DateTimeToISOString(a.DateTime()) + u"\t" + Utf8ToString(OneLineValue(what)) + u"\t" +
            Utf8ToString(OneLineValue(a.Location()->Text())));
    }
  }
  if (auto* extractor = dynamic_cast<TKwInfoExtractor*>(&c); extractor && ok) {
    for (int i = 0; i < extractor->ExtractedInfo()->Count(); ++i)
      Print(Utf8ToString(OneLineValue(extractor->ExtractedInfo()->Strings(i))));
  }
  if (auto* updater = dynamic_cast<TKwCustomWebUpdater*>(&c); updater && ok && !updater->LocalFileName().empty())
    Print(u"file: " + updater->LocalFileName());
  return ok;
}

void Heading(TComponent& c) {
  const TClassInfo* info = ClassInfoOf(&c);
  Print(c.Name() + u": " + (info ? info->ClassName() : String()));
}

bool RunOne(TComponent& c, bool heading) {
  if (heading) Heading(c);
  if (auto* socket = dynamic_cast<TKwInetBase*>(&c)) return RunSocket(*socket, heading);
  if (auto* web = dynamic_cast<TKwCustomWebComponent*>(&c)) return RunWeb(*web);
  Failure(c, u"has no Execute");
  return false;
}

// --parallel: every component's job at once, each through ExecuteAsync; the
// results are printed in the form's order as each job ends. The number of
// jobs that failed.
int RunParallel(TComponent& root) {
  const int n = root.ComponentCount();
  std::vector<int> steps(static_cast<std::size_t>(n), 0);
  std::vector<TJobHandle> jobs(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    TComponent& c = *root.Components(i);
    if (auto* socket = dynamic_cast<TKwInetBase*>(&c)) {
      PrepareSocket(*socket, steps[i]);
      jobs[i] = socket->ExecuteAsync();
    } else if (auto* web = dynamic_cast<TKwCustomWebComponent*>(&c)) {
      PrepareWeb(*web);
      jobs[i] = web->ExecuteAsync();
    }
  }
  int failures = 0;
  for (int i = 0; i < n; ++i) {
    TComponent& c = *root.Components(i);
    Heading(c);
    bool ok = false;
    if (!jobs[i]) {
      Failure(c, u"has no Execute");
    } else {
      const TJobHandle& job = jobs[i];
      // The jobs' events (a logon prompt, the dialogs) are handled here.
      job->Wait(std::chrono::hours(24 * 365));
      if (auto* socket = dynamic_cast<TKwInetBase*>(&c)) {
        if (job->State() == jsDone)
          ok = ReportSocket(*socket, job->Result(), steps[i], true);
        else
          Failure(c, job->ErrorText());
      } else {
        auto& web = dynamic_cast<TKwCustomWebComponent&>(c);
        // Failed with Status isFailed: Execute returned false, which the
        // report tells; otherwise Execute raised.
        if (job->State() == jsDone || web.Status() == isFailed)
          ok = ReportWeb(web);
        else
          Failure(c, job->ErrorText());
      }
    }
    failures += ok ? 0 : 1;
    std::fflush(stdout);
  }
  return failures;
}

// Secrets that the form was written without: an empty published
// ClientSecret of any component from KWINET_CLIENT_SECRET, an empty
// SubscriptionKey or ApiKey from KWINET_API_KEY. Found by property name, so
// that every class that has one is served.
void FillSecrets(TComponent& root) {
  const std::pair<const char16_t*, const char*> secrets[] = {
      {u"ClientSecret", "KWINET_CLIENT_SECRET"}, {u"SubscriptionKey", "KWINET_API_KEY"}, {u"ApiKey", "KWINET_API_KEY"}};
  for (int i = 0; i < root.ComponentCount(); ++i) {
    TComponent* c = root.Components(i);
    const TClassInfo* info = ClassInfoOf(c);
    if (!info) continue;
    for (const auto& [name, env] : secrets) {
      const TPropInfo* p = info->FindProperty(name);
      if (!p || p->Kind != tkString || !p->GetString || !p->SetString || !p->GetString(c).empty()) continue;
      const char* value = std::getenv(env);
      if (value && *value) p->SetString(c, Utf8ToString(value));
    }
  }
}

int RunForm(const TRunArgs& args) {
  RegisterKwInetClasses();
  const std::string text = ReadForm(args.Form);
  std::unique_ptr<TComponent> root;
  try {
    root = ReadComponentText(text);
  } catch (const Exception& e) {
    throw ToolError(2, args.Form + ": " + e.what());
  }
  // A component stored alone would list its own parts as the form's jobs.
  if (!dynamic_cast<TCustomForm*>(root.get())) {
    const TClassInfo* info = ClassInfoOf(root.get());
    throw ToolError(2, args.Form + ": the root object " + StringToUtf8(root->Name()) + " is a " +
                           StringToUtf8(info ? info->ClassName() : root->ClassName()) +
                           ", not a form: the components to run stand inside a form (object Form1: TForm ... end), "
                           "as 'kwinet new' writes it");
  }
  FillSecrets(*root);
  if (!args.Execute.empty()) {
    if (args.Parallel) throw ToolError(2, "--parallel runs every component; it does not go with --execute");
    TComponent* c = root->FindComponent(Utf8ToString(args.Execute));
    if (!c) throw ToolError(2, args.Form + ": no component named " + args.Execute);
    return RunOne(*c, false) ? 0 : 1;
  }
  if (root->ComponentCount() == 0) throw ToolError(2, args.Form + ": no component to run");
  if (args.Parallel) return RunParallel(*root) == 0 ? 0 : 1;
  int failures = 0;
  for (int i = 0; i < root->ComponentCount(); ++i) {
    failures += RunOne(*root->Components(i), true) ? 0 : 1;
    std::fflush(stdout);
  }
  return failures == 0 ? 0 : 1;
}

void Setup(CLI::App& app) {
  static TRunArgs args;
  args = TRunArgs();
  auto* cmd = app.add_subcommand("run", "Load a stored form (see 'kwinet new') and run its components' Execute");
  cmd->add_option("FORM", args.Form, "The stored form's file")->required();
  cmd->add_option("--execute", args.Execute, "Run only the component of this name, without a heading");
  cmd->add_flag("--parallel", args.Parallel,
                "Run every component's job at once, each on a thread of its own; the results still come in the "
                "form's order");
  cmd->footer(
      "Without --execute every component runs in the form's order, each under a heading 'NAME: CLASS'. A socket "
      "component prints the text its server returned (a time client the time, DNS the answer records, SMTP the "
      "number of recipients); a web component prints its status (isFinished...), then what it left: the local "
      "file ('file: PATH'), the listing, the links, the feed's titles or the shipment's activities. The logon "
      "prompt and the progress dialog appear only on a terminal.\n"
      "With --parallel all the jobs start at once (a server that stalls costs only its own component's Timeout) and "
      "each job's heading and result are printed in the form's order once it has ended.\n"
      "Secrets that the form leaves out (see 'kwinet new --store-secrets'): an empty ClientSecret comes from "
      "KWINET_CLIENT_SECRET, an empty SubscriptionKey or ApiKey from KWINET_API_KEY.\n"
      "Exit status: 0 when every job succeeded (with --parallel too); 1 when one failed (one line each on standard "
      "error, the other jobs still run); 2 when the form cannot be read (with its line and column), its root is not "
      "a form, it holds no such component, --parallel is given with --execute, or for another usage error.");
  cmd->callback([] { ExitCode() = RunForm(args); });
}

// --- demo -------------------------------------------------------------------

int Demo() {
  try {
    support::FakeServer server([](support::FakeConnection& c) {
      c.ReadUntil("\r\n");
      const std::string name = c.Data().substr(0, c.Data().find("\r\n"));
      c.Send("% Demo whois server\r\nDomain Name: " + name + "\r\nRegistrar: Example Registrar\r\n");
    });
    support::TempDir dir("kwinet-demo");
    const std::string form = dir.File("whois.form");
    int failures = 0;
    failures += !Show({"new", "TKwWhoIs", "AutoSelectServer=False", "Domain=example.com", "Host=127.0.0.1",
                       "Port=" + std::to_string(server.Port()), "Timeout=5000", "-o", form});
    std::ifstream in(form);
    std::printf("The stored form:\n");
    for (std::string line; std::getline(in, line);) std::printf("  | %s\n", line.c_str());
    failures += !Show({"run", form});
    return failures;
  } catch (const std::runtime_error& e) {
    std::printf("cannot start the demo whois server: %s\n", e.what());
    return 1;
  }
}

Register reg({"run", 82, Setup, Demo});

}  // namespace
}  // namespace kwinet::tool
