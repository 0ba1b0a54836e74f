#include "app/form1.h"

namespace guizzolo {

const WindowLayout& Form1Layout() {
  static const WindowLayout layout = [] {
    WindowLayout l;
    l.caption = "Form1";
    l.style = WindowStyle::Borderless;
    l.clientWidth = 1305;
    l.clientHeight = 795;
    l.backColour = 0x00400000;
    l.centred = true;
    l.inTaskbar = false;
    // The pictures are one pixel wider and one less tall than the window:
    // the last column of the fish is cut and the last row shows background.
    for (Picture fish : {Picture::FishLeft, Picture::FishRight}) {
      ControlLayout c;
      c.kind = ControlKind::Picture;
      c.left = 0;
      c.top = 0;
      c.width = 1320;
      c.height = 780;
      c.picture = fish;
      c.stretch = true;
      c.visible = false;
      c.pointer = Pointer::GrabHand;
      l.controls.push_back(c);
    }
    l.timers = {{100, true}, {100, false}, {100, false}, {100, false}};
    return l;
  }();
  return layout;
}

}  // namespace guizzolo
