#include "platform/x11/x11_platform.h"

#include <unistd.h>
#include <xcb/render.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <map>

#include "platform/image/gif_decoder.h"
#include "platform/posix/files.h"
#include "platform/posix/locale_formats.h"
#include "platform/posix/program_folder.h"
#include "platform/posix/user_folder.h"
#include "platform/pulse/pulse_player.h"
#include "platform/x11/cursor_file.h"
#include "platform/x11/embedded.h"
#include "platform/x11/panel_proxy.h"
#include "platform/x11/qt_loader.h"
#include "platform/x11/scale.h"

namespace guizzolo::x11 {
namespace {

const image::Image& picture(Picture which) {
  // Decoded once: the pictures are the same for every window and every run.
  static std::map<Picture, image::Image> decoded;
  if (auto it = decoded.find(which); it != decoded.end()) return it->second;
  image::Image out;
  try {
    if (which == Picture::FishLeft) out = image::decodeGif(embedded::kFishLeftGif.data, embedded::kFishLeftGif.size);
    if (which == Picture::FishRight) out = image::decodeGif(embedded::kFishRightGif.data, embedded::kFishRightGif.size);
  } catch (const image::GifError& e) {
    throw Failure(e.what());
  }
  return decoded.emplace(which, std::move(out)).first->second;
}

// Events of the panel, which Qt delivers: the pet's changes they cause go out
// together when the handler is over, as after a tick.
class BatchedEvents final : public WindowEvents {
 public:
  BatchedEvents(WindowEvents& to, Commits& commits) : to_(to), commits_(commits) {}
  void timer(int id) override {
    Commits::Batch b(commits_);
    to_.timer(id);
  }
  void mouseDown(int id, int button) override {
    Commits::Batch b(commits_);
    to_.mouseDown(id, button);
  }
  void click(int id) override {
    Commits::Batch b(commits_);
    to_.click(id);
  }
  void closeRequested() override {
    Commits::Batch b(commits_);
    to_.closeRequested();
  }

 private:
  WindowEvents& to_;
  Commits& commits_;
};

}  // namespace

X11Platform::X11Platform(XDisplay& display, std::optional<double> scaleFactor)
    : display_(display),
      env_{display, loop_, commits_, ticks_, deviceScale(display.resourceDpi(), scaleFactor), &picture,
           [this](Pointer p) { return pointer(p); }, {}, {}} {
  display_.attach(loop_);
}

X11Platform::~X11Platform() = default;

xcb_cursor_t X11Platform::pointer(Pointer which) {
  if (which != Pointer::GrabHand) return XCB_NONE;
  if (grabHandMade_) return grabHand_;
  grabHandMade_ = true;
  const auto image = decodeCursor(embedded::kGrabHandCur.data, embedded::kGrabHandCur.size);
  if (!image || !display_.hasRender()) return XCB_NONE;
  xcb_connection_t* c = display_.c();
  // The standard 32-bit ARGB picture format: one round trip, once.
  auto* formats = xcb_render_query_pict_formats_reply(c, xcb_render_query_pict_formats(c), nullptr);
  if (formats == nullptr) return XCB_NONE;
  xcb_render_pictformat_t argb = 0;
  for (auto it = xcb_render_query_pict_formats_formats_iterator(formats); it.rem > 0; xcb_render_pictforminfo_next(&it)) {
    const xcb_render_directformat_t& d = it.data->direct;
    if (it.data->type == XCB_RENDER_PICT_TYPE_DIRECT && it.data->depth == 32 && d.alpha_shift == 24 &&
        d.alpha_mask == 0xFF && d.red_shift == 16 && d.red_mask == 0xFF && d.green_shift == 8 && d.blue_shift == 0) {
      argb = it.data->id;
      break;
    }
  }
  std::free(formats);
  if (argb == 0) return XCB_NONE;
  const xcb_pixmap_t pixmap = xcb_generate_id(c);
  xcb_create_pixmap(c, 32, pixmap, display_.root(), static_cast<std::uint16_t>(image->width),
                    static_cast<std::uint16_t>(image->height));
  const xcb_gcontext_t gc = xcb_generate_id(c);
  xcb_create_gc(c, gc, pixmap, 0, nullptr);
  xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, static_cast<std::uint16_t>(image->width),
                static_cast<std::uint16_t>(image->height), 0, 0, 0, 32,
                static_cast<std::uint32_t>(image->argb.size() * 4),
                reinterpret_cast<const std::uint8_t*>(image->argb.data()));
  const xcb_render_picture_t pict = xcb_generate_id(c);
  xcb_render_create_picture(c, pict, pixmap, argb, 0, nullptr);
  grabHand_ = xcb_generate_id(c);
  xcb_render_create_cursor(c, grabHand_, pict, static_cast<std::uint16_t>(image->hotX),
                           static_cast<std::uint16_t>(image->hotY));
  xcb_render_free_picture(c, pict);
  xcb_free_gc(c, gc);
  xcb_free_pixmap(c, pixmap);
  return grabHand_;
}

