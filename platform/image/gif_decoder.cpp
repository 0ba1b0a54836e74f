#include "platform/image/gif_decoder.h"

#include <array>
#include <vector>

namespace guizzolo::image {
namespace {

class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t byte() {
    if (pos_ >= size_) throw GifError("GIF: unexpected end");
    return data_[pos_++];
  }
  int word() {
    const int low = byte();
    return low | (byte() << 8);
  }
  void skip(std::size_t n) {
    if (n > size_ - pos_) throw GifError("GIF: unexpected end");
    pos_ += n;
  }
  // The data sub-blocks that follow an extension or an image, concatenated.
  std::vector<std::uint8_t> subBlocks() {
    std::vector<std::uint8_t> out;
    for (std::uint8_t n = byte(); n != 0; n = byte()) {
      if (n > size_ - pos_) throw GifError("GIF: unexpected end");
      out.insert(out.end(), data_ + pos_, data_ + pos_ + n);
      pos_ += n;
    }
    return out;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

using Palette = std::vector<std::uint32_t>;

Palette readPalette(Reader& in, int packed) {
  Palette colours(std::size_t{1} << ((packed & 7) + 1));
  for (std::uint32_t& c : colours) {
    const std::uint32_t r = in.byte();
    const std::uint32_t g = in.byte();
    const std::uint32_t b = in.byte();
    c = (r << 16) | (g << 8) | b;
  }
  return colours;
}

// Variable-length LZW as GIF uses it, codes packed from the low bit up.
std::vector<std::uint8_t> decompress(const std::vector<std::uint8_t>& bytes, int minCodeSize,
                                     std::size_t pixelCount) {
  if (minCodeSize < 2 || minCodeSize > 11) throw GifError("GIF: bad code size");
  const int clear = 1 << minCodeSize;
  const int endOfInfo = clear + 1;
  std::array<std::uint16_t, 4096> prefix{};
  std::array<std::uint8_t, 4096> suffix{};
  std::array<std::uint8_t, 4096> first{};
  std::array<std::uint8_t, 4097> stack{};
  for (int i = 0; i < clear; ++i) {
    suffix[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    first[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  }
  std::vector<std::uint8_t> out;
  out.reserve(pixelCount);

  int codeSize = minCodeSize + 1;
  int next = clear + 2;
  int previous = -1;
  std::uint32_t bits = 0;
  int bitCount = 0;
  std::size_t pos = 0;
  while (out.size() < pixelCount) {
    while (bitCount < codeSize) {
      if (pos >= bytes.size()) return out;  // short data: the rest stays index 0
      bits |= static_cast<std::uint32_t>(bytes[pos++]) << bitCount;
      bitCount += 8;
    }
    const int code = static_cast<int>(bits & ((1u << codeSize) - 1));
    bits >>= codeSize;
    bitCount -= codeSize;

    if (code == clear) {
      codeSize = minCodeSize + 1;
      next = clear + 2;
      previous = -1;
      continue;
    }
    if (code == endOfInfo) break;
    if (previous < 0) {
      if (code >= clear) throw GifError("GIF: bad first code");
      out.push_back(static_cast<std::uint8_t>(code));
      previous = code;
      continue;
    }
    if (code > next || (code == next && next >= 4096)) throw GifError("GIF: bad code");
    // Walk the chain backwards onto the stack; the one code not yet in the
    // table (code == next) is the previous string plus its own first byte.
    std::size_t depth = 0;
    int walk = code;
    if (code == next) {
      stack[depth++] = first[static_cast<std::size_t>(previous)];
      walk = previous;
    }
    while (walk >= clear) {
      stack[depth++] = suffix[static_cast<std::size_t>(walk)];
      walk = prefix[static_cast<std::size_t>(walk)];
    }
    stack[depth++] = static_cast<std::uint8_t>(walk);
    const std::uint8_t head = static_cast<std::uint8_t>(walk);
    while (depth > 0 && out.size() < pixelCount) out.push_back(stack[--depth]);

    if (next < 4096) {
      prefix[static_cast<std::size_t>(next)] = static_cast<std::uint16_t>(previous);
      suffix[static_cast<std::size_t>(next)] = head;
      first[static_cast<std::size_t>(next)] = first[static_cast<std::size_t>(previous)];
      ++next;
      if (next == (1 << codeSize) && codeSize < 12) ++codeSize;
    }
    previous = code;
  }
  return out;
}

// Row order of an interlaced image: every 8th row from 0, every 8th from 4,
// every 4th from 2, every 2nd from 1.
std::vector<int> rowOrder(int height, bool interlaced) {
  std::vector<int> rows;
  if (!interlaced) {
    for (int y = 0; y < height; ++y) rows.push_back(y);
    return rows;
  }
  constexpr int start[] = {0, 4, 2, 1};
  constexpr int stepOf[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (int y = start[pass]; y < height; y += stepOf[pass]) rows.push_back(y);
  return rows;
}

}  // namespace

Image decodeGif(const std::uint8_t* data, std::size_t size) {
  Reader in(data, size);
  std::array<std::uint8_t, 6> signature{};
  for (std::uint8_t& c : signature) c = in.byte();
  const std::string magic(signature.begin(), signature.end());
  if (magic != "GIF87a" && magic != "GIF89a") throw GifError("not a GIF");

  Image image;
  image.width = in.word();
  image.height = in.word();
  const int screenPacked = in.byte();
  in.skip(2);  // background index, aspect ratio
  if (image.width <= 0 || image.height <= 0) throw GifError("GIF: empty picture");
  Palette global;
  if (screenPacked & 0x80) global = readPalette(in, screenPacked);

  int transparent = -1;
  for (;;) {
    const std::uint8_t block = in.byte();
    if (block == 0x21) {  // extension
      const std::uint8_t label = in.byte();
      const std::vector<std::uint8_t> body = in.subBlocks();
      if (label == 0xF9 && body.size() >= 4 && (body[0] & 1)) transparent = body[3];
      continue;
    }
    if (block != 0x2C) throw GifError("GIF: no image");
    const int left = in.word();
    const int top = in.word();
    const int width = in.word();
    const int height = in.word();
    const int packed = in.byte();
    const Palette local = (packed & 0x80) ? readPalette(in, packed) : Palette{};
    const Palette& colours = local.empty() ? global : local;
    if (colours.empty()) throw GifError("GIF: no colour table");
    const int minCodeSize = in.byte();
    const auto pixelCount = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<std::uint8_t> indices = decompress(in.subBlocks(), minCodeSize, pixelCount);
    indices.resize(pixelCount, 0);

    const auto count = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    image.rgb.assign(count, 0);
    image.opaque.assign(count, false);
    const std::vector<int> rows = rowOrder(height, (packed & 0x40) != 0);
    std::size_t i = 0;
    for (int row : rows) {
      for (int x = 0; x < width; ++x, ++i) {
        const int cx = left + x;
        const int cy = top + row;
        const int index = indices[i];
        if (cx >= image.width || cy >= image.height || index == transparent) continue;
        const auto at = static_cast<std::size_t>(cy) * static_cast<std::size_t>(image.width) +
                        static_cast<std::size_t>(cx);
        image.rgb[at] = static_cast<std::size_t>(index) < colours.size() ? colours[static_cast<std::size_t>(index)] : 0;
        image.opaque[at] = true;
      }
    }
    return image;  // the first frame is the picture
  }
}

}  // namespace guizzolo::image
