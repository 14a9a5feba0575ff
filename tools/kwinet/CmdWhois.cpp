// kwinet whois: the registration record of a domain or address.
#include <cstdio>
#include <limits>

#include "DemoSupport.h"
#include "Tool.h"
#include "kwinet/socket/KwWhoIs.h"

namespace kwinet::tool {
namespace {

struct Options {
  std::string Host;
  int Port = 43;
  int Timeout = 30000;
  std::string Domain;
} opt;

void RunWhois() {
  TKwWhoIs whois(nullptr);
  whois.SetDomain(Utf8ToString(opt.Domain));
  if (!opt.Host.empty()) whois.SetHost(Utf8ToString(opt.Host));
  whois.SetPort(opt.Port);
  whois.SetTimeout(opt.Timeout);
  // A step that failed never reaches AfterExecute; its message is the text.
  bool answered = false;
  whois.SetOnAfterExecute([&](TObject*, String&) { answered = true; });
  const String text = whois.Execute();
  if (!answered) throw ToolError(1, StringToUtf8(text));
  PrintBytes(StringToBytes(text));
}

void Setup(CLI::App& app) {
  auto* cmd = app.add_subcommand(
      "whois", "Ask a whois server for the record of DOMAIN (the server is chosen by the domain's last label)");
  cmd->add_option("--host", opt.Host, "Whois server to ask instead of the one the table chooses");
  cmd->add_option("--port", opt.Port, "Server port")->capture_default_str()->check(CLI::Range(1, 65535));
  cmd->add_option("--timeout", opt.Timeout,
                  "Milliseconds to wait for the connection, then for the whole answer (0 = no bound)")
      ->capture_default_str()
      ->check(CLI::Range(0, std::numeric_limits<int>::max()));
  cmd->add_option("DOMAIN", opt.Domain, "The domain name or IPv4 address to look up")->required();
  cmd->footer(
      "Exit status: 0 with the server's text printed as it came (a record that mentions 404 or 401 is text, "
      "not an HTTP status); 1 when the server cannot be reached or does not answer in time; 2 for a usage "
      "error.");
  cmd->callback(RunWhois);
}

int Demo() {
  try {
    // A whois server of our own that answers with the line it was asked.
    support::FakeServer server([](support::FakeConnection& c) {
      c.ReadUntil("\r\n");
      const std::string name = c.Data().substr(0, c.Data().find("\r\n"));
      c.Send("% Demo whois server\r\nDomain Name: " + name + "\r\nRegistrar: Example Registrar\r\n");
    });
    return Show({"whois", "--host", "127.0.0.1", "--port", std::to_string(server.Port()), "example.com"}) ? 0 : 1;
  } catch (const std::runtime_error& e) {
    std::printf("cannot start the demo whois server: %s\n", e.what());
    return 1;
  }
}

Register reg({"whois", 20, Setup, Demo});

}  // namespace
}  // namespace kwinet::tool
