// What the two windows share: load on first use, unload, show, and the
// conversions between twips and the window system's pixels.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace guizzolo {

class Form : public WindowEvents {
 public:
  Form(Platform& platform, const WindowLayout& layout);
  ~Form() override;
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  bool IsLoaded() const { return window_ != nullptr; }
  // Not loaded: creates the window hidden and runs Form_Load. Loaded: nothing.
  void Load();
  // Loaded: runs Form_Unload, then removes the window. Not loaded: nothing.
  void Unload();
  void Show();

  // The window's outer rectangle in twips; each access loads a form that is
  // not loaded, as any access to a control does.
  float Left();
  float Top();
  float Width();
  float Height();
  void SetLeft(float twips);
  void SetTop(float twips);

  // The native window, loading the form first when needed.
  Window& hWnd();
  Platform& runtime() { return platform_; }

 protected:
  virtual void Form_Load() {}
  virtual void Form_Unload() {}
  Platform& platform_;

 private:
  const WindowLayout& layout_;
  std::unique_ptr<Window> window_;
};

// Twips to whole pixels, rounded half to even; Failure for a quotient that is
// not a number or does not fit 32 bits.
int ToPixels(double twips, float twipsPerPixel);

}  // namespace guizzolo
