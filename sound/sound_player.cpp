#include "sound/sound_player.h"

#include "app/program_files.h"
#include "app/resume_next.h"
#include "platform/platform.h"

namespace guizzolo {

void PlaySoundFile(Platform& platform, const std::string& fileName) {
  MediaPlayer* player = nullptr;
  std::string path;
  step([&] {
    player = &platform.mediaPlayer();
    path = ProgramFile(platform, fileName);
  });
  // No file to name: nothing is opened, not even a file of another folder.
  if (player == nullptr || path.empty()) return;
  // Two separate calls on the player: a failed open is still followed by the
  // start setting, which the player simply takes.
  step([&] { player->open(path); });
  step([&] { player->setAutoStart(1); });
}

}  // namespace guizzolo
