// The sound player on the audio server's own sample cache (PulseAudio, or
// PipeWire serving the same protocol), spoken to directly over its native
// protocol: no audio library is loaded.
//
// Each wave file goes to the server once, as a sample named after a hash
// of its bytes, and is then played by name: a sound costs one short
// request, no stream stays open, and repeated runs share one cache entry.
// Nothing here ever waits for the server: requests are queued on the
// connection, sent when the socket takes them, and their answers come back
// through dispatch(). A lost server is looked for again at the next sound;
// none is ever started.
//
// Driven by the program's own poll loop: poll fd() for reading and call
// dispatch() when it is readable, e.g.
//   loop.watch(player.fd(), [&player] { player.dispatch(); });
// fd() is an epoll set holding the server socket, watched for writing too
// while requests wait: it turns readable then, so the loop never needs to
// watch anything for writing itself. Everything runs on that one thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/pulse/server_connection.h"
#include "platform/pulse/tagstruct.h"

namespace guizzolo::pulse {

class PulsePlayer final : public MediaPlayer {
 public:
  PulsePlayer();  // Failure when the descriptor cannot be made
  ~PulsePlayer() override;
  PulsePlayer(const PulsePlayer&) = delete;
  PulsePlayer& operator=(const PulsePlayer&) = delete;

  int fd() const { return epoll_; }
  void dispatch();

  // Failure when the file cannot be read or is not a playable wave file;
  // otherwise stops what plays and starts the file. No audio server: silence.
  void open(const std::string& path) override;
  // Every file starts at once anyway.
  void setAutoStart(std::int32_t) override {}

 private:
  struct Sample {
    std::string name;
    SampleKind kind;
    std::shared_ptr<const std::string> bytes;  // the file, while it may still be uploaded
    std::string_view frames;                   // into bytes
  };
  struct Known {  // a file already read, by what stat says of it
    std::uint64_t device = 0, inode = 0, size = 0, modified = 0;
    std::string name;
    SampleKind kind;
  };
  enum class Asked { kAuth, kClientName, kServerInfo, kOther, kPlay, kCreateUpload, kFinishUpload };
  struct Pending {
    Asked what = Asked::kOther;
    std::uint64_t generation = 0;  // of a play
    bool afterUpload = false;      // a play that follows our own upload
    std::string sample;            // of an upload
  };

  static Sample Load(const std::string& path);
  bool connect();
  void disconnect();
  std::uint32_t newTag() { return nextTag_++; }
  // A command whose answer the player waits for, under its tag.
  void ask(std::uint32_t tag, std::string frame, Pending pending);
  void flush();
  void watch();
  void received(const Frame& frame);
  void answered(const Pending& pending, bool error, TagReader values);
  void play(bool afterUpload = false);
  void played(const Pending& play, std::optional<std::uint32_t> index, std::uint32_t error);
  void upload();
  void uploadCreated(const std::string& name, std::uint32_t channel, std::uint32_t bytes);
  void uploadEnded(const std::string& name, bool done);

  int epoll_ = -1;
  bool watchingWrites_ = false;
  ServerConnection server_;
  bool ready_ = false;  // the server took our cookie and our name
  bool pipeWire_ = false;  // the server is PipeWire's pulse server
  std::uint32_t nextTag_ = 0;
  std::map<std::uint32_t, Pending> pending_;  // by tag
  std::map<std::string, Sample> uploads_;     // by name, until the server has them
  std::map<std::string, Known> known_;        // by path
  std::optional<Sample> wanted_;              // the latest request, until it plays
  std::string wantedPath_;
  std::uint64_t generation_ = 0;              // of the latest request
  std::uint32_t playing_ = 0xFFFFFFFFu;       // the server's id of what sounds
};

}  // namespace guizzolo::pulse
