#include "platform/pulse/requests.h"

#include "platform/pulse/frame.h"
#include "platform/pulse/native_protocol.h"

namespace guizzolo::pulse {
namespace {

std::string Packet(const TagWriter& body) {
  return Descriptor(static_cast<std::uint32_t>(body.bytes().size()), native::kCommandChannel) + body.bytes();
}

TagWriter Command(std::uint32_t command, std::uint32_t tag) {
  TagWriter w;
  w.u32(command).u32(tag);
  return w;
}

}  // namespace

std::string AuthRequest(std::uint32_t tag, std::string_view cookie) {
  return Packet(Command(native::kAuth, tag).u32(native::kVersion).arbitrary(cookie));
}

std::string ClientNameRequest(std::uint32_t tag, std::string_view name) {
  return Packet(Command(native::kSetClientName, tag).proplist({{"application.name", std::string(name)}}));
}

std::string PlaySampleRequest(std::uint32_t tag, std::string_view sample) {
  return Packet(Command(native::kPlaySample, tag)
                    .u32(native::kInvalidIndex)
                    .nullString()
                    .u32(native::kVolumeNorm)
                    .string(sample)
                    .proplist({{"media.role", "event"}}));
}

std::string CreateUploadRequest(std::uint32_t tag, std::string_view sample, const SampleKind& kind,
                                std::uint32_t bytes) {
  const std::vector<std::uint8_t> positions =
      kind.channels == 1 ? std::vector<std::uint8_t>{native::kMono}
                         : std::vector<std::uint8_t>{native::kFrontLeft, native::kFrontRight};
  return Packet(Command(native::kCreateUploadStream, tag)
                    .string(sample)
                    .sampleKind(kind)
                    .channelMap(positions)
                    .u32(bytes)
                    .proplist({{"media.name", std::string(sample)}}));
}

std::string FinishUploadRequest(std::uint32_t tag, std::uint32_t channel) {
  return Packet(Command(native::kFinishUploadStream, tag).u32(channel));
}

std::string KillSinkInputRequest(std::uint32_t tag, std::uint32_t index) {
  return Packet(Command(native::kKillSinkInput, tag).u32(index));
}

std::string ServerInfoRequest(std::uint32_t tag) { return Packet(Command(native::kGetServerInfo, tag)); }

std::string SoundDescriptor(std::uint32_t channel, std::uint32_t bytes) { return Descriptor(bytes, channel); }

std::optional<Message> ReadMessage(std::string_view payload) {
  TagReader values(payload);
  const auto command = values.u32();
  if (!command) return std::nullopt;
  const auto tag = values.u32();
  if (!tag) return std::nullopt;
  return Message{*command, *tag, values};
}

std::optional<std::uint32_t> ReadAuthReply(TagReader values) {
  const auto version = values.u32();
  if (!version) return std::nullopt;
  return *version & native::kVersionMask;
}

std::optional<std::uint32_t> ReadPlayReply(TagReader values) {
  const auto index = values.u32();
  return index;
}

std::optional<std::uint32_t> ReadErrorCode(TagReader values) {
  const auto code = values.u32();
  return code;
}

std::optional<std::string_view> ReadServerName(TagReader values) { return values.string(); }

std::optional<UploadChannel> ReadCreateUploadReply(TagReader values) {
  const auto channel = values.u32();
  const auto bytes = channel ? values.u32() : std::nullopt;
  if (!bytes) return std::nullopt;
  return UploadChannel{*channel, *bytes};
}

}  // namespace guizzolo::pulse
