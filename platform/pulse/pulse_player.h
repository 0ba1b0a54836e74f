// The sound player on the audio server's own sample cache (PulseAudio, or
// PipeWire serving the same protocol).
//
// Each wave file goes to the server once, as a sample named after a hash
// of its bytes, and is then played by name: a sound costs one short
// request, no stream stays open, and repeated runs share one cache entry.
// Nothing here ever waits for the server: requests are queued on the
// connection and their answers come back through dispatch(). A lost
// server is looked for again at the next sound.
//
// Driven by the program's own poll loop: poll fd() for reading and call
// dispatch() when it is readable, e.g.
//   loop.watch(player.fd(), [&player] { player.dispatch(); });
// or, under Qt, a QSocketNotifier on fd(). Everything runs on that one
// thread; no thread of its own.
#pragma once

#include <pulse/context.h>
#include <pulse/sample.h>
#include <pulse/stream.h>

#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "platform/pulse/pulse_library.h"
#include "platform/pulse/pulse_loop.h"

namespace guizzolo::pulse {

class PulsePlayer final : public MediaPlayer {
 public:
  PulsePlayer();
  ~PulsePlayer() override;
  PulsePlayer(const PulsePlayer&) = delete;
  PulsePlayer& operator=(const PulsePlayer&) = delete;

  int fd() const { return loop_.fd(); }
  void dispatch();

  // Failure when the file cannot be read or is not a playable wave file;
  // otherwise stops what plays and starts the file. No audio server: silence.
  void open(const std::string& path) override;
  // Every file starts at once anyway.
  void setAutoStart(std::int32_t) override {}

 private:
  struct Sample {
    std::string name;
    pa_sample_spec kind{};
    std::shared_ptr<const std::string> bytes;  // the file, while it may still be uploaded
    std::string_view frames;                   // into bytes
  };
  struct Known {  // a file already read, by what stat says of it
    std::uint64_t device = 0, inode = 0, size = 0, modified = 0;
    std::string name;
    pa_sample_spec kind{};
  };
  struct Upload {
    PulsePlayer* player = nullptr;
    pa_stream* stream = nullptr;
    Sample sample;
    std::size_t written = 0;
  };

  static Sample Load(const std::string& path);
  bool good() const;
  void connect();
  void disconnect();
  void play();
  void upload();
  void played(std::uint32_t index);
  static void UploadState(pa_stream* stream, void* userdata);
  static void UploadWrite(pa_stream* stream, std::size_t bytes, void* userdata);
  void uploadEnded(Upload* upload, bool done);

  PulseLoop loop_;
  const PulseLibrary* pa_ = nullptr;  // opened at the first connection
  bool connectSoon_ = false;
  pa_context* context_ = nullptr;
  std::map<std::string, Known> known_;  // by path
  std::optional<Sample> wanted_;        // the latest request, until it plays
  std::string wantedPath_;
  std::uint64_t generation_ = 0;        // of the latest request
  std::deque<std::uint64_t> asked_;     // generations of unanswered plays, oldest first
  std::uint32_t playing_ = PA_INVALID_INDEX;  // the server's id of what sounds
  std::list<Upload> uploads_;
};

}  // namespace guizzolo::pulse
