// Finding the audio server and talking to it over a socket of the test's
// own: which sockets and cookie are used, and a connection that never
// blocks, whatever the other end does.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/pulse/server_address.h"
#include "platform/pulse/server_connection.h"

namespace guizzolo::pulse {
namespace {

namespace fs = std::filesystem;

// Sets environment variables for one scope, restoring them after.
class Env {
 public:
  void set(const char* name, const char* value) {
    saved_.emplace(name, Get(name));
    if (value != nullptr) ::setenv(name, value, 1); else ::unsetenv(name);
  }
  ~Env() {
    for (const auto& [name, value] : saved_)
      if (value) ::setenv(name.c_str(), value->c_str(), 1); else ::unsetenv(name.c_str());
  }

 private:
  static std::optional<std::string> Get(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
  }
  std::map<std::string, std::optional<std::string>> saved_;
};

class Folder {
 public:
  Folder() {
    char name[] = "/tmp/guizzolo-pulse-unit-XXXXXX";
    path_ = ::mkdtemp(name);
  }
  ~Folder() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }
  std::string write(const std::string& name, const std::string& bytes) const {
    fs::create_directories((path_ / name).parent_path());
    std::ofstream(path_ / name, std::ios::binary) << bytes;
    return (path_ / name).string();
  }

 private:
  fs::path path_;
};

TEST(PulseServer, LooksForTheSocketWhereTheServerSaysItIs) {
  struct Case {
    const char* server;
    const char* runtime;
    std::vector<std::string> sockets;
  };
  const Case cases[] = {
      {"unix:/tmp/a/native", "/r", {"/tmp/a/native"}},
      {"/tmp/b/native", "/r", {"/tmp/b/native"}},
      {"tcp:localhost:4713", "/r", {}},
      {"localhost", "/r", {}},
      {"unix:", "/r", {}},
      {nullptr, "/run/user/1000", {"/run/user/1000/pulse/native", "/run/pulse/native"}},
      {"", "/run/user/1000", {"/run/user/1000/pulse/native", "/run/pulse/native"}},
      {nullptr, nullptr, {"/run/pulse/native"}},
  };
  for (const Case& c : cases) {
    Env env;
    env.set("PULSE_SERVER", c.server);
    env.set("XDG_RUNTIME_DIR", c.runtime);
    EXPECT_EQ(ServerSockets(), c.sockets) << (c.server ? c.server : "(unset)");
  }
}

TEST(PulseServer, TakesTheFirstWholeCookieElseZeros) {
  Folder folder;
  const std::string a(256, 'a'), b(256, 'b'), c(256, 'c');
  const std::string named = folder.write("named", a);
  const std::string shortCookie = folder.write("short", std::string(100, 'x'));
  folder.write("home/.config/pulse/cookie", b);
  folder.write("home/.pulse-cookie", c);
  folder.write("config/pulse/cookie", std::string(300, 'd'));
  const std::string home = (folder.path() / "home").string(), empty = (folder.path() / "none").string();
  const std::string config = (folder.path() / "config").string();
  struct Case {
    const char* what;
    const char* cookie;
    std::string home, config;
    std::string want;
  };
  const Case cases[] = {
      {"named", named.c_str(), home, "", a},
      {"named but short", shortCookie.c_str(), home, "", b},
      {"named but missing", "/nonexistent/cookie", home, "", b},
      {"config folder first, its first 256 bytes", nullptr, home, config, std::string(256, 'd')},
      {"home's config", nullptr, home, "", b},
      {"none", nullptr, empty, "", std::string(256, '\0')},
  };
  for (const Case& t : cases) {
    Env env;
    env.set("PULSE_COOKIE", t.cookie);
    env.set("HOME", t.home.c_str());
    env.set("XDG_CONFIG_HOME", t.config.empty() ? nullptr : t.config.c_str());
    EXPECT_EQ(ReadCookie(), t.want) << t.what;
  }
  Env env;
  env.set("PULSE_COOKIE", nullptr);
  env.set("XDG_CONFIG_HOME", nullptr);
  env.set("HOME", home.c_str());
  fs::remove(folder.path() / "home/.config/pulse/cookie");
  EXPECT_EQ(ReadCookie(), c) << "the old place";
}

// A listening socket standing in for the server.
class FakeServer {
 public:
  explicit FakeServer(const fs::path& path) : path_(path.string()) {
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path_.c_str());
    EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(listener_, 4), 0);
  }
  ~FakeServer() {
    if (peer_ >= 0) ::close(peer_);
    ::close(listener_);
  }
  const std::string& path() const { return path_; }
  void accept() { peer_ = ::accept(listener_, nullptr, nullptr); }
  void write(const std::string& bytes) { ASSERT_EQ(::write(peer_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }
  std::string read(std::size_t n) {
    std::string out(n, '\0');
    std::size_t got = 0;
    while (got < n) {
      const ssize_t r = ::read(peer_, out.data() + got, n - got);
      if (r <= 0) break;
      got += static_cast<std::size_t>(r);
    }
    out.resize(got);
    return out;
  }
  void hangUp() {
    ::close(peer_);
    peer_ = -1;
  }

 private:
  std::string path_;
  int listener_ = -1, peer_ = -1;
};

std::string Frame(std::uint32_t channel, const std::string& payload) {
  auto be = [](std::uint32_t v) {
    return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                       static_cast<char>(v)};
  };
  return be(static_cast<std::uint32_t>(payload.size())) + be(channel) + be(0) + be(0) + be(0) + payload;
}

