#include "platform/pulse/pulse_player.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/pulse/native_protocol.h"
#include "platform/pulse/requests.h"
#include "platform/pulse/server_address.h"
#include "platform/pulse/wave_file.h"

namespace guizzolo::pulse {
namespace {

// A file is read and hashed while the caller waits, once per run: a long
// one plays its first 4 MiB (about 24 s of CD sound), which bounds that wait
// (the server itself keeps no sample above 16 MiB).
constexpr std::size_t kMaxSampleBytes = 4u << 20;
constexpr std::size_t kMaxFileBytes = kMaxSampleBytes + (256u << 10);  // room for other chunks
// The sound goes up in blocks of this size, as the server's own clients
// send it (the server's memory pool is cut into blocks of about this size).
constexpr std::size_t kUploadBlockBytes = 64u << 10;

// Names a file's bytes; eight at a time, since a long file is hashed while
// the caller waits.
std::uint64_t Hash(std::string_view bytes) {
  std::uint64_t hash = 0xcbf29ce484222325ull ^ bytes.size();
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    hash = (hash ^ word) * 0x100000001b3ull;
    hash ^= hash >> 29;
  }
  for (; i < bytes.size(); ++i) hash = (hash ^ static_cast<unsigned char>(bytes[i])) * 0x100000001b3ull;
  return hash;
}

std::uint8_t NativeFormat(SampleFormat format) {
  switch (format) {
    case SampleFormat::U8: return native::kU8;
    case SampleFormat::S16LE: return native::kS16LE;
    case SampleFormat::S24LE: return native::kS24LE;
    case SampleFormat::S32LE: return native::kS32LE;
    case SampleFormat::Float32LE: return native::kFloat32LE;
  }
  return native::kS16LE;
}

std::uint64_t Nanoseconds(const timespec& t) {
  return static_cast<std::uint64_t>(t.tv_sec) * 1000000000u + static_cast<std::uint64_t>(t.tv_nsec);
}

}  // namespace

PulsePlayer::PulsePlayer() : epoll_(::epoll_create1(EPOLL_CLOEXEC)) {
  if (epoll_ < 0) throw Failure(std::string("epoll_create1: ") + std::strerror(errno));
}

PulsePlayer::~PulsePlayer() {
  // The sound goes with its player (the server would otherwise play it to
  // its end, owned by no one); handed over only if the socket takes it now.
  // PipeWire's server ends a client's sounds with the client itself, and
  // (0.3.65, Debian 12) crashes when a client goes right after stopping one.
  if (ready_ && playing_ != native::kInvalidIndex && !pipeWire_) {
    server_.send(KillSinkInputRequest(newTag(), playing_));
    server_.flush();
  }
  disconnect();
  ::close(epoll_);
}

