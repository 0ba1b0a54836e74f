// Feeds arbitrary file content through the store reader and the number
// parser, as a damaged or foreign Ph.ini would.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "hunger/hunger_value.h"
#include "hunger/store.h"
#include "platform/platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  for (const std::string_view separator : {".", ",", "\xd9\xab"}) {
    const std::string field = guizzolo::FirstField(content, separator);
    if (field.size() > content.size()) __builtin_trap();
    try {
      const double value = guizzolo::ParseHunger(field, separator);
      // What the program writes back must read back to the same number.
      const std::string text = guizzolo::FormatHunger(value - 1, separator);
      const double again = guizzolo::ParseHunger(text, separator);
      if (guizzolo::FormatHunger(again, separator) != text) __builtin_trap();
    } catch (const guizzolo::Failure&) {
    }
  }
  return 0;
}