bool Readable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, ms) > 0;
}

TEST(PulseServer, ConnectsToTheFirstSocketThatAnswers) {
  Folder folder;
  FakeServer server(folder.path() / "native");
  ServerConnection connection;
  EXPECT_FALSE(connection.open({(folder.path() / "missing").string()}));
  EXPECT_FALSE(connection.open({}));
  ASSERT_TRUE(connection.open({(folder.path() / "missing").string(), server.path()}));
  server.accept();
  auto kept = std::make_shared<const std::string>("0123456789");
  connection.send("head");
  connection.send(kept, std::string_view(*kept).substr(2, 5));
  kept.reset();  // the queue keeps the bytes alive
  ASSERT_TRUE(connection.flush());
  EXPECT_FALSE(connection.wantsToWrite());
  EXPECT_EQ(server.read(9), "head23456");
}

TEST(PulseServer, PassesOnWholeFramesHoweverTheyArrive) {
  Folder folder;
  FakeServer server(folder.path() / "native");
  ServerConnection connection;
  ASSERT_TRUE(connection.open({server.path()}));
  server.accept();
  std::vector<std::string> got;
  auto collect = [&got](const pulse::Frame& f) { got.push_back(std::to_string(f.channel) + ":" + std::string(f.payload)); };
  const std::string both = Frame(0xFFFFFFFFu, "first") + Frame(3, "xy");
  for (const char c : both) {  // a byte at a time
    server.write(std::string(1, c));
    ASSERT_TRUE(Readable(connection.socket(), 1000));
    ASSERT_TRUE(connection.receive(collect));
  }
  EXPECT_EQ(got, (std::vector<std::string>{"4294967295:first", "3:xy"}));
  got.clear();
  server.write(Frame(1, "a") + Frame(2, "") + Frame(4, "b"));  // several at once
  ASSERT_TRUE(Readable(connection.socket(), 1000));
  ASSERT_TRUE(connection.receive(collect));
  EXPECT_EQ(got, (std::vector<std::string>{"1:a", "2:", "4:b"}));
  EXPECT_TRUE(connection.receive(collect)) << "nothing there is no failure";
}

TEST(PulseServer, AnImpossibleFrameOrAHangUpEndsTheConnection) {
  Folder folder;
  for (const bool hangUp : {false, true}) {
    FakeServer server(folder.path() / (hangUp ? "hang-up" : "garbage"));
    ServerConnection connection;
    ASSERT_TRUE(connection.open({server.path()}));
    server.accept();
    if (hangUp) server.hangUp(); else server.write(std::string(20, '\xff'));
    ASSERT_TRUE(Readable(connection.socket(), 1000));
    EXPECT_FALSE(connection.receive([](const pulse::Frame&) { ADD_FAILURE() << "a frame out of nothing"; }))
        << (hangUp ? "hang-up" : "garbage");
  }
}

TEST(PulseServer, NeverBlocksOnAFullSocketNorDiesOfAClosedOne) {
  Folder folder;
  FakeServer server(folder.path() / "native");
  ServerConnection connection;
  ASSERT_TRUE(connection.open({server.path()}));
  server.accept();
  const auto big = std::make_shared<const std::string>(8u << 20, 's');
  connection.send(big, *big);
  ASSERT_TRUE(connection.flush()) << "a full socket is no failure";
  EXPECT_TRUE(connection.wantsToWrite()) << "8 MiB cannot fit a socket's buffer";
  // The server reads it all meanwhile; the rest goes as the socket takes it.
  std::size_t read = 0;
  while (connection.wantsToWrite()) {
    read += server.read(64u << 10).size();
    ASSERT_TRUE(connection.flush());
  }
  read += server.read(big->size() - read).size();
  EXPECT_EQ(read, big->size());

  server.hangUp();
  connection.send(std::string(4096, 'x'));
  bool broke = false;
  for (int i = 0; i < 3 && !broke; ++i) broke = !connection.flush();  // and no SIGPIPE
  EXPECT_TRUE(broke);
}

}  // namespace
}  // namespace guizzolo::pulse
