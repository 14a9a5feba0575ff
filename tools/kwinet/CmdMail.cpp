// kwinet mail: sends one message through an SMTP server.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <string_view>
#include <vector>

#include "DemoSupport.h"
#include "Secret.h"
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
  std::string User, Password, PasswordFile;
  bool PasswordGiven = false;
  bool AllowPlainAuth = false;
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

// Text from a pipe, a device or standard input has no size to go by and
// is held in memory whole: past this bound it is refused.
constexpr std::size_t kMaxUnsizedBody = std::size_t(16) << 20;

std::string ReadBounded(int fd, const std::string& name) {
  std::string text;
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw ToolError(1, "cannot read " + name + ": " + std::strerror(errno));
    if (n == 0) return text;
    if (text.size() + static_cast<std::size_t>(n) > kMaxUnsizedBody)
      throw ToolError(
          1, "the message text from " + name + " is longer than 16 MiB; give it as a regular file with --body-file");
    text.append(buffer, static_cast<std::size_t>(n));
  }
}

bool IsAscii(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Whether a file holds only ASCII, read a piece at a time.
bool FileIsAscii(const std::string& file) {
  std::ifstream f(file, std::ios::binary);
  if (!f) throw ToolError(1, "cannot open " + file + ": " + std::strerror(errno));
  std::vector<char> piece(64 * 1024);
  while (f) {
    f.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    if (!IsAscii(std::string_view(piece.data(), static_cast<std::size_t>(f.gcount())))) return false;
  }
  if (f.bad()) throw ToolError(1, "cannot read " + file);
  return true;
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
  smtp->SetAllowPlainAuth(o.AllowPlainAuth);
  // Found before the password is asked for, and before anything is sent.
  if (!o.User.empty() && o.Tls.empty() && !o.AllowPlainAuth)
    throw ToolError(2,
                    "--user without --tls would send the password readable to anyone on the way: use --tls starttls "
                    "or --tls implicit, or --allow-plain-auth to send it anyway");
  if (!o.User.empty()) {
    String user = Utf8ToString(o.User), password = Utf8ToString(o.Password);
    bool given = o.PasswordGiven;
    if (!given) {
      const std::string secret = ReadSecret("--password", "", o.PasswordFile, kSmtpPasswordEnv);
      given = !secret.empty();
      password = Utf8ToString(secret);
    }
    // Without any, the password is asked for on the terminal, unseen.
    if (!given && !KwInAskLogon(u"SMTP server authorization", user, password))
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
  // A regular file is read while the message is sent; standard input, a
  // pipe or a device is read first, up to a bound.
  struct stat st {};
  const bool fromStdin = o.BodyFile.empty() || o.BodyFile == "-";
  bool ascii = true;
  if (!fromStdin && ::stat(o.BodyFile.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    ascii = FileIsAscii(o.BodyFile);
    smtp->SetBodyFile(Utf8ToString(o.BodyFile));
  } else {
    std::string body;
    if (fromStdin) {
      body = ReadBounded(STDIN_FILENO, "standard input");
    } else {
      const int fd = ::open(o.BodyFile.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) throw ToolError(1, "cannot open " + o.BodyFile + ": " + std::strerror(errno));
      struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
      } closer{fd};
      body = ReadBounded(fd, o.BodyFile);
    }
    ascii = IsAscii(body);
    smtp->Body()->SetText(Utf8ToString(body));
  }
  if (!ascii) {
    smtp->SetCharSet(u"utf-8");
    smtp->SetEncoding(u"quoted-printable");
  }
  for (const auto& f : o.Attach) smtp->Attachments()->Add()->SetFileName(Utf8ToString(f));
  const String result = smtp->Execute();
  if (!result.empty()) throw ToolError(1, StringToUtf8(result));
  // The message is delivered: a session that ended badly afterwards is only
  // worth a warning (a failure would make the user send it a second time).
  if (!smtp->Warning().empty()) std::fprintf(stderr, "kwinet: warning: %s\n", OneLineValue(smtp->Warning()).c_str());
  std::printf("Sent to %zu recipient(s).\n", o.To.size() + o.Cc.size() + o.Bcc.size());
}

void Setup(CLI::App& app) {
  // The demo runs the tool several times in one process: start afresh.
  MailOptions& o = Options() = MailOptions{};
  auto* mail =
      app.add_subcommand("mail",
                         "Send a mail message, with attachments, through an SMTP server.\nExit 0 once the server has "
                         "accepted the message (a failed QUIT after that is only a warning);\naddresses with spaces, "
                         "angle brackets or control characters are refused (exit 2); a message text over 16 MiB from "
                         "standard\ninput, a pipe or a device is refused (exit 1);\n--user without --tls is "
                         "refused unless --allow-plain-auth is given (exit 2)");
  mail->add_option("--server", o.Server, "The SMTP server's host name or address")->required();
  mail->add_option("--port", o.Port, "The server's port (25; 465 with --tls implicit)");
  mail->add_option("--tls", o.Tls, "Protect the connection: starttls (after the greeting) or implicit")
      ->check(CLI::IsMember({"starttls", "implicit"}));
  mail->add_option("--ca", o.CA, "A file of trusted CA certificates (default: the system's)");
  auto* user =
      mail->add_option("--user", o.User, "Log in (AUTH LOGIN) with this user name; needs --tls or --allow-plain-auth");
  mail->add_option("--password", o.Password,
                   "The password for --user (other users can read it in the process list: prefer --password-file "
                   "or " + std::string(kSmtpPasswordEnv) + ")")
      ->needs(user)
      ->each([&o](const std::string&) { o.PasswordGiven = true; });
  mail->add_option("--password-file", o.PasswordFile,
                   "A file whose first line is the password for --user; refused (exit status 2) when its group or "
                   "others may read it. Without --password or --password-file, the password comes from " +
                       std::string(kSmtpPasswordEnv) + ", else it is asked for on the terminal")
      ->needs(user);
  mail->add_flag("--allow-plain-auth", o.AllowPlainAuth,
                 "Let --user log in without --tls, the password readable to anyone on the way (refused otherwise)");
  mail->add_option("--from", o.From, "The sender, e.g. 'Ann <ann@example.org>'")->required();
  mail->add_option("--to", o.To, "A recipient (repeat for more)")->required();
  mail->add_option("--cc", o.Cc, "A recipient of a copy (repeat for more)");
  mail->add_option("--bcc", o.Bcc, "A recipient of a blind copy, named in no header (repeat for more)");
  mail->add_option("--subject", o.Subject, "The subject");
  mail->add_option("--attach", o.Attach, "A file to attach (repeat for more)");
  mail->add_option("--body-file", o.BodyFile,
                   "The message text (default: standard input); a regular file is read while it is sent, standard "
                   "input, a pipe or a device up to 16 MiB");
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
