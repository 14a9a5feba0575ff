// kwinet mail: sends one message through an SMTP server.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <memory>
#include <sstream>

#include "DemoSupport.h"
#include "Tool.h"
#include "kwinet/socket/KwISMTP.h"
#include "kwinet/utils/KwILogOn.h"

namespace kwinet::tool {
namespace {

struct MailOptions {
  std::string Server;
  int Port = 0;
  std::string Tls;
  std::string CA;
  std::string User, Password;
  bool PasswordGiven = false;
  std::string From;
  std::vector<std::string> To, Cc, Bcc, Attach;
  std::string Subject;
  std::string BodyFile;
  int Timeout = 30000;
};

MailOptions& Options() {
  static MailOptions o;
  return o;
}

std::string ReadAll(std::istream& in) {
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void SendMail() {
  const MailOptions& o = Options();
  auto smtp = std::make_unique<TKwISMTP>(nullptr);
  smtp->SetHost(Utf8ToString(o.Server));
  if (o.Tls == "implicit")
    smtp->SetUseTLS(utImplicit);
  else if (o.Tls == "starttls")
    smtp->SetUseTLS(utStartTLS);
  smtp->SetPort(o.Port > 0 ? o.Port : (o.Tls == "implicit" ? 465 : 25));
  smtp->SetCACertFile(Utf8ToString(o.CA));
  smtp->SetTimeout(o.Timeout);
  if (!o.User.empty()) {
    String user = Utf8ToString(o.User), password = Utf8ToString(o.Password);
    // Without --password the password is asked for on the terminal, unseen.
    if (!o.PasswordGiven && !KwInAskLogon(u"SMTP server authorization", user, password))
      throw ToolError(1, "no password given");
    smtp->Login()->SetUseLogin(true);
    smtp->Login()->SetUserID(user);
    smtp->Login()->SetPassword(password);
  }
  smtp->From()->SetText(Utf8ToString(o.From));
  for (const auto& a : o.To) smtp->Recipients()->Add()->SetText(Utf8ToString(a));
  for (const auto& a : o.Cc) smtp->CC()->Add()->SetText(Utf8ToString(a));
  for (const auto& a : o.Bcc) smtp->BCC()->Add()->SetText(Utf8ToString(a));
  // An address that would carry ESMTP parameters or leave its angle
  // brackets is a usage error, found before anything is sent.
  auto checkAddresses = [](const char* option, const std::vector<std::string>& list, TKwIEMailAddresses& parsed) {
    for (int i = 0; i < parsed.Count(); ++i) {
      const String problem = TKwISMTP::CheckMailAddress(parsed.Items(i)->Address());
      if (!problem.empty())
        throw ToolError(2, std::string(option) + " \"" + list[static_cast<std::size_t>(i)] + "\": the mail address " +
                               StringToUtf8(problem));
    }
  };
  {
    const String problem = TKwISMTP::CheckMailAddress(smtp->From()->Address());
    if (!problem.empty()) throw ToolError(2, "--from \"" + o.From + "\": the mail address " + StringToUtf8(problem));
  }
  checkAddresses("--to", o.To, *smtp->Recipients());
  checkAddresses("--cc", o.Cc, *smtp->CC());
  checkAddresses("--bcc", o.Bcc, *smtp->BCC());
  smtp->SetSubject(Utf8ToString(o.Subject));
  std::string body;
  if (o.BodyFile.empty() || o.BodyFile == "-") {
    body = ReadAll(std::cin);
  } else {
    std::ifstream f(o.BodyFile, std::ios::binary);
    if (!f) throw ToolError(1, "cannot open " + o.BodyFile);
    body = ReadAll(f);
  }
  const String text = Utf8ToString(body);
  bool ascii = true;
  for (Char c : text) ascii = ascii && c < 128;
  if (!ascii) {
    smtp->SetCharSet(u"utf-8");
    smtp->SetEncoding(u"quoted-printable");
  }
  smtp->Body()->SetText(text);
  for (const auto& f : o.Attach) smtp->Attachments()->Add()->SetFileName(Utf8ToString(f));
  const String result = smtp->Execute();
  if (!result.empty()) throw ToolError(1, StringToUtf8(result));
  // The message is delivered: a session that ended badly afterwards is only
  // worth a warning (a failure would make the user send it a second time).
  if (!smtp->Warning().empty()) std::fprintf(stderr, "kwinet: warning: %s\n", StringToUtf8(smtp->Warning()).c_str());
  std::printf("Sent to %zu recipient(s).\n", o.To.size() + o.Cc.size() + o.Bcc.size());
}

void Setup(CLI::App& app) {
  // The demo runs the tool several times in one process: start afresh.
  MailOptions& o = Options() = MailOptions{};
  auto* mail =
      app.add_subcommand("mail",
                         "Send a mail message, with attachments, through an SMTP server.\nExit 0 once the server has "
                         "accepted the message (a failed QUIT after that is only a warning);\naddresses with spaces, "
                         "angle brackets or control characters are refused (exit 2)");
  mail->add_option("--server", o.Server, "The SMTP server's host name or address")->required();
  mail->add_option("--port", o.Port, "The server's port (25; 465 with --tls implicit)");
  mail->add_option("--tls", o.Tls, "Protect the connection: starttls (after the greeting) or implicit")
      ->check(CLI::IsMember({"starttls", "implicit"}));
  mail->add_option("--ca", o.CA, "A file of trusted CA certificates (default: the system's)");
  auto* user = mail->add_option("--user", o.User, "Log in (AUTH LOGIN) with this user name");
  mail->add_option("--password", o.Password, "The password for --user (asked for on the terminal when absent)")
      ->needs(user)
      ->each([&o](const std::string&) { o.PasswordGiven = true; });
  mail->add_option("--from", o.From, "The sender, e.g. 'Ann <ann@example.org>'")->required();
  mail->add_option("--to", o.To, "A recipient (repeat for more)")->required();
  mail->add_option("--cc", o.Cc, "A recipient of a copy (repeat for more)");
  mail->add_option("--bcc", o.Bcc, "A recipient of a blind copy, named in no header (repeat for more)");
  mail->add_option("--subject", o.Subject, "The subject");
  mail->add_option("--attach", o.Attach, "A file to attach (repeat for more)");
  mail->add_option("--body-file", o.BodyFile, "The message text (default: standard input)");
  mail->add_option("--timeout", o.Timeout, "Milliseconds to wait for the server at most (0: no bound)")
      ->check(CLI::Range(0, std::numeric_limits<int>::max()));
  mail->callback(SendMail);
}

int Demo() {
  support::TempDir dir("kwinet-demo");
  const int port = support::FreePort();
  support::TServerProcess server;
  if (!server.Start({"/usr/bin/python3", "-m", "aiosmtpd", "-n", "-l", "127.0.0.1:" + std::to_string(port), "-c",
                     "aiosmtpd.handlers.Debugging", "stdout"},
                    dir.File("smtp.log")) ||
      !server.WaitForPort(port)) {
    std::printf("aiosmtpd could not be started on loopback (Debian package python3-aiosmtpd); skipping.\n");
    return 1;
  }
  std::ofstream(dir.File("body.txt")) << "Hello,\nthe report is attached.\n.\nA line of one dot arrives intact.\n";
  std::ofstream(dir.File("report.csv")) << "month,total\nJanuary,12\nFebruary,15\n";
  const bool ok = Show({"mail", "--server", "127.0.0.1", "--port", std::to_string(port), "--from",
                        "Ann <ann@example.org>", "--to", "bob@example.org", "--bcc", "audit@example.org", "--subject",
                        "Monthly report", "--attach", dir.File("report.csv"), "--body-file", dir.File("body.txt")});
  server.Stop();
  std::ifstream log(dir.File("smtp.log"));
  std::printf("The server received:\n");
  std::string line;
  int shown = 0;
  while (std::getline(log, line) && shown < 40) {
    std::printf("  | %s\n", line.c_str());
    ++shown;
  }
  return ok ? 0 : 1;
}

Register reg({"mail", 31, Setup, Demo});

}  // namespace
}  // namespace kwinet::tool
