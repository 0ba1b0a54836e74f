// The wave reader: every sound a wave file may hold, in any chunk order and
// with lying sizes, and a Failure for everything else.
#include "platform/pulse/wave_file.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/pulse/wave_builder.h"

namespace guizzolo::pulse {
namespace {

using test::Chunk;
using test::FormatChunkBody;
using test::Le;
using test::Riff;

const std::string kFrames8(6, '\x80');

struct Playable {
  const char* what;
  std::string bytes;
  SampleFormat format;
  std::uint32_t channels, rate;
  std::size_t frameBytes;
};

TEST(WaveFile, ReadsEveryPlayableKind) {
  const std::string extensibleFloat = FormatChunkBody(0xFFFE, 2, 48000, 32) + Le(22, 2) + Le(32, 2) +
                                      Le(3, 4) + Le(3, 2) + std::string(14, '\x01');
  const Playable cases[] = {
      {"8-bit mono", Riff(Chunk("fmt ", FormatChunkBody(1, 1, 8000, 8)) + Chunk("data", kFrames8)),
       SampleFormat::U8, 1, 8000, 6},
      {"16-bit stereo", Riff(Chunk("fmt ", FormatChunkBody(1, 2, 44100, 16)) + Chunk("data", std::string(8, 'a'))),
       SampleFormat::S16LE, 2, 44100, 8},
      {"24-bit mono", Riff(Chunk("fmt ", FormatChunkBody(1, 1, 96000, 24)) + Chunk("data", std::string(9, 'a'))),
       SampleFormat::S24LE, 1, 96000, 9},
      {"32-bit stereo", Riff(Chunk("fmt ", FormatChunkBody(1, 2, 22050, 32)) + Chunk("data", std::string(16, 'a'))),
       SampleFormat::S32LE, 2, 22050, 16},
      {"float mono", Riff(Chunk("fmt ", FormatChunkBody(3, 1, 11025, 32)) + Chunk("data", std::string(12, 'a'))),
       SampleFormat::Float32LE, 1, 11025, 12},
      {"extensible float", Riff(Chunk("fmt ", extensibleFloat) + Chunk("data", std::string(8, 'a'))),
       SampleFormat::Float32LE, 2, 48000, 8},
      {"data before fmt, other chunks around",
       Riff(Chunk("LIST", "odd") + Chunk("data", std::string(4, 'a')) + Chunk("junk", std::string(7, 'j')) +
            Chunk("fmt ", FormatChunkBody(1, 1, 44100, 16))),
       SampleFormat::S16LE, 1, 44100, 4},
      {"odd-sized chunk padded before data",
       Riff(Chunk("fmt ", FormatChunkBody(1, 1, 8000, 8) + "x") + Chunk("data", kFrames8)), SampleFormat::U8, 1, 8000,
       6},
      {"data cut off by the end of the file",
       Riff(Chunk("fmt ", FormatChunkBody(1, 1, 44100, 16)) + "data" + Le(1000000, 4) + std::string(11, 'a')),
       SampleFormat::S16LE, 1, 44100, 10},
      {"RIFF size larger than the file",
       "RIFF" + Le(0xFFFFFFF0u, 4) + "WAVE" + Chunk("fmt ", FormatChunkBody(1, 1, 8000, 8)) + Chunk("data", kFrames8),
       SampleFormat::U8, 1, 8000, 6},
      {"odd data length, no pad byte at the end",
       Riff(Chunk("fmt ", FormatChunkBody(1, 1, 8000, 8)) + Chunk("data", std::string(5, 'a'), false)),
       SampleFormat::U8, 1, 8000, 5},
      {"fmt chunk longer than 16 bytes",
       Riff(Chunk("fmt ", FormatChunkBody(1, 1, 8000, 8) + Le(0, 2)) + Chunk("data", kFrames8)), SampleFormat::U8, 1,
       8000, 6},
  };
  for (const Playable& c : cases) {
    SCOPED_TRACE(c.what);
    const Wave wave = ParseWave(c.bytes);
    EXPECT_EQ(wave.format, c.format);
    EXPECT_EQ(wave.channels, c.channels);
    EXPECT_EQ(wave.rate, c.rate);
    EXPECT_EQ(wave.frames.size(), c.frameBytes);
    // The frames lie inside the bytes handed in.
    EXPECT_GE(wave.frames.data(), c.bytes.data());
    EXPECT_LE(wave.frames.data() + wave.frames.size(), c.bytes.data() + c.bytes.size());
  }
}

TEST(WaveFile, KeepsTheFramesThemselves) {
  const std::string frames = "\x01\x02\x03\x04";
  const std::string bytes = Riff(Chunk("fmt ", FormatChunkBody(1, 1, 8000, 16)) + Chunk("data", frames));
  EXPECT_EQ(ParseWave(bytes).frames, frames);
}

TEST(WaveFile, RefusesWhatCannotPlay) {
  const std::string fmt16 = Chunk("fmt ", FormatChunkBody(1, 1, 44100, 16));
  const std::pair<const char*, std::string> cases[] = {
      {"empty", ""},
      {"text", "hello, this is not a wave file at all"},
      {"RIFF but not WAVE", "RIFF" + Le(4, 4) + "AVI "},
      {"header only", Riff("")},
      {"no format chunk", Riff(Chunk("data", std::string(8, 'a')))},
      {"no data chunk", Riff(fmt16)},
      {"empty data", Riff(fmt16 + Chunk("data", ""))},
      {"less than one frame", Riff(Chunk("fmt ", FormatChunkBody(1, 2, 44100, 16)) + Chunk("data", "abc"))},
      {"format chunk too short", Riff(Chunk("fmt ", std::string(10, '\x01')) + Chunk("data", "ab"))},
      {"compressed (ADPCM)", Riff(Chunk("fmt ", FormatChunkBody(2, 1, 44100, 4, 256)) + Chunk("data", "ab"))},
      {"12-bit PCM", Riff(Chunk("fmt ", FormatChunkBody(1, 1, 44100, 12, 2)) + Chunk("data", "ab"))},
      {"64-bit float", Riff(Chunk("fmt ", FormatChunkBody(3, 1, 44100, 64)) + Chunk("data", std::string(8, 'a')))},
      {"no channels", Riff(Chunk("fmt ", FormatChunkBody(1, 0, 44100, 16, 2)) + Chunk("data", "ab"))},
      {"six channels", Riff(Chunk("fmt ", FormatChunkBody(1, 6, 44100, 16)) + Chunk("data", std::string(12, 'a')))},
      {"rate zero", Riff(Chunk("fmt ", FormatChunkBody(1, 1, 0, 16)) + Chunk("data", "ab"))},
      {"rate too high", Riff(Chunk("fmt ", FormatChunkBody(1, 1, 10000000, 16)) + Chunk("data", "ab"))},
      {"frame size lies", Riff(Chunk("fmt ", FormatChunkBody(1, 2, 44100, 16, 3)) + Chunk("data", "abcdef"))},
      {"extensible too short", Riff(Chunk("fmt ", FormatChunkBody(0xFFFE, 1, 44100, 16)) + Chunk("data", "ab"))},
      {"format cut off by the end", Riff("fmt " + Le(16, 4) + "\x01\x00")},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    EXPECT_THROW(ParseWave(bytes), Failure);
  }
}

}  // namespace
}  // namespace guizzolo::pulse
