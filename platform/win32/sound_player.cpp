#include "platform/win32/sound_player.h"

#include "platform/win32/win_api.h"
#include <mmsystem.h>

#include "platform/win32/utf8.h"

namespace guizzolo::win32 {

Win32MediaPlayer::~Win32MediaPlayer() {
  if (!worker_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  worker_.join();
}

void Win32MediaPlayer::open(const std::string& path) {
  const std::wstring wide = widen(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
    throw Failure("no such sound file");
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_ = wide;
    hasPending_ = true;
    if (!worker_.joinable()) worker_ = std::thread([this] { run(); });
  }
  wake_.notify_one();
}

void Win32MediaPlayer::run() {
  for (;;) {
    std::wstring path;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return hasPending_ || stopping_; });
      if (stopping_) break;
      path.swap(pending_);
      hasPending_ = false;
    }
    // SND_NODEFAULT: an unplayable file stays silent instead of ringing the
    // system's default sound.
    PlaySoundW(path.c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT);
  }
  PlaySoundW(nullptr, nullptr, 0);
}

}  // namespace guizzolo::win32
