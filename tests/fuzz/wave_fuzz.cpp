// Feeds arbitrary bytes to the wave reader, as a damaged or foreign wave
// file in the program folder would.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/platform.h"
#include "platform/pulse/wave_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    const guizzolo::pulse::Wave wave = guizzolo::pulse::ParseWave(bytes);
    // The sound lies inside the file, in whole frames of a kind the server plays.
    if (wave.frames.empty() || wave.frames.data() < bytes.data() ||
        wave.frames.data() + wave.frames.size() > bytes.data() + bytes.size())
      __builtin_trap();
    if ((wave.channels != 1 && wave.channels != 2) || wave.rate == 0) __builtin_trap();
    volatile char last = wave.frames.back();  // the bytes are really there
    (void)last;
  } catch (const guizzolo::Failure&) {
  }
  return 0;
}
