#include "platform/pulse/pulse_player.h"

#include <fcntl.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/proplist.h>
#include <pulse/scache.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/pulse/wave_file.h"

namespace guizzolo::pulse {
namespace {

// A file is read and hashed while the caller waits, once per run: a long
// one plays its first 4 MiB (about 24 s of CD sound), which bounds that wait
// (the server itself keeps no sample above 16 MiB).
constexpr std::size_t kMaxSampleBytes = 4u << 20;
constexpr std::size_t kMaxFileBytes = kMaxSampleBytes + (256u << 10);  // room for other chunks

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

pa_sample_format_t PulseFormat(SampleFormat format) {
  switch (format) {
    case SampleFormat::U8: return PA_SAMPLE_U8;
    case SampleFormat::S16LE: return PA_SAMPLE_S16LE;
    case SampleFormat::S24LE: return PA_SAMPLE_S24LE;
    case SampleFormat::S32LE: return PA_SAMPLE_S32LE;
    case SampleFormat::Float32LE: return PA_SAMPLE_FLOAT32LE;
  }
  return PA_SAMPLE_INVALID;
}

std::uint64_t Nanoseconds(const timespec& t) {
  return static_cast<std::uint64_t>(t.tv_sec) * 1000000000u + static_cast<std::uint64_t>(t.tv_nsec);
}


}  // namespace

PulsePlayer::PulsePlayer() = default;

PulsePlayer::~PulsePlayer() { disconnect(); }

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
  sample.kind.format = PulseFormat(wave.format);
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

  wanted_ = std::move(sample);
  wantedPath_ = path;
  ++generation_;
  if (context_ != nullptr && !good()) disconnect();
  if (context_ == nullptr) {
    // Connected from the loop, so that neither the library nor the
    // connection costs the caller anything; the sound starts once connected.
    connectSoon_ = true;
    loop_.wakeSoon();
    return;
  }
  if (pa_->pa_context_get_state(context_) != PA_CONTEXT_READY) return;
  if (playing_ != PA_INVALID_INDEX) {
    if (pa_operation* op = pa_->pa_context_kill_sink_input(context_, playing_, nullptr, nullptr)) pa_->pa_operation_unref(op);
    playing_ = PA_INVALID_INDEX;
  }
  play();
}

bool PulsePlayer::good() const { return PA_CONTEXT_IS_GOOD(pa_->pa_context_get_state(context_)); }

void PulsePlayer::dispatch() {
  loop_.dispatch();
  if (connectSoon_) {
    connectSoon_ = false;
    if (context_ == nullptr && wanted_) connect();
    return;
  }
  // A lost connection goes here, outside the library's own calls; the next
  // sound connects anew.
  if (context_ != nullptr && !good()) {
    disconnect();
    wanted_.reset();
  }
}

void PulsePlayer::connect() {
  pa_ = PulseLibrary::Get();
  if (pa_ == nullptr) {  // no audio library: silence
    wanted_.reset();
    return;
  }
  context_ = pa_->pa_context_new(loop_.api(), "Guizzolo");
  if (context_ == nullptr) return;
  pa_->pa_context_set_state_callback(
      context_,
      [](pa_context* context, void* userdata) {
        auto* player = static_cast<PulsePlayer*>(userdata);
        if (player->pa_->pa_context_get_state(context) == PA_CONTEXT_READY) player->play();
      },
      this);
  // Never start a server of our own: no server means no sound.
  if (pa_->pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    disconnect();
    wanted_.reset();
  }
}

void PulsePlayer::disconnect() {
  for (Upload& upload : uploads_) {
    pa_->pa_stream_set_state_callback(upload.stream, nullptr, nullptr);
    pa_->pa_stream_set_write_callback(upload.stream, nullptr, nullptr);
    pa_->pa_stream_unref(upload.stream);
  }
  uploads_.clear();
  asked_.clear();
  playing_ = PA_INVALID_INDEX;
  if (context_ == nullptr) return;
  pa_->pa_context_set_state_callback(context_, nullptr, nullptr);
  pa_->pa_context_disconnect(context_);
  pa_->pa_context_unref(context_);
  context_ = nullptr;
}

