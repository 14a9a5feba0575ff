#include "kwinet/ui/qt/QtDisplay.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QLibraryInfo>
#include <QStringList>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#ifdef KWINET_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace kwinet::qt {

namespace {

constexpr int kConnectTimeoutMs = 2000;

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Connects with a bounded wait; true when the peer accepted.
bool ConnectWithin(int fd, const sockaddr* addr, socklen_t len) {
  const int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  if (::connect(fd, addr, len) == 0) return true;
  if (errno != EINPROGRESS) return false;
  pollfd p{fd, POLLOUT, 0};
  int n;
  do n = ::poll(&p, 1, kConnectTimeoutMs);
  while (n < 0 && errno == EINTR);
  if (n <= 0) return false;
  int err = 0;
  socklen_t errLen = sizeof err;
  return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &errLen) == 0 && err == 0;
}

// The X connection setup without authorisation, in our byte order: any X
// server answers it within moments, with Success, Failed or Authenticate.
// True when such an answer came within the bound; a server that stays
// silent or sends something else would keep a client of libxcb waiting.
bool XHandshakeAnswered(int fd) {
  const std::uint16_t one = 1;
  char order;
  std::memcpy(&order, &one, 1);
  const unsigned char setup[12] = {static_cast<unsigned char>(order == 1 ? 'l' : 'B'), 0,
                                   static_cast<unsigned char>(order == 1 ? 11 : 0),
                                   static_cast<unsigned char>(order == 1 ? 0 : 11)};
  if (::send(fd, setup, sizeof setup, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof setup)) return false;
  unsigned char head[8];
  std::size_t got = 0;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
  while (got < sizeof head) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    const int n = ::poll(&p, 1, static_cast<int>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    const ssize_t r = ::recv(fd, head + got, sizeof head - got, 0);
    if (r < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (r <= 0) return false;
    got += static_cast<std::size_t>(r);
  }
  // Failed (0) and Success (1) carry the protocol's major version, 11.
  std::uint16_t major;
  std::memcpy(&major, head + 2, 2);
  return head[0] == 2 || ((head[0] == 0 || head[0] == 1) && major == 11);
}

// Check, when given, is run on the connected socket.
bool ConnectUnix(const std::string& path, bool abstract, const std::function<bool(int)>& Check = {}) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::size_t offset = abstract ? 1 : 0;
  if (path.size() + offset >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path + offset, path.data(), path.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
  const bool ok = ConnectWithin(fd, reinterpret_cast<sockaddr*>(&addr), len) && (!Check || Check(fd));
  ::close(fd);
  return ok;
}

bool ConnectTcp(const std::string& host, int port, const std::function<bool(int)>& Check = {}) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &res) != 0) return false;
  bool ok = false;
  for (addrinfo* a = res; a && !ok; a = a->ai_next) {
    const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    ok = ConnectWithin(fd, a->ai_addr, a->ai_addrlen) && (!Check || Check(fd));
    ::close(fd);
  }
  ::freeaddrinfo(res);
  return ok;
}

// An X server named by DISPLAY ("[host]:number[.screen]") that answers.
bool XServerAnswers(const std::string& display, String& Why) {
  Why = u"no display: the X server " + Utf8ToString(display) + u" cannot be reached";
  const std::size_t colon = display.rfind(':');
  if (colon == std::string::npos) {
    Why = u"no display: DISPLAY " + Utf8ToString(display) + u" is not a display name";
    return false;
  }
  const std::string host = display.substr(0, colon);
  const int number = std::atoi(display.c_str() + colon + 1);
  // Reached first with a bounded wait of our own: a connection to a host
  // that does not answer could otherwise hang for minutes.
  // The handshake is bounded as well, before libxcb makes its own.
  bool silent = false;
  const auto handshake = [&silent](int fd) {
    silent = !XHandshakeAnswered(fd);
    return !silent;
  };
  if (host.empty() || host == "unix") {
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
    if (!ConnectUnix(path, false, handshake) && (silent || !ConnectUnix(path, true, handshake))) {
      if (silent) Why = u"no display: the X server " + Utf8ToString(display) + u" does not complete its handshake";
      return false;
    }
  } else if (!ConnectTcp(host, 6000 + number, handshake)) {
    if (silent) Why = u"no display: the X server " + Utf8ToString(display) + u" does not complete its handshake";
    return false;
  }
#ifdef KWINET_HAVE_XCB
  // Then a connection as Qt makes it, authorisation included.
  xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
  const int error = xcb_connection_has_error(c);
  xcb_disconnect(c);
  if (error != 0) return false;
#endif
  Why.clear();
  return true;
}

