#include "platform/qt/sound_worker.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QSoundEffect>
#include <QThread>
#include <QUrl>

namespace guizzolo::qt {

void SoundWorker::play(const QString& path) {
  release();
  QSoundEffect* effect = effect_ = new QSoundEffect(this);
  effect->setSource(QUrl::fromLocalFile(path));
  effect->play();
  // An open audio stream keeps this thread and the audio server busy even
  // in silence, and the pet is silent nearly all the time: once the sound
  // has ended, its stream goes.
  connect(effect, &QSoundEffect::playingChanged, this, [this, effect] {
    if (effect == effect_ && !effect->isPlaying()) release();
  });
}

void SoundWorker::release() {
  if (effect_ == nullptr) return;
  effect_->stop();
  effect_->deleteLater();
  effect_ = nullptr;
}

QtMediaPlayer::~QtMediaPlayer() {
  if (thread_ == nullptr) return;
  QMetaObject::invokeMethod(worker_, &QObject::deleteLater, Qt::QueuedConnection);
  thread_->quit();
  // A worker stuck in a silent audio server cannot be waited for; the
  // thread is then left to the end of the process.
  if (thread_->wait(QDeadlineTimer(2000))) delete thread_;
}

void QtMediaPlayer::open(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || ::access(path.c_str(), R_OK) != 0)
    throw Failure("sound file cannot be read: " + path);
  if (thread_ == nullptr) {
    thread_ = new QThread;
    thread_->setObjectName(QStringLiteral("sound"));
    worker_ = new SoundWorker;
    worker_->moveToThread(thread_);
    thread_->start();
  }
  const QString file = QFile::decodeName(QByteArray::fromStdString(path));
  SoundWorker* worker = worker_;
  QMetaObject::invokeMethod(worker, [worker, file] { worker->play(file); }, Qt::QueuedConnection);
}

}  // namespace guizzolo::qt
