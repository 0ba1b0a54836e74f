// The one sound operation: hand the player a wave file from the program folder.
#pragma once

#include <string>

namespace guizzolo {

class Platform;

// Starts the file playing in the background and returns at once. A missing
// file or player fails silently; the pet goes on as if it had sounded.
void PlaySoundFile(Platform& platform, const std::string& fileName);

}  // namespace guizzolo
