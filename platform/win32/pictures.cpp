#include "platform/win32/pictures.h"

#include <map>

#include "platform/image/gif_decoder.h"
#include "platform/win32/resource_ids.h"

namespace guizzolo::win32 {
namespace {

using image::decodeGif;
using image::GifError;

Image decodeResource(HINSTANCE instance, int id) {
  HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (found == nullptr) throw Failure("picture resource missing");
  HGLOBAL loaded = LoadResource(instance, found);
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) throw Failure("picture resource unreadable");
  try {
    return decodeGif(static_cast<const std::uint8_t*>(bytes), SizeofResource(instance, found));
  } catch (const GifError& e) {
    throw Failure(e.what());
  }
}

}  // namespace

const Image& sourcePicture(HINSTANCE instance, Picture picture) {
  // Decoded once: the panel and the pet are created again and again.
  static std::map<Picture, Image> cache;
  if (auto it = cache.find(picture); it != cache.end()) return it->second;
  Image image;
  if (picture == Picture::FishLeft) image = decodeResource(instance, IDR_FISH_LEFT);
  if (picture == Picture::FishRight) image = decodeResource(instance, IDR_FISH_RIGHT);
  return cache.emplace(picture, std::move(image)).first->second;
}

HCURSOR pointerCursor(HINSTANCE instance, Pointer pointer) {
  switch (pointer) {
    case Pointer::GrabHand: return LoadCursorW(instance, MAKEINTRESOURCEW(IDC_GRAB_HAND));
    case Pointer::PointingHand: return LoadCursorW(instance, MAKEINTRESOURCEW(IDC_POINT_HAND));
    case Pointer::Arrow: break;
  }
  return LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
}

HICON programIcon(HINSTANCE instance, int size) {
  // Shared: the system owns it, and it lives as long as the program.
  return static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, size, size, LR_SHARED));
}

}  // namespace guizzolo::win32
