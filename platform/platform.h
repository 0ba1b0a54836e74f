// The narrow interface between the pet's own logic and the desktop it runs on.
//
// The program's code (app/, behaviour/, hunger/, sound/) sees only this header.
// It is shaped after the calls the program was designed around (window longs,
// SetWindowPos, a media player, message boxes), so each backend can map them
// one to one: Qt on X11, Win32, and a scripted fake for the unit tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace guizzolo {

// A platform call that could not be carried out. Every statement of an event
// handler may fail this way; the handler skips it and goes on (see step.h).
struct Failure : std::runtime_error {
  explicit Failure(const std::string& what) : std::runtime_error(what) {}
};

// A write the place itself refuses: its folder takes no new file and the
// file there cannot be written (no permission, a read-only medium).
struct Refused : Failure {
  explicit Refused(const std::string& what) : Failure(what) {}
};

// A file that is not there (nor a folder on its way). Any other failure to
// read a file means it is there but cannot be read now.
struct Missing : Failure {
  explicit Missing(const std::string& what) : Failure(what) {}
};

// Window-system values the program hands through unchanged.
namespace win {
constexpr int kGwlExStyle = -20;
constexpr std::int32_t kWsExLayered = 0x00080000;
constexpr std::uint32_t kLwaColorKey = 1;
constexpr std::intptr_t kHwndTopMost = -1;
constexpr std::intptr_t kHwndNoTopMost = -2;
constexpr std::uint32_t kSwpNoSize = 0x0001;
constexpr std::uint32_t kSwpNoMove = 0x0002;
constexpr std::uint32_t kSwpNoZOrder = 0x0004;
constexpr std::uint32_t kSwpNoActivate = 0x0010;
constexpr std::uint32_t kSwpShowWindow = 0x0040;
constexpr std::uint32_t kSwpHideWindow = 0x0080;
constexpr int kMbIconHand = 16;
constexpr int kMbIconInformation = 64;
}  // namespace win

using Colour = std::uint32_t;  // 0x00BBGGRR
// Not a 0x00BBGGRR value: the control keeps the system's own colour.
constexpr Colour kSystemColour = 0xFFFFFFFFu;

enum class MouseButton : int { Left = 1, Right = 2, Middle = 4 };

// Pictures and pointers are compiled into the program; layouts name them.
enum class Picture { None, FishLeft, FishRight };
enum class Pointer { Arrow, GrabHand, PointingHand };

struct Font {
  std::string family;
  double points = 0;
  bool bold = false;
  bool italic = false;
};

enum class ControlKind { Picture, TextField, Label, Button, Line };

// One control as the window is created, all lengths in twips. For a Line,
// left/top is its start and width/height its end point (x2, y2).
struct ControlLayout {
  ControlKind kind = ControlKind::Label;
  float left = 0, top = 0, width = 0, height = 0;
  std::string caption;
  Font font;
  Colour foreColour = kSystemColour;
  Colour backColour = kSystemColour;
  int tabIndex = -1;  // focus order among the controls that take focus
  bool visible = true;
  bool centred = false;   // text centred (labels)
  bool readOnly = false;  // text fields
  bool stretch = false;   // pictures: scaled to the control's rectangle
  Picture picture = Picture::None;
  Pointer pointer = Pointer::Arrow;
};

struct TimerLayout {
  int intervalMs = 0;
  bool enabled = false;
};

enum class WindowStyle {
  Borderless,       // no frame; never takes activation or the keyboard
  FixedToolWindow,  // thin frame, small title bar, close box only
};

struct WindowLayout {
  std::string caption;
  WindowStyle style = WindowStyle::Borderless;
  float clientWidth = 0, clientHeight = 0;  // twips
  Colour backColour = 0;
  bool hasIcon = false;  // the panel's icon
  bool centred = true;
  bool inTaskbar = false;
  std::vector<ControlLayout> controls;  // control id = index
  std::vector<TimerLayout> timers;      // timer id = index + 1
};

struct PixelRect {
  int x = 0, y = 0, width = 0, height = 0;
};

// What a window tells the program. Handlers run on the one UI thread.
class WindowEvents {
 public:
  virtual ~WindowEvents() = default;
  virtual void timer(int /*timerId*/) {}
  virtual void mouseDown(int /*controlId*/, int /*button*/) {}
  virtual void click(int /*controlId*/) {}
  // The user closed the window with its close box. The window stays until
  // the program destroys it.
  virtual void closeRequested() {}
};