PulsePlayer::Sample PulsePlayer::Load(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw Failure("sound file cannot be read: " + path);
  auto bytes = std::make_shared<std::string>();
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (ok) {
    bytes->resize(std::min<std::size_t>(static_cast<std::size_t>(info.st_size), kMaxFileBytes));
    std::size_t got = 0;
    while (got < bytes->size()) {
      const ssize_t n = ::read(fd, bytes->data() + got, bytes->size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    bytes->resize(got);
  }
  ::close(fd);
  if (!ok) throw Failure("sound file cannot be read: " + path);

  const Wave wave = ParseWave(*bytes);
  Sample sample;
  sample.kind.format = NativeFormat(wave.format);
  sample.kind.channels = static_cast<std::uint8_t>(wave.channels);
  sample.kind.rate = wave.rate;
  const std::size_t frame = wave.channels * (wave.format == SampleFormat::U8          ? 1
                                              : wave.format == SampleFormat::S16LE     ? 2
                                              : wave.format == SampleFormat::S24LE     ? 3
                                                                                       : 4);
  sample.frames = wave.frames.substr(0, std::min(wave.frames.size(), kMaxSampleBytes / frame * frame));
  char name[32];
  std::snprintf(name, sizeof name, "guizzolo-%016llx", static_cast<unsigned long long>(Hash(*bytes)));
  sample.name = name;
  sample.bytes = std::move(bytes);
  return sample;
}

void PulsePlayer::open(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
    throw Failure("sound file cannot be read: " + path);
  // A file read before and unchanged since is played by its name alone:
  // the server most likely has it already.
  Sample sample;
  const auto known = known_.find(path);
  if (known != known_.end() && known->second.device == info.st_dev && known->second.inode == info.st_ino &&
      known->second.size == static_cast<std::uint64_t>(info.st_size) &&
      known->second.modified == Nanoseconds(info.st_mtim) && ::access(path.c_str(), R_OK) == 0) {
    sample.name = known->second.name;
    sample.kind = known->second.kind;
  } else {
    sample = Load(path);
    known_[path] = Known{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
                         static_cast<std::uint64_t>(info.st_size), Nanoseconds(info.st_mtim), sample.name,
                         sample.kind};
  }

  // Whatever the server said meanwhile first, so that a server gone away
  // since is noticed now and this sound connects anew.
  dispatch();
  wanted_ = std::move(sample);
  wantedPath_ = path;
  ++generation_;
  if (!server_.isOpen() && !connect()) {
    wanted_.reset();  // no server: silence
    return;
  }
  if (ready_) {
    if (playing_ != native::kInvalidIndex) {
      const std::uint32_t tag = newTag();
      ask(tag, KillSinkInputRequest(tag, playing_), {});
      playing_ = native::kInvalidIndex;
    }
    play();
  }
  flush();
}

bool PulsePlayer::connect() {
  // Never start a server of our own: no server means no sound.
  if (!server_.open(ServerSockets())) return false;
  epoll_event event{};
  event.events = EPOLLIN;
  if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, server_.socket(), &event) != 0) {
    server_.close();
    return false;
  }
  watchingWrites_ = false;
  // The requests go out together; the sound is asked for once the server
  // answered the name. PipeWire's server sets up a new client's default
  // sink until then, and refuses a sound asked for earlier as "no such
  // entity", which is also its answer for a sample it lacks.
  std::uint32_t tag = newTag();
  ask(tag, AuthRequest(tag, ReadCookie()), {Asked::kAuth, 0, false, {}});
  tag = newTag();
  ask(tag, ClientNameRequest(tag, "Guizzolo"), {Asked::kClientName, 0, false, {}});
  return true;
}

void PulsePlayer::disconnect() {
  if (server_.isOpen()) ::epoll_ctl(epoll_, EPOLL_CTL_DEL, server_.socket(), nullptr);
  server_.close();
  ready_ = false;
  pipeWire_ = false;
  pending_.clear();
  uploads_.clear();
  playing_ = native::kInvalidIndex;
}

void PulsePlayer::ask(std::uint32_t tag, std::string frame, Pending pending) {
  pending_[tag] = std::move(pending);
  server_.send(std::move(frame));
}

void PulsePlayer::flush() {
  if (!server_.isOpen()) return;
  if (!server_.flush()) {
    disconnect();
    wanted_.reset();
    return;
  }
  watch();
}

void PulsePlayer::watch() {
  // Woken for writing only while something waits to be sent, so that a
  // silent player never wakes the program.
  const bool wanted = server_.wantsToWrite();
  if (wanted == watchingWrites_) return;
  epoll_event event{};
  event.events = EPOLLIN | (wanted ? EPOLLOUT : 0u);
  ::epoll_ctl(epoll_, EPOLL_CTL_MOD, server_.socket(), &event);
  watchingWrites_ = wanted;
}

