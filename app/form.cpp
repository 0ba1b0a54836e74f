#include "app/form.h"

#include <cmath>
#include <limits>

namespace guizzolo {

Form::Form(Platform& platform, const WindowLayout& layout) : platform_(platform), layout_(layout) {}

Form::~Form() = default;

void Form::Load() {
  if (window_) return;
  window_ = platform_.createWindow(layout_, *this);
  Form_Load();
}

void Form::Unload() {
  if (!window_) return;
  Form_Unload();
  window_.reset();
}

void Form::Show() {
  hWnd().show();
}

Window& Form::hWnd() {
  Load();
  if (!window_) throw Failure("window not loaded");  // Form_Load unloaded it again
  return *window_;
}

float Form::Left() { return static_cast<float>(hWnd().rect().x) * platform_.twipsPerPixelX(); }
float Form::Top() { return static_cast<float>(hWnd().rect().y) * platform_.twipsPerPixelY(); }
float Form::Width() { return static_cast<float>(hWnd().rect().width) * platform_.twipsPerPixelX(); }
float Form::Height() { return static_cast<float>(hWnd().rect().height) * platform_.twipsPerPixelY(); }

void Form::SetLeft(float twips) {
  Window& w = hWnd();
  w.move(ToPixels(twips, platform_.twipsPerPixelX()), w.rect().y);
}

void Form::SetTop(float twips) {
  Window& w = hWnd();
  w.move(w.rect().x, ToPixels(twips, platform_.twipsPerPixelY()));
}

int ToPixels(double twips, float twipsPerPixel) {
  const double quotient = twips / static_cast<double>(twipsPerPixel);
  if (!std::isfinite(quotient)) throw Failure("twips to pixels: not a number");
  const double rounded = std::nearbyint(quotient);  // default mode: ties to even
  if (rounded < std::numeric_limits<int>::min() || rounded > std::numeric_limits<int>::max())
    throw Failure("twips to pixels: overflow");
  return static_cast<int>(rounded);
}

}  // namespace guizzolo
