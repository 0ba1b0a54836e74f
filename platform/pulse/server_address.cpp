#include "platform/pulse/server_address.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/pulse/native_protocol.h"

namespace guizzolo::pulse {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

bool ReadWhole(const std::string& path, std::string& bytes) {
  if (path.empty()) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  std::string got(native::kCookieBytes, '\0');
  std::size_t n = 0;
  while (n < got.size()) {
    const ssize_t r = ::read(fd, got.data() + n, got.size() - n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    n += static_cast<std::size_t>(r);
  }
  ::close(fd);
  if (n != got.size()) return false;
  bytes = std::move(got);
  return true;
}

}  // namespace

std::vector<std::string> ServerSockets() {
  const std::string named = Env("PULSE_SERVER");
  if (!named.empty()) {
    if (named.rfind("unix:", 0) == 0 && named.size() > 5) return {named.substr(5)};
    if (named[0] == '/') return {named};
    return {};
  }
  std::vector<std::string> sockets;
  const std::string runtime = Env("XDG_RUNTIME_DIR");
  if (!runtime.empty()) sockets.push_back(runtime + "/pulse/native");
  sockets.push_back("/run/pulse/native");
  return sockets;
}

std::string ReadCookie() {
  std::string cookie;
  const std::string home = Env("HOME");
  const std::string config = Env("XDG_CONFIG_HOME");
  const std::string candidates[] = {
      Env("PULSE_COOKIE"),
      !config.empty() ? config + "/pulse/cookie" : "",
      !home.empty() ? home + "/.config/pulse/cookie" : "",
      !home.empty() ? home + "/.pulse-cookie" : "",
  };
  for (const std::string& path : candidates)
    if (ReadWhole(path, cookie)) return cookie;
  return std::string(native::kCookieBytes, '\0');
}

}  // namespace guizzolo::pulse