// A top-level window with its controls and timers. Destroying the object
// removes the window at once; its timers stop with it.
class Window {
 public:
  virtual ~Window() = default;

  virtual PixelRect rect() const = 0;  // outer rectangle, screen pixels
  virtual void move(int x, int y) = 0;
  virtual void resize(int width, int height) = 0;
  virtual void show() = 0;  // modeless; a framed window is activated
  virtual void setBackColour(Colour colour) = 0;

  virtual std::int32_t getWindowLong(int index) = 0;
  virtual void setWindowLong(int index, std::int32_t value) = 0;
  virtual void setLayeredWindowAttributes(Colour key, std::uint8_t alpha, std::uint32_t flags) = 0;
  virtual void setWindowPos(std::intptr_t insertAfter, int x, int y, int cx, int cy,
                            std::uint32_t flags) = 0;

  // Focus within the program; never takes activation from another program.
  virtual void giveFocus() = 0;
  virtual void releaseCapture() = 0;
  // The pointer-driven move started by a press of the left button: returns
  // when the button is released. Timer ticks may run meanwhile.
  virtual void dragMove() = 0;

  virtual void setControlVisible(int controlId, bool visible) = 0;
  virtual bool controlVisible(int controlId) const = 0;
  virtual std::string text(int controlId) const = 0;
  virtual void setText(int controlId, const std::string& text) = 0;

  virtual void setTimerEnabled(int timerId, bool enabled) = 0;
  virtual bool timerEnabled(int timerId) const = 0;
};

// The one sound component. open() hands it a file and returns at once;
// the sound plays in the background.
class MediaPlayer {
 public:
  virtual ~MediaPlayer() = default;
  virtual void open(const std::string& path) = 0;
  virtual void setAutoStart(std::int32_t value) = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Creates the window hidden, at its layout's place and size.
  virtual std::unique_ptr<Window> createWindow(const WindowLayout& layout,
                                               WindowEvents& events) = 0;
  virtual float twipsPerPixelX() = 0;
  virtual float twipsPerPixelY() = 0;

  virtual void randomize(float seed) = 0;
  virtual float rnd() = 0;  // uniform in [0, 1)
  virtual float secondsSinceMidnight() = 0;

  // Now, in the user's short date and long time formats.
  virtual std::string shortDate() = 0;
  virtual std::string longTime() = 0;
  // The user's decimal separator ("," in Italy).
  virtual std::string decimalSeparator() = 0;

  // Modal, one OK button; returns when the user has closed it.
  virtual void msgBox(const std::string& text, int style, const std::string& title) = 0;
  virtual void openUrl(const std::string& url) = 0;

  // The folder of the program's executable; the empty text (or Failure)
  // when it cannot be found.
  virtual std::string programFolder() = 0;
  virtual std::string pathSeparator() = 0;
  // At most maxBytes from the start of the file; Missing when there is no
  // such file, Failure when it cannot be read.
  virtual std::string readFile(const std::string& path, std::size_t maxBytes) = 0;
  // Replaces the file's content as a whole, never leaving it half-written;
  // through a symlink, the file it points to. Refused when the place takes
  // no such file, Failure for any other fault; the old content then stays.
  virtual void writeFile(const std::string& path, const std::string& bytes) = 0;

  // The user's own folder for the files the program folder refuses (the
  // system's per-user place for them); the empty text where there is none.
  // Nothing is created.
  virtual std::string userFolder() { return {}; }
  // Whether a write of this file would be taken rather than refused (see
  // writeFile); nothing is written.
  virtual bool takesFile(const std::string& /*path*/) { return true; }
  // Creates the folder and the missing folders above it, private to the
  // user; Failure when it cannot.
  virtual void createFolders(const std::string& path) { throw Failure("cannot create " + path); }

  // Claims the file for this run of the program, so that no other running
  // program (another copy of this one) works on it too: false when another
  // has claimed it. The claim lasts until the program ends. Where the
  // platform can make no claim (a file system without locks), true.
  virtual bool claimFile(const std::string& /*path*/) { return true; }

  virtual MediaPlayer& mediaPlayer() = 0;

  // Ends the program at once: no unload handler runs, nothing is saved.
  [[noreturn]] virtual void end() = 0;
};

}  // namespace guizzolo
