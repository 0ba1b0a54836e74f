#include "platform/pulse/tagstruct.h"

#include <cstring>

namespace guizzolo::pulse {
namespace {

enum Tag : char {
  kString = 't',
  kNullString = 'N',
  kU32 = 'L',
  kArbitrary = 'x',
  kSampleSpec = 'a',
  kChannelMap = 'm',
  kProplist = 'P',
};

std::uint32_t Be32(std::string_view bytes) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[0])) << 24 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[1])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[2])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[3]));
}

}  // namespace

void TagWriter::raw32(std::uint32_t value) {
  const char b[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
                     static_cast<char>(value)};
  bytes_.append(b, 4);
}

TagWriter& TagWriter::u32(std::uint32_t value) {
  bytes_ += kU32;
  raw32(value);
  return *this;
}

TagWriter& TagWriter::string(std::string_view text) {
  bytes_ += kString;
  bytes_ += text;
  bytes_ += '\0';
  return *this;
}

TagWriter& TagWriter::nullString() {
  bytes_ += kNullString;
  return *this;
}

TagWriter& TagWriter::arbitrary(std::string_view bytes) {
  bytes_ += kArbitrary;
  raw32(static_cast<std::uint32_t>(bytes.size()));
  bytes_ += bytes;
  return *this;
}

TagWriter& TagWriter::sampleKind(const SampleKind& kind) {
  bytes_ += kSampleSpec;
  bytes_ += static_cast<char>(kind.format);
  bytes_ += static_cast<char>(kind.channels);
  raw32(kind.rate);
  return *this;
}

TagWriter& TagWriter::channelMap(const std::vector<std::uint8_t>& positions) {
  bytes_ += kChannelMap;
  bytes_ += static_cast<char>(positions.size());
  for (const std::uint8_t p : positions) bytes_ += static_cast<char>(p);
  return *this;
}

TagWriter& TagWriter::proplist(const std::vector<std::pair<std::string, std::string>>& properties) {
  bytes_ += kProplist;
  for (const auto& [key, value] : properties) {
    string(key);
    const std::string stored = value + '\0';
    u32(static_cast<std::uint32_t>(stored.size()));
    arbitrary(stored);
  }
  return nullString();
}

std::optional<std::uint32_t> TagReader::u32() {
  if (bytes_.size() < 5 || bytes_[0] != kU32) return std::nullopt;
  const std::uint32_t value = Be32(bytes_.substr(1));
  bytes_.remove_prefix(5);
  return value;
}

std::optional<std::string_view> TagReader::string() {
  if (bytes_.empty() || bytes_[0] != kString) return std::nullopt;
  const std::size_t end = bytes_.find('\0', 1);
  if (end == std::string_view::npos) return std::nullopt;
  const std::string_view text = bytes_.substr(1, end - 1);
  bytes_.remove_prefix(end + 1);
  return text;
}

bool TagReader::nullString() {
  if (bytes_.empty() || bytes_[0] != kNullString) return false;
  bytes_.remove_prefix(1);
  return true;
}

std::optional<std::string_view> TagReader::arbitrary() {
  if (bytes_.size() < 5 || bytes_[0] != kArbitrary) return std::nullopt;
  const std::uint32_t length = Be32(bytes_.substr(1));
  if (length > bytes_.size() - 5) return std::nullopt;
  const std::string_view data = bytes_.substr(5, length);
  bytes_.remove_prefix(5 + length);
  return data;
}

std::optional<SampleKind> TagReader::sampleKind() {
  if (bytes_.size() < 7 || bytes_[0] != kSampleSpec) return std::nullopt;
  SampleKind kind;
  kind.format = static_cast<std::uint8_t>(bytes_[1]);
  kind.channels = static_cast<std::uint8_t>(bytes_[2]);
  kind.rate = Be32(bytes_.substr(3));
  bytes_.remove_prefix(7);
  return kind;
}

}  // namespace guizzolo::pulse
