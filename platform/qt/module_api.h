// The seam between the program (which links no Qt) and the module of ours
// that holds everything made of Qt Widgets: the control panel and the
// message boxes. The program opens the module the first time one of them
// must be shown; from then on Qt waits for events on the program's behalf,
// so there is still one loop: the program's file descriptors become socket
// notifiers and its next timer a single-shot Qt timer.
//
// No Qt type crosses this seam, so the program needs no Qt header.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace guizzolo::qtmodule {

// Bumped whenever anything below changes: a module from another build is refused.
constexpr int kVersion = 2;

// What the module calls back in the program, always from within wait() or a
// modal loop of its own (the message box).
class Host {
 public:
  virtual ~Host() = default;
  virtual void fdReady(int fd) = 0;
  virtual void wakeUp() = 0;  // the time given to wakeAfter() has come
  // Qt's own connection to the X server broke: the server is gone. Qt would
  // end the program next; the program ends itself in its own way instead.
  virtual void displayLost() = 0;
};

class Module {
 public:
  virtual ~Module() = default;

  // Waiting: the program's loop iteration, once the module is open.
  virtual void watch(int fd) = 0;
  virtual void unwatch(int fd) = 0;
  virtual void wakeAfter(int milliseconds) = 0;  // < 0: no wake-up wanted
  // Waits until something happens, handles it, returns.
  virtual void wait() = 0;

  // A framed window (the control panel), created hidden.
  virtual std::unique_ptr<Window> createWindow(const WindowLayout& layout, WindowEvents& events,
                                               float twipsPerPixelX, float twipsPerPixelY) = 0;
  // Modal, one OK button. When another program is active, the box comes up
  // above every window without taking the keyboard from it.
  virtual void msgBox(const std::string& text, int style, const std::string& title) = 0;
  virtual void openUrl(const std::string& url) = 0;
};

}  // namespace guizzolo::qtmodule

// The module's one exported symbol. Returns nullptr for another version.
extern "C" guizzolo::qtmodule::Module* guizzolo_qt_module_open(int version,
                                                               guizzolo::qtmodule::Host* host);
#define GUIZZOLO_QT_MODULE_ENTRY "guizzolo_qt_module_open"
