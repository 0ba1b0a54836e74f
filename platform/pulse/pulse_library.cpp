#include "platform/pulse/pulse_library.h"

#include <dlfcn.h>

namespace guizzolo::pulse {
namespace {

const PulseLibrary* Open() {
  void* handle = ::dlopen("libpulse.so.0", RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return nullptr;
  static PulseLibrary library;
  bool complete = true;
#define GUIZZOLO_PULSE_LOOKUP(name)                                          \
  library.name = reinterpret_cast<decltype(library.name)>(::dlsym(handle, #name)); \
  complete = complete && library.name != nullptr;
  GUIZZOLO_PULSE_FUNCTIONS(GUIZZOLO_PULSE_LOOKUP)
#undef GUIZZOLO_PULSE_LOOKUP
  // Kept open for the rest of the run: its callbacks may still be pending.
  return complete ? &library : nullptr;
}

}  // namespace

const PulseLibrary* PulseLibrary::Get() {
  static const PulseLibrary* const library = Open();
  return library;
}

}  // namespace guizzolo::pulse