void PulsePlayer::play() {
  if (!wanted_ || context_ == nullptr) return;
  pa_proplist* properties = pa_->pa_proplist_new();
  pa_->pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "event");
  pa_operation* op = pa_->pa_context_play_sample_with_proplist(
      context_, wanted_->name.c_str(), nullptr, PA_VOLUME_NORM, properties,
      [](pa_context*, std::uint32_t index, void* userdata) { static_cast<PulsePlayer*>(userdata)->played(index); },
      this);
  pa_->pa_proplist_free(properties);
  if (op == nullptr) return;
  asked_.push_back(generation_);
  pa_->pa_operation_unref(op);
}

void PulsePlayer::played(std::uint32_t index) {
  if (asked_.empty()) return;
  // The server answers in the order it was asked.
  const std::uint64_t generation = asked_.front();
  asked_.pop_front();
  if (generation != generation_) {
    // A later request came meanwhile: this one must not sound on.
    if (index != PA_INVALID_INDEX)
      if (pa_operation* op = pa_->pa_context_kill_sink_input(context_, index, nullptr, nullptr)) pa_->pa_operation_unref(op);
    return;
  }
  if (index != PA_INVALID_INDEX) {
    playing_ = index;
    wanted_.reset();
  } else if (pa_->pa_context_errno(context_) == PA_ERR_NOENTITY) {
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
  for (const Upload& upload : uploads_)
    if (upload.sample.name == wanted_->name) return;  // it plays once that upload ends
  pa_stream* stream = pa_->pa_stream_new(context_, wanted_->name.c_str(), &wanted_->kind, nullptr);
  if (stream == nullptr) {
    wanted_.reset();
    return;
  }
  Upload& upload = uploads_.emplace_back(Upload{this, stream, *wanted_, 0});
  pa_->pa_stream_set_state_callback(stream, UploadState, &upload);
  pa_->pa_stream_set_write_callback(stream, UploadWrite, &upload);
  if (pa_->pa_stream_connect_upload(stream, upload.sample.frames.size()) < 0) uploadEnded(&upload, false);
}

void PulsePlayer::UploadWrite(pa_stream* stream, std::size_t bytes, void* userdata) {
  auto* upload = static_cast<Upload*>(userdata);
  const PulseLibrary* pa_ = upload->player->pa_;
  const std::string_view frames = upload->sample.frames;
  const std::size_t length = std::min(bytes, frames.size() - upload->written);
  if (length == 0) return;
  if (pa_->pa_stream_write(stream, frames.data() + upload->written, length, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
  upload->written += length;
  if (upload->written == frames.size()) pa_->pa_stream_finish_upload(stream);
}

void PulsePlayer::UploadState(pa_stream* stream, void* userdata) {
  auto* upload = static_cast<Upload*>(userdata);
  switch (upload->player->pa_->pa_stream_get_state(stream)) {
    case PA_STREAM_TERMINATED: upload->player->uploadEnded(upload, true); break;
    case PA_STREAM_FAILED: upload->player->uploadEnded(upload, false); break;
    default: break;
  }
}

void PulsePlayer::uploadEnded(Upload* upload, bool done) {
  const std::string name = upload->sample.name;
  pa_->pa_stream_set_state_callback(upload->stream, nullptr, nullptr);
  pa_->pa_stream_set_write_callback(upload->stream, nullptr, nullptr);
  pa_->pa_stream_unref(upload->stream);
  uploads_.remove_if([upload](const Upload& u) { return &u == upload; });
  if (!wanted_ || wanted_->name != name) return;
  if (done) {
    wanted_->bytes.reset();
    play();
  } else {
    wanted_.reset();
  }
}

}  // namespace guizzolo::pulse
