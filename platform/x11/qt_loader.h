// Opens the Qt module of ours (the panel and the message boxes) from the
// program folder, the first time it is needed.
#pragma once

#include <string>

#include "platform/qt/module_api.h"

namespace guizzolo::x11 {

// The module's file name in the program folder.
constexpr const char* kQtModuleFile = "NuvoNuvo-qt.so";

// Failure when the module is missing, damaged or of another build. The
// environment Qt reads is made safe first: no command line, no D-Bus
// daemon started where there is no session bus.
qtmodule::Module* openQtModule(const std::string& programFolder, qtmodule::Host& host);

// Where no session bus runs, Qt must not start one (dbus-launch would
// outlive the program): an address that cannot start anything. Empty when
// the environment already names a bus or one is at its usual place.
std::string noBusAddress(const char* busAddress, const char* runtimeDir, bool (*exists)(const std::string&));

}  // namespace guizzolo::x11
