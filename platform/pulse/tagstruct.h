// The audio server's typed message body: each value is a one-byte tag and
// its bytes, numbers big-endian. The writer builds our requests; the reader
// takes apart the server's answers and trusts nothing in them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace guizzolo::pulse {

struct SampleKind {
  std::uint8_t format = 0;  // native::SampleFormat
  std::uint8_t channels = 0;
  std::uint32_t rate = 0;
  bool operator==(const SampleKind&) const = default;
};

class TagWriter {
 public:
  TagWriter& u32(std::uint32_t value);
  TagWriter& string(std::string_view text);  // no NUL inside
  TagWriter& nullString();
  TagWriter& arbitrary(std::string_view bytes);
  TagWriter& sampleKind(const SampleKind& kind);
  TagWriter& channelMap(const std::vector<std::uint8_t>& positions);
  // Text values, stored with their terminating NUL as the server expects.
  TagWriter& proplist(const std::vector<std::pair<std::string, std::string>>& properties);

  const std::string& bytes() const { return bytes_; }
  std::string take() { return std::move(bytes_); }

 private:
  void raw32(std::uint32_t value);
  std::string bytes_;
};

// Each getter returns nothing, and consumes nothing, when the next value is
// not of its kind or is cut short.
class TagReader {
 public:
  explicit TagReader(std::string_view bytes) : bytes_(bytes) {}
  std::optional<std::uint32_t> u32();
  // A null string is not a string: nullString() takes it.
  std::optional<std::string_view> string();
  bool nullString();
  std::optional<std::string_view> arbitrary();
  std::optional<SampleKind> sampleKind();
  bool atEnd() const { return bytes_.empty(); }

 private:
  std::string_view bytes_;
};

}  // namespace guizzolo::pulse
