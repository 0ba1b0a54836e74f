// The audio server's native protocol as the player writes and reads it:
// the exact bytes of each value and command, the framing of what arrives
// in any cut, and answers that are short, mistyped or hostile.
#include <gtest/gtest.h>

#include <string>

#include "platform/pulse/frame.h"
#include "platform/pulse/native_protocol.h"
#include "platform/pulse/requests.h"
#include "platform/pulse/tagstruct.h"

namespace guizzolo::pulse {
namespace {

using namespace std::string_literals;

std::string Be(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}
std::string U32(std::uint32_t v) { return "L" + Be(v); }
std::string Str(const std::string& s) { return "t" + s + '\0'; }
std::string Arbitrary(const std::string& s) { return "x" + Be(static_cast<std::uint32_t>(s.size())) + s; }
std::string Property(const std::string& key, const std::string& value) {
  return Str(key) + U32(static_cast<std::uint32_t>(value.size() + 1)) + Arbitrary(value + '\0');
}
std::string CommandFrame(const std::string& body) {
  return Be(static_cast<std::uint32_t>(body.size())) + Be(0xFFFFFFFFu) + Be(0) + Be(0) + Be(0) + body;
}

TEST(PulseProtocol, EncodesEachValueAsTheServerReadsIt) {
  struct Case {
    const char* what;
    std::string got, want;
  };
  const Case cases[] = {
      {"u32", TagWriter().u32(0x01020304).take(), "L\x01\x02\x03\x04"s},
      {"string", TagWriter().string("ab").take(), "tab\0"s},
      {"empty string", TagWriter().string("").take(), "t\0"s},
      {"null string", TagWriter().nullString().take(), "N"},
      {"arbitrary", TagWriter().arbitrary("x\0y"s).take(), "x\0\0\0\3x\0y"s},
      {"sample kind", TagWriter().sampleKind({native::kS16LE, 2, 48000}).take(), "a\x03\x02\0\0\xbb\x80"s},
      {"channel map", TagWriter().channelMap({native::kFrontLeft, native::kFrontRight}).take(), "m\x02\x01\x02"s},
      {"proplist", TagWriter().proplist({{"media.role", "event"}, {"k", ""}}).take(),
       "P" + Property("media.role", "event") + Property("k", "") + "N"},
      {"empty proplist", TagWriter().proplist({}).take(), "PN"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
}

TEST(PulseProtocol, FramesEachCommandWithItsValues) {
  const std::string cookie(256, '\x5a');
  struct Case {
    const char* what;
    std::string got, want;
  };
  const Case cases[] = {
      {"auth", AuthRequest(1, cookie), CommandFrame(U32(8) + U32(1) + U32(35) + Arbitrary(cookie))},
      {"client name", ClientNameRequest(2, "Guizzolo"),
       CommandFrame(U32(9) + U32(2) + "P" + Property("application.name", "Guizzolo") + "N")},
      {"play", PlaySampleRequest(3, "guizzolo-00ff"),
       CommandFrame(U32(18) + U32(3) + U32(0xFFFFFFFFu) + "N" + U32(0x10000) + Str("guizzolo-00ff") + "P" +
                    Property("media.role", "event") + "N")},
      {"upload, stereo", CreateUploadRequest(4, "s", {native::kS16LE, 2, 44100}, 400),
       CommandFrame(U32(15) + U32(4) + Str("s") + "a\x03\x02" + Be(44100) + "m\x02\x01\x02" + U32(400) + "P" +
                    Property("media.name", "s") + "N")},
      {"upload, mono", CreateUploadRequest(5, "m", {native::kU8, 1, 8000}, 8),
       CommandFrame(U32(15) + U32(5) + Str("m") + "a\x00\x01"s + Be(8000) + "m\x01\x00"s + U32(8) + "P" +
                    Property("media.name", "m") + "N")},
      {"finish", FinishUploadRequest(6, 9), CommandFrame(U32(17) + U32(6) + U32(9))},
      {"kill", KillSinkInputRequest(7, 42), CommandFrame(U32(49) + U32(7) + U32(42))},
      {"sound block", SoundDescriptor(9, 65536), Be(65536) + Be(9) + Be(0) + Be(0) + Be(0)},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
}

TEST(PulseProtocol, SplitsFramesOnlyWhenWhole) {
  const std::string one = CommandFrame(U32(2) + U32(7));
  const std::string sound = Be(3) + Be(5) + Be(0) + Be(0) + Be(0) + "abc";
  struct Case {
    const char* what;
    std::string bytes;
    Split split;
    std::size_t used;
    std::uint32_t channel;
    std::string payload;
  };
  const Case cases[] = {
      {"nothing", "", Split::kNeedMore, 0, 0, ""},
      {"part of a descriptor", one.substr(0, 19), Split::kNeedMore, 0, 0, ""},
      {"descriptor, part of payload", one.substr(0, one.size() - 1), Split::kNeedMore, 0, 0, ""},
      {"a whole command", one, Split::kFrame, one.size(), 0xFFFFFFFFu, one.substr(20)},
      {"two in a row: the first", one + sound, Split::kFrame, one.size(), 0xFFFFFFFFu, one.substr(20)},
      {"sound for a stream", sound, Split::kFrame, 23, 5, "abc"},
      {"empty payload", CommandFrame(""), Split::kFrame, 20, 0xFFFFFFFFu, ""},
      {"just too long", Be((1u << 20) + 1) + Be(0xFFFFFFFFu) + Be(0) + Be(0) + Be(0), Split::kMalformed, 0, 0, ""},
      {"length near 4 GiB", Be(0xFFFFFFF0u) + Be(0xFFFFFFFFu) + Be(0) + Be(0) + Be(0), Split::kMalformed, 0, 0,
       ""},
  };
  for (const Case& c : cases) {
    Frame frame;
    std::size_t used = 0;
    EXPECT_EQ(SplitFrame(c.bytes, frame, used), c.split) << c.what;
    if (c.split != Split::kFrame) continue;
    EXPECT_EQ(used, c.used) << c.what;
    EXPECT_EQ(frame.channel, c.channel) << c.what;
    EXPECT_EQ(frame.payload, c.payload) << c.what;
  }
}

TEST(PulseProtocol, ReadsWellFormedAnswers) {
  const std::string reply = U32(2) + U32(7) + U32(0x80000023u) + U32(1);
  auto message = ReadMessage(reply);
  ASSERT_TRUE(message);
  EXPECT_EQ(message->command, native::kReply);
  EXPECT_EQ(message->tag, 7u);
  EXPECT_EQ(ReadAuthReply(message->values), 35u) << "the shared-memory bits are not the version";

  EXPECT_EQ(ReadPlayReply(TagReader(U32(12))), 12u);
  EXPECT_EQ(ReadErrorCode(TagReader(U32(native::kNoEntity))), native::kNoEntity);
  const auto upload = ReadCreateUploadReply(TagReader(U32(3) + U32(4096)));
  ASSERT_TRUE(upload);
  EXPECT_EQ(upload->channel, 3u);
  EXPECT_EQ(upload->bytes, 4096u);
  // Values a newer server adds after ours are left alone.
  EXPECT_EQ(ReadPlayReply(TagReader(U32(12) + Str("more"))), 12u);
  EXPECT_EQ(ReadServerName(TagReader(Str("PulseAudio (on PipeWire 0.3.65)") + Str("15.0.0") + Str("user"))),
            "PulseAudio (on PipeWire 0.3.65)");
}

TEST(PulseProtocol, RejectsShortOrMistypedAnswers) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case messages[] = {
      {"nothing", ""},
      {"command only", U32(2)},
      {"cut-off tag", U32(2) + "L\0\0"s},
      {"tag as a string", U32(2) + Str("7")},
      {"command as a null string", "N" + U32(7)},
  };
  for (const Case& c : messages) EXPECT_FALSE(ReadMessage(c.bytes)) << c.what;

  const Case indexes[] = {
      {"nothing", ""},
      {"cut-off number", "L\0\0\0"s},
      {"a string instead", Str("12")},
      {"a null string instead", "N"},
      {"an unknown tag", "?\0\0\0\x0c"s},
  };
  for (const Case& c : indexes) {
    EXPECT_FALSE(ReadPlayReply(TagReader(c.bytes))) << c.what;
    EXPECT_FALSE(ReadErrorCode(TagReader(c.bytes))) << c.what;
    EXPECT_FALSE(ReadAuthReply(TagReader(c.bytes))) << c.what;
  }
  for (const std::string& bytes : {""s, "N"s, U32(12), "tcut-off"s})
    EXPECT_FALSE(ReadServerName(TagReader(bytes))) << "no server name";
  EXPECT_FALSE(ReadCreateUploadReply(TagReader(U32(3)))) << "no byte count";
  EXPECT_FALSE(ReadCreateUploadReply(TagReader(U32(3) + "L\0"s))) << "cut-off byte count";
}

TEST(PulseProtocol, ReaderNeitherOverrunsNorConsumesOnFailure) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"string without its end", "tabc"},
      {"arbitrary longer than what is left", "x\0\0\0\x09" "abc"s},
      {"arbitrary claiming 4 GiB", "x\xff\xff\xff\xff" "abc"s},
      {"cut-off sample kind", "a\x03\x02\0\0"s},
  };
  for (const Case& c : cases) {
    TagReader reader(c.bytes);
    EXPECT_FALSE(reader.string() || reader.arbitrary() || reader.sampleKind() || reader.u32()) << c.what;
    EXPECT_FALSE(reader.atEnd()) << c.what << ": consumed on failure";
  }
  const std::string values = Str("ab") + "N" + Arbitrary("\0\1"s) + "a\x09\x01" + Be(96000) + U32(5);
  TagReader all(values);
  EXPECT_EQ(all.string(), "ab");
  EXPECT_FALSE(all.string()) << "a null string is no string";
  EXPECT_TRUE(all.nullString());
  EXPECT_EQ(all.arbitrary(), "\0\1"s);
  EXPECT_EQ(all.sampleKind(), (SampleKind{native::kS24LE, 1, 96000}));
  EXPECT_EQ(all.u32(), 5u);
  EXPECT_TRUE(all.atEnd());
}

}  // namespace
}  // namespace guizzolo::pulse
