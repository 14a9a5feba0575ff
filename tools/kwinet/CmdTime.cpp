// kwinet time: the date and time of a daytime or SNTP server.
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <limits>

#include "DemoSupport.h"
#include "Tool.h"
#include "kwinet/socket/KwISNTP.h"
#include "kwinet/socket/KwITime.h"

namespace kwinet::tool {
namespace {

struct Options {
  bool Sntp = false;
  bool Daytime = false;
  std::string Host;
  int Port = 0;
  int Timeout = 30000;
} opt;

// The first line of a server's text for an error line, printable bytes only.
std::string Excerpt(const String& text) {
  constexpr std::size_t kMost = 60;
  std::string out;
  for (Char c : text) {
    if (out.size() >= kMost) return out + "...";
    if (c == u'\r' || c == u'\n') {
      if (out.empty()) continue;  // NIST's line starts with a line feed
      break;                      // the first line is enough
    }
    out.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
  }
  return out.empty() ? std::string("(nothing)") : out;
}

void RunTime() {
  bool answered = false;
  auto mark = [&](TObject*, String&) { answered = true; };
  TDateTime value = 0;
  if (opt.Sntp) {
    TKwInetSNTP sntp(nullptr);
    if (!opt.Host.empty()) sntp.SetHost(Utf8ToString(opt.Host));
    if (opt.Port) sntp.SetPort(opt.Port);
    sntp.SetTimeout(opt.Timeout);
    sntp.SetOnAfterExecute(mark);
    const String reply = sntp.Execute();
    if (!answered) throw ToolError(1, StringToUtf8(reply));
    value = sntp.DateTimeFromReply(reply);
    if (value == 0) throw ToolError(1, "the server's answer carries no valid time (unsynchronised, zero or malformed)");
  } else {
    TKwInetDateTime daytime(nullptr);
    if (!opt.Host.empty()) daytime.SetHost(Utf8ToString(opt.Host));
    if (opt.Port) daytime.SetPort(opt.Port);
    daytime.SetTimeout(opt.Timeout);
    daytime.SetOnAfterExecute(mark);
    const String reply = daytime.Execute();
    if (!answered) throw ToolError(1, StringToUtf8(reply));
    TDateTime utc = 0;
    if (!TKwInetDateTime::TryDateTimeFromText(reply, utc))
      throw ToolError(1, "the server's answer is not a daytime line in NIST's format: " + Excerpt(reply));
    // A daytime line in NIST's format is UTC.
    value = UTCToLocal(utc);
  }
  Print(DateTimeToISOString(value));
}

void Setup(CLI::App& app) {
  auto* cmd = app.add_subcommand(
      "time", "Read the date and time from a time server and print it as local time, YYYY-MM-DD HH:MM:SS");
  auto* kind = cmd->add_option_group("protocol", "Which protocol to use");
  kind->add_flag("--sntp", opt.Sntp, "SNTP over UDP (port 123; default server pool.ntp.org)");
  kind->add_flag("--daytime", opt.Daytime,
                 "Daytime over TCP (port 13; default server time.nist.gov; NIST's line format, in UTC)");
  kind->require_option(1);
  cmd->add_option("--host", opt.Host, "Time server to ask");
  cmd->add_option("--port", opt.Port, "Server port (default: the protocol's)")->check(CLI::Range(1, 65535));
  cmd->add_option("--timeout", opt.Timeout, "Milliseconds to wait for the connection and for the answer (0 = no bound)")
      ->capture_default_str()
      ->check(CLI::Range(0, std::numeric_limits<int>::max()));
  cmd->footer(
      "Exit status: 0 with the time printed; 1 when the server cannot be reached, does not answer in time, or "
      "answers with anything but a valid time (a text that is no daytime line, an unsynchronised or zero SNTP "
      "time); 2 for a usage error.");
  cmd->callback(RunTime);
}

int Demo() {
  int failures = 0;
  // A daytime server of our own that sends the NIST line for now.
  support::FakeServer daytime([](support::FakeConnection& c) {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::gmtime_r(&now, &tm);
    char line[128];
    std::snprintf(line, sizeof line, "\n%ld %02d-%02d-%02d %02d:%02d:%02d 00 0 0 345.3 UTC(NIST) *\n",
                  static_cast<long>(now / 86400 + 40587), tm.tm_year % 100, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                  tm.tm_min, tm.tm_sec);
    c.Send(line);
  });
  if (!Show({"time", "--daytime", "--host", "127.0.0.1", "--port", std::to_string(daytime.Port())})) ++failures;

  const char* chronyd = "/usr/sbin/chronyd";
  if (!support::HaveProgram(chronyd)) {
    std::printf("chronyd is not installed: install the Debian package chrony to see the SNTP part\n");
    return failures + 1;
  }
  support::TempDir dir("kwinet-demo");
  const int port = support::FreeUdpTcpPort();
  {
    std::ofstream conf(dir.File("chrony.conf"));
    conf << "port " << port << "\nbindaddress 127.0.0.1\nallow 127.0.0.1\nlocal stratum 8\ncmdport 0\n"
         << "pidfile " << dir.File("chronyd.pid") << "\n";
  }
  std::vector<std::string> argv = {chronyd, "-f", dir.File("chrony.conf"), "-d", "-x"};
  if (::geteuid() == 0) {
    argv.insert(argv.end(), {"-u", "root"});
  } else {
    argv.push_back("-U");
  }
  std::string packet(48, '\0');
  packet[0] = 0x1B;
  support::TServerProcess server;
  std::printf("(chronyd serving this machine's clock on 127.0.0.1 port %d)\n", port);
  if (!server.Start(argv, dir.File("chronyd.log")) ||
      !server.WaitReady(
          [&] {
            return support::UdpAnswers(port, packet,
                                       [](const std::string& a) { return a.size() >= 48 && (a[0] & 0xC0) != 0xC0; });
          },
          std::chrono::seconds(10))) {
    std::printf("chronyd did not start\n");
    return failures + 1;
  }
  if (!Show({"time", "--sntp", "--host", "127.0.0.1", "--port", std::to_string(port)})) ++failures;
  return failures;
}

Register reg({"time", 21, Setup, Demo});

}  // namespace
}  // namespace kwinet::tool