bool WaylandAnswers(const std::string& name, String& Why) {
  std::string path = name;
  if (path.empty() || path[0] != '/') {
    const std::string runtime = Env("XDG_RUNTIME_DIR");
    if (runtime.empty()) {
      Why = u"no display: XDG_RUNTIME_DIR is not set";
      return false;
    }
    path = runtime + "/" + (path.empty() ? "wayland-0" : path);
  }
  if (ConnectUnix(path, false)) return true;
  Why = u"no display: the Wayland compositor " + Utf8ToString(name) + u" cannot be reached";
  return false;
}

// Qt can show windows on Wayland only through a platform plugin that is
// packaged apart (Debian qt6-wayland).
bool HaveWaylandPlugin() {
  QStringList folders = qEnvironmentVariable("QT_QPA_PLATFORM_PLUGIN_PATH").split(QChar(u':'), Qt::SkipEmptyParts);
  for (const QString& v : qEnvironmentVariable("QT_PLUGIN_PATH").split(QChar(u':'), Qt::SkipEmptyParts))
    folders << v + QStringLiteral("/platforms");
  folders << QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms");
  for (const QString& folder : folders)
    if (!QDir(folder).entryList({QStringLiteral("libqwayland*.so")}, QDir::Files).isEmpty()) return true;
  return false;
}

}  // namespace

bool DisplayReachable(String& Why, std::string* Platform) {
  Why.clear();
  if (Platform) Platform->clear();
  std::string platform = Env("QT_QPA_PLATFORM");
  // "xcb:option..." or a list "wayland;xcb": the first is tried first.
  platform = platform.substr(0, platform.find_first_of(":;"));
  if (platform == "offscreen" || platform == "minimal" || platform == "vnc" || platform == "linuxfb" ||
      platform == "eglfs" || platform == "minimalegl" || platform == "vkkhrdisplay")
    return true;
  const std::string display = Env("DISPLAY");
  const std::string wayland = Env("WAYLAND_DISPLAY");
  if (platform == "wayland") return WaylandAnswers(wayland, Why);
  if (!platform.empty() && platform != "xcb") return true;  // Qt's own affair
  // Unset: Qt itself would try Wayland first when WAYLAND_DISPLAY is set,
  // and end the process, or fill standard error with its warnings, when
  // that fails. So the platform that answers is chosen here, and named.
  String waylandWhy;
  if (platform.empty() && !wayland.empty()) {
    if (!WaylandAnswers(wayland, waylandWhy)) {
      // The reason without its "no display: ".
      waylandWhy = waylandWhy.substr(waylandWhy.find(u": ") + 2);
    } else if (!HaveWaylandPlugin()) {
      waylandWhy = u"the Wayland compositor " + Utf8ToString(wayland) +
                   u" answers, but this Qt has no Wayland platform plugin (Debian qt6-wayland)";
    } else {
      if (Platform) *Platform = "wayland";
      return true;
    }
  }
  if (display.empty()) {
    Why = u"no display: DISPLAY is not set";
  } else if (XServerAnswers(display, Why)) {
    if (Platform) *Platform = "xcb";
    return true;
  }
  if (!waylandWhy.empty()) Why += u", and " + waylandWhy;
  return false;
}

}  // namespace kwinet::qt
