#include "platform/pulse/wave_file.h"

#include <optional>

#include "platform/platform.h"

namespace guizzolo::pulse {
namespace {

constexpr std::uint16_t kPcm = 1;
constexpr std::uint16_t kFloat = 3;
constexpr std::uint16_t kExtensible = 0xFFFE;
constexpr std::uint32_t kMaxRate = 384000;  // the server's own limit

std::uint32_t Le(std::string_view bytes, std::size_t at, std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < width; ++i)
    value |= std::uint32_t{static_cast<unsigned char>(bytes[at + i])} << (8 * i);
  return value;
}

[[noreturn]] void Unplayable(const std::string& why) { throw Failure("not a playable wave file: " + why); }

struct Format {
  std::uint16_t tag = 0;
  std::uint32_t channels = 0, rate = 0, blockAlign = 0, bits = 0;
};

Format ReadFormat(std::string_view chunk) {
  if (chunk.size() < 16) Unplayable("format chunk too short");
  Format f;
  f.tag = static_cast<std::uint16_t>(Le(chunk, 0, 2));
  f.channels = Le(chunk, 2, 2);
  f.rate = Le(chunk, 4, 4);
  f.blockAlign = Le(chunk, 12, 2);
  f.bits = Le(chunk, 14, 2);
  if (f.tag == kExtensible) {
    // The sub-format's first two bytes are the plain format tag.
    if (chunk.size() < 26) Unplayable("extensible format chunk too short");
    f.tag = static_cast<std::uint16_t>(Le(chunk, 24, 2));
  }
  return f;
}

SampleFormat SampleFormatOf(const Format& f) {
  if (f.tag == kFloat && f.bits == 32) return SampleFormat::Float32LE;
  if (f.tag != kPcm) Unplayable("compressed or unknown encoding");
  switch (f.bits) {
    case 8: return SampleFormat::U8;
    case 16: return SampleFormat::S16LE;
    case 24: return SampleFormat::S24LE;
    case 32: return SampleFormat::S32LE;
    default: Unplayable("unsupported sample size");
  }
}

}  // namespace

Wave ParseWave(std::string_view bytes) {
  if (bytes.size() < 12 || bytes.substr(0, 4) != "RIFF" || bytes.substr(8, 4) != "WAVE")
    Unplayable("no RIFF WAVE header");
  // The RIFF length is not trusted: the chunks run to the end of the bytes.
  std::optional<Format> format;
  std::optional<std::string_view> data;
  std::size_t at = 12;
  while (bytes.size() - at >= 8 && !(format && data)) {
    const std::string_view id = bytes.substr(at, 4);
    const std::size_t size = Le(bytes, at + 4, 4);
    at += 8;
    // A chunk cut off by the end of the file keeps what is there.
    const std::string_view body = bytes.substr(at, size);
    if (id == "fmt " && !format) format = ReadFormat(body);
    if (id == "data" && !data) data = body;
    if (size >= bytes.size() - at) break;
    at += size + (size & 1);  // chunks are padded to an even length
  }
  if (!format) Unplayable("no format chunk");
  if (!data) Unplayable("no data chunk");
  Wave wave;
  wave.format = SampleFormatOf(*format);
  wave.channels = format->channels;
  wave.rate = format->rate;
  if (wave.channels != 1 && wave.channels != 2) Unplayable("neither mono nor stereo");
  if (wave.rate == 0 || wave.rate > kMaxRate) Unplayable("sample rate out of range");
  const std::size_t frameBytes = wave.channels * (format->bits / 8);
  if (format->blockAlign != frameBytes) Unplayable("frame size does not match the format");
  wave.frames = data->substr(0, data->size() / frameBytes * frameBytes);
  if (wave.frames.empty()) Unplayable("no sound in it");
  return wave;
}

}  // namespace guizzolo::pulse
