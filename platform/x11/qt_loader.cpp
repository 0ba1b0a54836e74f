#include "platform/x11/qt_loader.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>

namespace guizzolo::x11 {
namespace {

bool fileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

std::string noBusAddress(const char* busAddress, const char* runtimeDir, bool (*exists)(const std::string&)) {
  if (busAddress != nullptr && *busAddress != '\0') return {};
  if (runtimeDir != nullptr && *runtimeDir != '\0' && exists(std::string(runtimeDir) + "/bus")) return {};
  // A socket path that cannot exist: a connection fails at once, and
  // nothing is launched, where an empty address would autolaunch a bus.
  return "unix:path=/dev/null/no-session-bus";
}

qtmodule::Module* openQtModule(const std::string& programFolder, qtmodule::Host& host) {
  if (programFolder.empty()) throw Failure("no program folder: the panel's module cannot be found");
  const std::string address =
      noBusAddress(std::getenv("DBUS_SESSION_BUS_ADDRESS"), std::getenv("XDG_RUNTIME_DIR"), &fileExists);
  if (!address.empty()) ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
  // Under Wayland a window can neither place itself nor stay on top: Qt's
  // windows go through XWayland, as the X11 pet does. Only a session with
  // no XWayland at all gets Qt's own Wayland platform.
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform == nullptr || *platform == '\0') {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool x = display != nullptr && *display != '\0';
    ::setenv("QT_QPA_PLATFORM", !x && wayland != nullptr && *wayland != '\0' ? "wayland" : "xcb", 1);
  }
  // The program itself is the session manager's client: Qt must not
  // register a second one.
  ::unsetenv("SESSION_MANAGER");
  // Qt's own dispatcher (poll), not GLib's: one wait per tick, as before Qt.
  ::setenv("QT_NO_GLIB", "1", 1);

  const std::string path = programFolder + "/" + kQtModuleFile;
  void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) throw Failure(std::string("the panel's module cannot be opened: ") + ::dlerror());
  using Entry = qtmodule::Module* (*)(int, qtmodule::Host*);
  auto entry = reinterpret_cast<Entry>(::dlsym(module, GUIZZOLO_QT_MODULE_ENTRY));
  qtmodule::Module* opened = entry != nullptr ? entry(qtmodule::kVersion, &host) : nullptr;
  // The module stays loaded for the rest of the run: its windows and Qt's
  // own threads live on.
  if (opened == nullptr) throw Failure("the panel's module is of another build");
  return opened;
}

}  // namespace guizzolo::x11