void PulsePlayer::dispatch() {
  epoll_event events[4];
  const int n = ::epoll_wait(epoll_, events, 4, 0);
  if (n <= 0 || !server_.isOpen()) return;
  bool readable = false, writable = false;
  for (int i = 0; i < n; ++i) {
    readable |= (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0;
    writable |= (events[i].events & EPOLLOUT) != 0;
  }
  if (readable && !server_.receive([this](const Frame& frame) { received(frame); })) {
    // The server went away: the next sound looks for it anew.
    disconnect();
    wanted_.reset();
    return;
  }
  if (writable || server_.wantsToWrite()) flush();
}

void PulsePlayer::received(const Frame& frame) {
  // Sound blocks and memory notices are not for us; neither is any command
  // but the answers to ours (stream requests, subscription events...).
  if (frame.channel != native::kCommandChannel || frame.flags != 0) return;
  const std::optional<Message> message = ReadMessage(frame.payload);
  if (!message || (message->command != native::kReply && message->command != native::kError)) return;
  const auto found = pending_.find(message->tag);
  if (found == pending_.end()) return;
  const Pending pending = std::move(found->second);
  pending_.erase(found);
  answered(pending, message->command == native::kError, message->values);
}

void PulsePlayer::answered(const Pending& pending, bool error, TagReader values) {
  const std::uint32_t code = error ? ReadErrorCode(values).value_or(0) : 0;
  switch (pending.what) {
    case Asked::kOther: return;
    case Asked::kAuth: {
      const std::optional<std::uint32_t> version = error ? std::nullopt : ReadAuthReply(values);
      if (!version || *version < native::kLowestVersion) {
        // Refused, or a server too old for our requests: silence until a
        // later sound tries again.
        disconnect();
        wanted_.reset();
      }
      return;
    }
    case Asked::kClientName: {
      if (error) {
        // A server that will not take a name takes nothing else either.
        disconnect();
        wanted_.reset();
        return;
      }
      ready_ = true;
      const std::uint32_t tag = newTag();
      ask(tag, ServerInfoRequest(tag), {Asked::kServerInfo, 0, false, {}});
      play();
      return;
    }
    case Asked::kServerInfo:
      if (!error) {
        const std::optional<std::string_view> name = ReadServerName(values);
        pipeWire_ = name && name->find("PipeWire") != std::string_view::npos;
      }
      return;
    case Asked::kPlay:
      played(pending, error ? std::nullopt : ReadPlayReply(values), code);
      return;
    case Asked::kCreateUpload: {
      const std::optional<UploadChannel> channel = error ? std::nullopt : ReadCreateUploadReply(values);
      if (channel)
        uploadCreated(pending.sample, channel->channel, channel->bytes);
      else
        uploadEnded(pending.sample, false);
      return;
    }
    case Asked::kFinishUpload: uploadEnded(pending.sample, !error); return;
  }
}

void PulsePlayer::play(bool afterUpload) {
  if (!wanted_ || !ready_) return;
  const std::uint32_t tag = newTag();
  ask(tag, PlaySampleRequest(tag, wanted_->name), {Asked::kPlay, generation_, afterUpload, {}});
}

void PulsePlayer::played(const Pending& play, std::optional<std::uint32_t> index, std::uint32_t error) {
  if (play.generation != generation_) {
    // A later request came meanwhile: this one must not sound on.
    if (index && *index != native::kInvalidIndex) {
      const std::uint32_t tag = newTag();
      ask(tag, KillSinkInputRequest(tag, *index), {});
    }
    return;
  }
  if (index && *index != native::kInvalidIndex) {
    playing_ = *index;
    wanted_.reset();
  } else if (error == native::kNoEntity && !play.afterUpload) {
    // Once uploaded, "no such entity" means no sink to play on (or, under
    // PipeWire, nothing linked): silence, not the sample sent again.
    upload();
  } else {
    wanted_.reset();
  }
}

void PulsePlayer::upload() {
  if (!wanted_) return;
  if (!wanted_->bytes) {
    // Known by name only: the file is read again for its sound.
    try {
      wanted_ = Load(wantedPath_);
    } catch (const Failure&) {
      wanted_.reset();
      return;
    }
  }
  if (uploads_.count(wanted_->name) != 0) return;  // it plays once that upload ends
  uploads_.emplace(wanted_->name, *wanted_);
  const std::uint32_t tag = newTag();
  ask(tag,
      CreateUploadRequest(tag, wanted_->name, wanted_->kind, static_cast<std::uint32_t>(wanted_->frames.size())),
      {Asked::kCreateUpload, 0, false, wanted_->name});
}

void PulsePlayer::uploadCreated(const std::string& name, std::uint32_t channel, std::uint32_t bytes) {
  const auto found = uploads_.find(name);
  if (found == uploads_.end()) return;
  const Sample& sample = found->second;
  // The server asks for what it was told; it gets that, queued without a copy.
  const std::string_view frames = sample.frames.substr(0, std::min<std::size_t>(bytes, sample.frames.size()));
  for (std::size_t at = 0; at < frames.size(); at += kUploadBlockBytes) {
    const std::string_view block = frames.substr(at, kUploadBlockBytes);
    server_.send(SoundDescriptor(channel, static_cast<std::uint32_t>(block.size())));
    server_.send(sample.bytes, block);
  }
  const std::uint32_t tag = newTag();
  ask(tag, FinishUploadRequest(tag, channel), {Asked::kFinishUpload, 0, false, name});
}

void PulsePlayer::uploadEnded(const std::string& name, bool done) {
  uploads_.erase(name);
  if (!wanted_ || wanted_->name != name) return;
  if (done) {
    wanted_->bytes.reset();
    play(true);
  } else {
    wanted_.reset();
  }
}

}  // namespace guizzolo::pulse
