#include "support/FtpServer.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/Ports.h"

namespace kwinet::support {

namespace {
std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}
}  // namespace

TFtpServer::TFtpServer(TFtpOptions options) {
  const char* python = "/usr/bin/python3";
  if (!HaveProgram(python) || !RunShell(std::string(python) + " -c 'import pyftpdlib' >/dev/null 2>&1")) {
    FError = "pyftpdlib is not installed (Debian package python3-pyftpdlib)";
    return;
  }
  const std::string d = FDir.Path();
  const bool tls = options.Tls != TFtpOptions::tlsNone;
  if (tls && !RunShell(std::string(python) + " -c 'import OpenSSL' >/dev/null 2>&1")) {
    FError = "pyOpenSSL is not installed (Debian package python3-openssl)";
    return;
  }
  if (tls && !FCerts.Make(d)) {
    FError = "openssl could not make the test certificates (Debian package openssl)";
    return;
  }
  std::filesystem::create_directories(Root());
  FPort = FreePort();
  {
    std::ofstream script(d + "/ftpd.py");
    script << "import logging, sys\n"
              "from pyftpdlib.authorizers import DummyAuthorizer\n"
              "from pyftpdlib.handlers import FTPHandler\n"
              "from pyftpdlib.servers import FTPServer\n"
              "logging.basicConfig(filename=sys.argv[5], level=logging.DEBUG)\n"
              "a = DummyAuthorizer()\n"
              "a.add_user(sys.argv[3], sys.argv[4], sys.argv[2], perm=sys.argv[6])\n"
              "a.add_anonymous(sys.argv[2])\n";
    if (tls) {
      // A client may start TLS on a data connection before it sends the
      // command that uses it (curl does): the handshake must not look like
      // a connection that nobody wants yet.
      script << "from pyftpdlib.handlers import TLS_FTPHandler as Base, TLS_DTPHandler\n"
                "class Dtp(TLS_DTPHandler):\n"
                "    def readable(self):\n"
                "        return self._ssl_accepting or super().readable()\n";
    } else {
      script << "Base = FTPHandler\n";
    }
    script << "class Handler(Base):\n"
              "    authorizer = a\n"
              "    passive_ports = None\n";
    if (!options.Mlsd) {
      script << "    proto_cmds = {k: v for k, v in Base.proto_cmds.items() if k not in ('MLSD', 'MLST')}\n";
    }
    if (tls) {
      const std::string name = options.WrongName ? FCerts.WrongCert : FCerts.ServerCert;
      const std::string key = options.WrongName ? FCerts.WrongKey : FCerts.ServerKey;
      script << "    certfile = '" << name << "'\n"
             << "    keyfile = '" << key << "'\n"
             << "    dtp_handler = Dtp\n"
                "    tls_control_required = True\n"
                "    tls_data_required = True\n";
    }
    if (options.Tls == TFtpOptions::tlsImplicit) {
      // The handshake comes first; the greeting waits for it.
      script << "    def handle(self):\n"
                "        self.secure_connection(self.ssl_context)\n"
                "        super().handle()\n";
    }
    script << "s = FTPServer(('127.0.0.1', int(sys.argv[1])), Handler)\n"
              "s.serve_forever()\n";
  }
  if (!FProcess.Start({python, d + "/ftpd.py", std::to_string(FPort), Root(), options.User, options.Password,
                       d + "/ftpd.log", options.Permissions},
                      d + "/ftpd.out")) {
    FError = "pyftpdlib could not be started";
    return;
  }
  FStarted = FProcess.WaitForPort(FPort, std::chrono::seconds(10));
  if (!FStarted) {
    FError = "pyftpdlib did not start: " + ReadAll(d + "/ftpd.out");
    return;
  }
  // The wait's own connection is logged a moment later: once it is, the
  // log holds nothing that a test did not cause.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (Log().find("session closed") == std::string::npos && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

std::string TFtpServer::Log() const {
  return ReadAll(FDir.Path() + "/ftpd.log");
}

}  // namespace kwinet::support
