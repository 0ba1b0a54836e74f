// The sound player against a scripted audio server that behaves as
// PipeWire's does with a new client: it takes the cookie at once but sets up
// the client's default sink before it answers the client's name, and until
// then refuses every sound with "no such entity". Player and server share
// this thread, so each step of the exchange is exact.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/pulse/frame.h"
#include "platform/pulse/native_protocol.h"
#include "platform/pulse/pulse_player.h"
#include "platform/pulse/requests.h"
#include "tests/pulse/wave_builder.h"

namespace guizzolo::pulse {
namespace {

namespace fs = std::filesystem;

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0;
}

class ScriptedServer {
 public:
  ScriptedServer(const fs::path& path, std::string name) : name_(std::move(name)) {
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(listener_, 4), 0);
  }
  ~ScriptedServer() {
    if (peer_ >= 0) ::close(peer_);
    ::close(listener_);
  }

  // Answers all that has arrived; false when nothing had.
  bool serve() {
    if (peer_ < 0) {
      if (!Readable(listener_)) return false;
      peer_ = ::accept(listener_, nullptr, nullptr);
    }
    if (!Readable(peer_)) return false;
    char buffer[65536];
    const ssize_t n = ::read(peer_, buffer, sizeof buffer);
    if (n <= 0) return false;
    received_.append(buffer, static_cast<std::size_t>(n));
    std::size_t start = 0, used = 0;
    pulse::Frame frame;
    while (SplitFrame(std::string_view(received_).substr(start), frame, used) == Split::kFrame) {
      start += used;
      if (frame.channel == native::kCommandChannel) command(frame.payload);
    }
    received_.erase(0, start);
    return true;
  }

  // The client's default sink is set up: the name is answered at last.
  void nameTheClient() {
    named_ = true;
    if (nameTag_) reply(*nameTag_, TagWriter{});
  }

  std::vector<std::string> played;  // samples, by the successful plays
  int refused = 0, stopped = 0;

 private:
  void command(std::string_view payload) {
    const std::optional<Message> message = ReadMessage(payload);
    ASSERT_TRUE(message);
    TagReader values = message->values;
    switch (message->command) {
      case native::kAuth: reply(message->tag, TagWriter{}.u32(native::kVersion)); return;
      case native::kSetClientName:  // held until the client is named
        nameTag_ = message->tag;
        if (named_) reply(*nameTag_, TagWriter{});
        return;
      case native::kCreateUploadStream: {
        upload_ = std::string(values.string().value_or(""));
        reply(message->tag, TagWriter{}.u32(0).u32(1u << 24));  // channel 0, whatever it has
        return;
      }
      case native::kFinishUploadStream: samples_.insert(upload_); reply(message->tag, TagWriter{}); return;
      case native::kPlaySample: {
        values.u32();
        values.nullString();
        values.u32();
        const std::string name(values.string().value_or(""));
        if (!named_ || samples_.count(name) == 0) {
          ++refused;
          send(TagWriter{}.u32(native::kError).u32(message->tag).u32(native::kNoEntity));
          return;
        }
        played.push_back(name);
        reply(message->tag, TagWriter{}.u32(static_cast<std::uint32_t>(played.size())));
        return;
      }
      case native::kGetServerInfo: reply(message->tag, TagWriter{}.string(name_).string("15.0.0")); return;
      case native::kKillSinkInput: ++stopped; reply(message->tag, TagWriter{}); return;
      default: reply(message->tag, TagWriter{}); return;
    }
  }
  void reply(std::uint32_t tag, const TagWriter& values) {
    send(TagWriter{}.u32(native::kReply).u32(tag).bytes() + values.bytes());
  }
  void send(const TagWriter& body) { send(body.bytes()); }
  void send(const std::string& body) {
    const std::string frame = Descriptor(static_cast<std::uint32_t>(body.size()), native::kCommandChannel) + body;
    // The client may have gone meanwhile.
    const ssize_t sent = ::send(peer_, frame.data(), frame.size(), MSG_NOSIGNAL);
    ASSERT_TRUE(sent == static_cast<ssize_t>(frame.size()) || errno == EPIPE);
  }

  std::string name_;
  int listener_ = -1, peer_ = -1;
  std::string received_, upload_;
  std::set<std::string> samples_;
  std::optional<std::uint32_t> nameTag_;
  bool named_ = false;
};

// Runs player and server in turn until neither has anything left to say.
void Settle(PulsePlayer& player, ScriptedServer& server) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  bool busy = true;
  while (busy && std::chrono::steady_clock::now() < end) {
    busy = server.serve();
    if (Readable(player.fd())) {
      player.dispatch();
      busy = true;
    }
  }
  ASSERT_FALSE(busy) << "the exchange never ended";
}

// A folder with two wave files, where the player finds the server.
class Setting {
 public:
  Setting() {
    char name[] = "/tmp/guizzolo-pulse-handshake-XXXXXX";
    folder_ = ::mkdtemp(name);
    ::setenv("PULSE_SERVER", ("unix:" + socket().string()).c_str(), 1);
    std::ofstream(first(), std::ios::binary) << test::ToneWave(0.1, 300);
    std::ofstream(last(), std::ios::binary) << test::ToneWave(0.1, 600);
  }
  ~Setting() {
    ::unsetenv("PULSE_SERVER");
    fs::remove_all(folder_);
  }
  fs::path socket() const { return folder_ / "native"; }
  std::string first() const { return (folder_ / "first.wav").string(); }
  std::string last() const { return (folder_ / "last.wav").string(); }

 private:
  fs::path folder_;
};

TEST(PulseHandshake, ASoundWaitsUntilTheServerHasAnsweredTheClientName) {
  Setting setting;
  ScriptedServer server(setting.socket(), "pulseaudio");
  PulsePlayer player;
  player.open(setting.first());
  Settle(player, server);
  player.open(setting.last());  // asked for meanwhile: replaces the first
  Settle(player, server);
  EXPECT_EQ(server.refused, 0) << "a sound was asked for before the server answered the client name";
  server.nameTheClient();
  Settle(player, server);
  ASSERT_EQ(server.played.size(), 1u) << "the sound asked for before the name was answered never played";
  player.open(setting.last());
  Settle(player, server);
  ASSERT_EQ(server.played.size(), 2u);
  EXPECT_EQ(server.played[0], server.played[1]) << "the last sound asked for is the one that plays";
}

TEST(PulseHandshake, APlayerGoingAwayStopsItsSoundUnlessPipeWireDoesSo) {
  // PipeWire's pulse server ends a client's sounds with the client, and
  // 0.3.65 crashes when a client goes right after stopping one of them.
  for (const auto& [name, stops] : {std::pair{"pulseaudio", 1}, {"PulseAudio (on PipeWire 0.3.65)", 0}}) {
    Setting setting;
    ScriptedServer server(setting.socket(), name);
    server.nameTheClient();
    {
      PulsePlayer player;
      player.open(setting.first());
      Settle(player, server);
      ASSERT_EQ(server.played.size(), 1u) << name;
      player.open(setting.last());  // stops the first: always
      Settle(player, server);
      ASSERT_EQ(server.played.size(), 2u) << name;
      ASSERT_EQ(server.stopped, 1) << name;
    }
    while (server.serve()) {}
    EXPECT_EQ(server.stopped, 1 + stops) << name;
  }
}

}  // namespace
}  // namespace guizzolo::pulse
