// Feeds arbitrary bytes to the reading of what the audio server sends, as a
// broken or hostile server on the socket would: frames are cut off the
// stream, and each command frame is read as every answer the player takes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/pulse/frame.h"
#include "platform/pulse/requests.h"

using namespace guizzolo::pulse;

namespace {

void Inside(std::string_view part, std::string_view whole) {
  if (part.data() < whole.data() || part.data() + part.size() > whole.data() + whole.size()) __builtin_trap();
  if (!part.empty()) {
    volatile char last = part.back();  // the bytes are really there
    (void)last;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string_view rest = bytes;
  for (;;) {
    Frame frame;
    std::size_t used = 0;
    const Split split = SplitFrame(rest, frame, used);
    if (split != Split::kFrame) break;
    if (used < kDescriptorBytes || used > rest.size() || frame.payload.size() != used - kDescriptorBytes)
      __builtin_trap();
    Inside(frame.payload, bytes);
    rest.remove_prefix(used);
    const auto message = ReadMessage(frame.payload);
    if (!message) continue;
    (void)ReadAuthReply(message->values);
    (void)ReadPlayReply(message->values);
    (void)ReadErrorCode(message->values);
    (void)ReadCreateUploadReply(message->values);
    // Every kind of value, in turn, until the reader stops.
    TagReader reader = message->values;
    for (int i = 0; i < 64 && !reader.atEnd(); ++i) {
      if (auto s = reader.string()) Inside(*s, bytes);
      else if (auto a = reader.arbitrary()) Inside(*a, bytes);
      else if (!reader.u32() && !reader.sampleKind() && !reader.nullString()) break;
    }
  }
  return 0;
}
