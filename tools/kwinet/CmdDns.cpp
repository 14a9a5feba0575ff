// kwinet dns: DNS queries, one line per answer record as dig prints them.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <limits>

#include "DemoSupport.h"
#include "Tool.h"
#include "kwinet/socket/KwIDNS.h"

namespace kwinet::tool {
namespace {

struct Options {
  std::string Server;
  int Port = 53;
  bool Tcp = false;
  std::vector<std::string> Types;
  int Timeout = 5000;
  std::string Name;
} opt;

const struct {
  const char* name;
  TKwIDNSRequest request;
} kTypes[] = {{"ANY", irAll},        {"A", irA},     {"NS", irNS},    {"CNAME", irName},
              {"SOA", irSOA},        {"MB", irMB},   {"MG", irMG},    {"MR", irMR},
              {"NULL", irRR},        {"WKS", irWKS}, {"PTR", irPTR},  {"HINFO", irHostInfo},
              {"MINFO", irMailInfo}, {"MX", irMX},   {"TXT", irText}, {"AXFR", irTransferRequest},
              {"MAILB", irMailB}};

std::string TypeList() {
  std::string s;
  for (const auto& t : kTypes) s += (s.empty() ? "" : ", ") + std::string(t.name);
  return s;
}

// The first name server of /etc/resolv.conf, or the local machine.
std::string SystemServer() {
  std::ifstream f("/etc/resolv.conf");
  std::string word, value;
  while (f >> word) {
    if (word == "nameserver" && f >> value) return value;
  }
  return "127.0.0.1";
}

const char* RcodeName(int rcode) {
  static const char* names[] = {"NOERROR", "FORMERR", "SERVFAIL", "NXDOMAIN", "NOTIMP", "REFUSED"};
  return rcode >= 0 && rcode < 6 ? names[rcode] : "an error";
}

void RunDns() {
  TKwIDNSRequests requests;
  for (const auto& t : opt.Types) {
    bool found = false;
    for (const auto& k : kTypes)
      if (SameText(Str(t), Str(k.name))) {
        requests.Include(k.request);
        found = true;
      }
    if (!found) throw ToolError(2, "unknown record type " + t + " (known: " + TypeList() + ")");
  }
  if (requests.Empty()) requests.Include(irA);
  std::string ascii;
  String refused;
  if (!DNSNameToAscii(Utf8ToString(opt.Name), ascii, refused)) throw ToolError(2, StringToUtf8(refused));

  TKwIDNSResolver dns(nullptr);
  dns.SetHost(Utf8ToString(opt.Server.empty() ? SystemServer() : opt.Server));
  dns.SetPort(opt.Port);
  dns.SetUseTCP(opt.Tcp);
  dns.SetTimeout(opt.Timeout);
  dns.SetDomain(Utf8ToString(opt.Name));
  dns.SetRequests(requests);
  int steps = 0;
  std::string failure;
  dns.SetOnAfterExecute([&](TObject*, String& text) {
    ++steps;
    const std::string raw = StringToBytes(text);
    const int rcode = raw.size() >= 4 ? raw[3] & 0x0F : -1;
    if (rcode > 0 && failure.empty()) failure = std::string("the server answered ") + RcodeName(rcode);
  });
  const String result = dns.Execute();
  int expected = 0;
  for (const auto& k : kTypes) expected += requests.Contains(k.request) ? 1 : 0;
  if (steps < expected) throw ToolError(1, StringToUtf8(result));
  for (const auto& r : dns.Answers())
    Print(r.Name + u" " + IntToStr(r.TTL) + u" " + DNSClassName(r.RecordClass) + u" " + DNSTypeName(r.RecordType) +
          u" " + r.Data);
  if (!failure.empty()) throw ToolError(1, failure + " for " + opt.Name);
}

void Setup(CLI::App& app) {
  auto* cmd = app.add_subcommand("dns",
                                 "Ask a DNS server for records of NAME; one line per answer record: "
                                 "name, TTL, class, type, data");
  cmd->add_option("--server", opt.Server, "DNS server (name or address; default: the first of /etc/resolv.conf)");
  cmd->add_option("--port", opt.Port, "Server port")->capture_default_str()->check(CLI::Range(1, 65535));
  cmd->add_flag("--tcp", opt.Tcp, "Ask over TCP (otherwise UDP, and TCP only for a truncated answer)");
  cmd->add_option("-t,--type", opt.Types, "Record type, may be repeated (default A): " + TypeList());
  cmd->add_option("--timeout", opt.Timeout, "Milliseconds to wait for each answer, one retry included (0 = no bound)")
      ->capture_default_str()
      ->check(CLI::Range(0, std::numeric_limits<int>::max()));
  cmd->add_option("NAME", opt.Name,
                  "The name to look up, sent in its ASCII form (IDNA for international names); "
                  "for PTR a dotted IPv4 address")
      ->required();
  cmd->callback(RunDns);
}

int Demo() {
  const char* dnsmasq = "/usr/sbin/dnsmasq";
  if (!support::HaveProgram(dnsmasq)) {
    std::printf("dnsmasq is not installed: install the Debian package dnsmasq to see this part\n");
    return 1;
  }
  support::TempDir dir("kwinet-demo");
  const int port = support::FreeUdpTcpPort();
  {
    std::ofstream conf(dir.File("dnsmasq.conf"));
    conf << "port=" << port << "\nlisten-address=127.0.0.1\nbind-interfaces\nno-resolv\nno-hosts\nno-poll\n"
         << "pid-file=\nlocal=/demo.test/\n"
         << "host-record=www.demo.test,192.0.2.10\n"
         << "mx-host=demo.test,mail.demo.test,10\n"
         << "txt-record=demo.test,\"v=spf1 -all\"\n"
         << "ptr-record=10.2.0.192.in-addr.arpa,www.demo.test\n";
    for (int i = 0; i < 4; ++i) conf << "txt-record=big.demo.test,\"" << std::string(180, 'a' + i) << "\"\n";
    if (::geteuid() == 0) conf << "user=root\n";
  }
  support::TServerProcess server;
  std::printf("(dnsmasq serving the zone demo.test on 127.0.0.1 port %d)\n", port);
  const std::string probe(
      "\x12\x34\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00\x03www\x04"
      "demo\x04test\x00\x00\x01\x00\x01",
      32);
  if (!server.Start({dnsmasq, "--keep-in-foreground", "--conf-file=" + dir.File("dnsmasq.conf"), "--log-facility=-"},
                    dir.File("dnsmasq.log")) ||
      !server.WaitReady([&] { return support::UdpAnswers(port, probe, [](const std::string&) { return true; }); },
                        std::chrono::seconds(10))) {
    std::printf("dnsmasq did not start\n");
    return 1;
  }
  const std::string p = std::to_string(port);
  int failures = 0;
  for (std::vector<std::string> args : {std::vector<std::string>{"www.demo.test"},
                                        {"-t", "MX", "-t", "TXT", "demo.test"},
                                        {"-t", "PTR", "192.0.2.10"},
                                        {"-t", "TXT", "big.demo.test"}}) {
    args.insert(args.begin(), {"dns", "--server", "127.0.0.1", "--port", p});
    if (args.back() == "big.demo.test") std::printf("(too large for one UDP answer: asked again over TCP)\n");
    if (!Show(args)) ++failures;
  }
  return failures;
}

Register reg({"dns", 22, Setup, Demo});

}  // namespace
}  // namespace kwinet::tool
