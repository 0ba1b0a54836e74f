// The sound player. Audio is never touched on the user-interface thread: an
// audio server that accepts the connection but never answers would freeze
// the pet for as long as it keeps silent. A worker thread owns the sound
// and is handed each file by a queued call, so open() returns at once.
#pragma once

#include <QObject>
#include <QString>
#include <string>

#include "platform/platform.h"

class QSoundEffect;
class QThread;

namespace guizzolo::qt {

// Lives in the worker thread.
class SoundWorker final : public QObject {
 public:
  // Stops what plays and starts the file.
  void play(const QString& path);

 private:
  void release();
  QSoundEffect* effect_ = nullptr;  // the sound that plays, if any
};

class QtMediaPlayer final : public MediaPlayer {
 public:
  QtMediaPlayer() = default;
  ~QtMediaPlayer() override;
  QtMediaPlayer(const QtMediaPlayer&) = delete;
  QtMediaPlayer& operator=(const QtMediaPlayer&) = delete;

  // Failure when the file is missing or unreadable; otherwise queued.
  void open(const std::string& path) override;
  // The sound starts with every file anyway.
  void setAutoStart(std::int32_t) override {}

 private:
  QThread* thread_ = nullptr;
  SoundWorker* worker_ = nullptr;
};

}  // namespace guizzolo::qt
