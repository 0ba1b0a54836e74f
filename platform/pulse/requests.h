// The few commands the player sends the audio server, each a whole frame
// ready for the socket, and the reading of what comes back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/pulse/tagstruct.h"

namespace guizzolo::pulse {

std::string AuthRequest(std::uint32_t tag, std::string_view cookie);
std::string ClientNameRequest(std::uint32_t tag, std::string_view name);
// On the default sink at full volume, as a sound event.
std::string PlaySampleRequest(std::uint32_t tag, std::string_view sample);
std::string CreateUploadRequest(std::uint32_t tag, std::string_view sample, const SampleKind& kind,
                                std::uint32_t bytes);
std::string FinishUploadRequest(std::uint32_t tag, std::uint32_t channel);
std::string KillSinkInputRequest(std::uint32_t tag, std::uint32_t index);
std::string ServerInfoRequest(std::uint32_t tag);
// The head of a block of sound for a stream; the bytes follow it.
std::string SoundDescriptor(std::uint32_t channel, std::uint32_t bytes);

// A command frame from the server: its command, tag and values. Replies and
// errors answer our tags; everything else the server may say is ignored.
struct Message {
  std::uint32_t command = 0;
  std::uint32_t tag = 0;
  TagReader values{{}};
};
// Nothing when the payload is not a command.
std::optional<Message> ReadMessage(std::string_view payload);

// What a reply to each command carries; nothing when it is malformed.
// Values after those are left alone: a newer server may add some.
std::optional<std::uint32_t> ReadAuthReply(TagReader values);        // the server's version
std::optional<std::uint32_t> ReadPlayReply(TagReader values);        // the new sink input
std::optional<std::uint32_t> ReadErrorCode(TagReader values);
std::optional<std::string_view> ReadServerName(TagReader values);  // of a server info reply
struct UploadChannel {
  std::uint32_t channel = 0;
  std::uint32_t bytes = 0;  // the server waits for these
};
std::optional<UploadChannel> ReadCreateUploadReply(TagReader values);

}  // namespace guizzolo::pulse
