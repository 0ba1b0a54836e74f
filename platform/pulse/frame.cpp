#include "platform/pulse/frame.h"

namespace guizzolo::pulse {
namespace {

std::uint32_t Be32(const char* p) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(p[0])) << 24 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(p[1])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(p[2])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(p[3]));
}

void PutBe32(std::string& out, std::uint32_t value) {
  out += static_cast<char>(value >> 24);
  out += static_cast<char>(value >> 16);
  out += static_cast<char>(value >> 8);
  out += static_cast<char>(value);
}

}  // namespace

std::string Descriptor(std::uint32_t length, std::uint32_t channel, std::uint32_t flags) {
  std::string out;
  out.reserve(kDescriptorBytes);
  PutBe32(out, length);
  PutBe32(out, channel);
  PutBe32(out, 0);  // offset: sound is appended where the last block ended
  PutBe32(out, 0);
  PutBe32(out, flags);
  return out;
}

Split SplitFrame(std::string_view bytes, Frame& frame, std::size_t& used) {
  if (bytes.size() < kDescriptorBytes) return Split::kNeedMore;
  const std::uint32_t length = Be32(bytes.data());
  if (length > kMaxIncomingFrameBytes) return Split::kMalformed;
  if (bytes.size() - kDescriptorBytes < length) return Split::kNeedMore;
  frame.channel = Be32(bytes.data() + 4);
  frame.flags = Be32(bytes.data() + 16);
  frame.payload = bytes.substr(kDescriptorBytes, length);
  used = kDescriptorBytes + length;
  return Split::kFrame;
}

}  // namespace guizzolo::pulse