std::unique_ptr<Window> X11Platform::createWindow(const WindowLayout& layout, WindowEvents& events) {
  if (layout.style == WindowStyle::Borderless)
    return std::make_unique<PetWindow>(env_, layout, events, twipsPerPixelX(), twipsPerPixelY());
  const xcb_screen_t& screen = display_.screen();
  const PixelRect area{0, 0, toLogical(screen.width_in_pixels, env_.scale), toLogical(screen.height_in_pixels, env_.scale)};
  auto batched = std::make_shared<BatchedEvents>(events, commits_);
  const float tx = twipsPerPixelX(), ty = twipsPerPixelY();
  return std::make_unique<PanelProxy>(layout, tx, ty, area,
                                      [this, batched, tx, ty](const WindowLayout& now) -> std::unique_ptr<Window> {
                                        return qt().createWindow(now, *batched, tx, ty);
                                      });
}

// The program's pixels are those of the panel's Qt: 96 per inch, the screen
// scale (resource DPI, QT_SCALE_FACTOR) applied below them.
float X11Platform::twipsPerPixelX() { return 15.0f; }
float X11Platform::twipsPerPixelY() { return 15.0f; }

void X11Platform::randomize(float seed) { random_.seed(seed); }

float X11Platform::rnd() { return random_.next(); }

float X11Platform::secondsSinceMidnight() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count() % 1000;
  return static_cast<float>(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) +
         static_cast<float>(ms) / 1000.0f;
}

std::string X11Platform::shortDate() { return posix::shortDate(); }
std::string X11Platform::longTime() { return posix::longTime(); }
std::string X11Platform::decimalSeparator() { return posix::decimalSeparator(); }

qtmodule::Module& X11Platform::qt() {
  if (qt_ == nullptr) {
    qt_ = openQtModule(programFolder(), loop_);
    loop_.handOver(qt_);
  }
  return *qt_;
}

void X11Platform::msgBox(const std::string& text, int style, const std::string& title) {
  qtmodule::Module& module = qt();
  TickGate::Hold hold(ticks_);
  Commits::Nested nested(commits_);
  // A drag's pointer grab would keep every click from the box.
  for (PetWindow* pet : env_.windows) pet->suspendDrag();
  module.msgBox(text, style, title);
  const auto pets = env_.windows;
  for (PetWindow* pet : pets)
    if (env_.windows.count(pet) != 0) pet->resumeDrag();
}

void X11Platform::openUrl(const std::string& url) { qt().openUrl(url); }

std::string X11Platform::programFolder() { return posix::programFolder(); }

std::string X11Platform::pathSeparator() { return "/"; }

std::string X11Platform::readFile(const std::string& path, std::size_t maxBytes) {
  return posix::readFilePrefix(path, maxBytes);
}

void X11Platform::writeFile(const std::string& path, const std::string& bytes) { posix::writeFileWhole(path, bytes); }

std::string X11Platform::userFolder() { return posix::userStateFolder(); }

void X11Platform::createFolders(const std::string& path) { posix::createPrivateFolders(path); }

bool X11Platform::takesFile(const std::string& path) { return posix::takesFile(path); }

bool X11Platform::claimFile(const std::string& path) {
  // The descriptor stays open, and the lock held, until the process ends.
  return posix::claimFolderOf(path) != posix::kClaimedElsewhere;
}

MediaPlayer& X11Platform::mediaPlayer() {
  if (!player_) {
    // The audio server's sample cache, driven from the one loop: no thread,
    // and nothing wakes the program while no sound plays.
    auto player = std::make_unique<pulse::PulsePlayer>();
    pulse::PulsePlayer* p = player.get();
    loop_.watch(p->fd(), [p] { p->dispatch(); });
    player_ = std::move(player);
  }
  return *player_;
}

void X11Platform::onSessionEnd(std::function<void()> end) {
  sessionEnd_ = std::move(end);
  env_.endSession = [this] { sessionEnd_(); };
  // A broken connection shows nothing more, but the store needs no window:
  // the day's hunger is kept as at a logout (a session without a session
  // manager ends this way).
  const auto lost = [this] {
    endStatus_ = 1;
    sessionEnd_();
  };
  display_.onLost(lost);
  loop_.setDisplayLost(lost);
}

void X11Platform::end() {
  // At once: no window is closed, no handler runs, nothing is saved.
  std::_Exit(endStatus_);
}

void X11Platform::run() {
  for (;;) loop_.iterate();
}

}  // namespace guizzolo::x11
