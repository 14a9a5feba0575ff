#include "support/FtpServer.h"

#include <filesystem>
#include <fstream>
#include <sstream>

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
              "a.add_anonymous(sys.argv[2])\n"
              "class Handler(FTPHandler):\n"
              "    authorizer = a\n"
              "    passive_ports = None\n";
    if (!options.Mlsd) {
      script << "    proto_cmds = {k: v for k, v in FTPHandler.proto_cmds.items() if k not in ('MLSD', 'MLST')}\n";
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
  if (!FStarted) FError = "pyftpdlib did not start: " + ReadAll(d + "/ftpd.out");
}

std::string TFtpServer::Log() const {
  return ReadAll(FDir.Path() + "/ftpd.log");
}

}  // namespace kwinet::support
