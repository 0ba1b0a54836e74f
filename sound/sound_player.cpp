#include "sound/sound_player.h"

#include "app/resume_next.h"
#include "platform/platform.h"

namespace guizzolo {

void PlaySoundFile(Platform& platform, const std::string& fileName) {
  MediaPlayer* player = nullptr;
  std::string path;
  step([&] {
    player = &platform.mediaPlayer();
    path = platform.programFolder() + platform.pathSeparator() + fileName;
  });
  if (player == nullptr) return;
  // Two separate calls on the player: a failed open is still followed by the
  // start setting, which the player simply takes.
  step([&] { player->open(path); });
  step([&] { player->setAutoStart(1); });
}

}  // namespace guizzolo
