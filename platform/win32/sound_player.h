// The sound player: wave files handed to PlaySound from a worker thread.
// PlaySound stops the sound before it starts the next one, and on an audio
// device that hangs that wait can last; the pet must keep swimming, so the
// user-interface thread only leaves the file name for the worker.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace guizzolo::win32 {

class Win32MediaPlayer final : public MediaPlayer {
 public:
  Win32MediaPlayer() = default;
  ~Win32MediaPlayer() override;
  Win32MediaPlayer(const Win32MediaPlayer&) = delete;
  Win32MediaPlayer& operator=(const Win32MediaPlayer&) = delete;

  // Failure when the file is not there; otherwise the sound starts in the
  // background. A request while the worker is busy replaces any request
  // still waiting: only the newest sound matters.
  void open(const std::string& path) override;
  // Every file starts by itself anyway.
  void setAutoStart(std::int32_t) override {}

 private:
  void run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::wstring pending_;
  bool hasPending_ = false;
  bool stopping_ = false;
  std::thread worker_;
};

}  // namespace guizzolo::win32
