#include "platform/x11/x11_platform.h"

#include <xcb/render.h>

#include <cstdlib>

#include "platform/x11/cursor_file.h"
#include "platform/x11/embedded.h"
#include "platform/x11/fish_pictures.h"
#include "platform/x11/scale.h"

namespace guizzolo::x11 {
X11Platform::X11Platform(XDisplay& display, std::optional<double> scaleFactor)
    : display_(display),
      env_{display, loop_, commits_, ticks_, deviceScale(display.resourceDpi(), scaleFactor), &fishPicture,
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
  return createPanel(layout, events,
                     PixelRect{0, 0, toLogical(screen.width_in_pixels, env_.scale),
                               toLogical(screen.height_in_pixels, env_.scale)});
}

void X11Platform::suspendDrags() {
  // A drag's pointer grab would keep every click from the box.
  for (PetWindow* pet : env_.windows) pet->suspendDrag();
}

void X11Platform::resumeDrags() {
  const auto pets = env_.windows;
  for (PetWindow* pet : pets)
    if (env_.windows.count(pet) != 0) pet->resumeDrag();
}

void X11Platform::onSessionEnd(std::function<void()> end) {
  sessionEnd_ = std::move(end);
  env_.endSession = [this] { sessionEnd_(); };
  // A broken connection shows nothing more, but the store needs no window:
  // the day's hunger is kept as at a logout (a session without a session
  // manager ends this way).
  const auto lost = [this] {
    connectionLost();
    sessionEnd_();
  };
  display_.onLost(lost);
  loop_.setDisplayLost(lost);
}

}  // namespace guizzolo::x11
