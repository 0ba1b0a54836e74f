#include "platform/x11/fish_pictures.h"

#include <map>

#include "platform/image/gif_decoder.h"
#include "platform/x11/embedded.h"

namespace guizzolo::x11 {

const image::Image& fishPicture(Picture which) {
  // Decoded once: the pictures are the same for every window and every run.
  static std::map<Picture, image::Image> decoded;
  if (auto it = decoded.find(which); it != decoded.end()) return it->second;
  image::Image out;
  try {
    if (which == Picture::FishLeft) out = image::decodeGif(embedded::kFishLeftGif.data, embedded::kFishLeftGif.size);
    if (which == Picture::FishRight) out = image::decodeGif(embedded::kFishRightGif.data, embedded::kFishRightGif.size);
  } catch (const image::GifError& e) {
    throw Failure(e.what());
  }
  return decoded.emplace(which, std::move(out)).first->second;
}

}  // namespace guizzolo::x11
