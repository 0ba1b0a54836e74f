#include "hunger/form2.h"

namespace guizzolo {
namespace {

ControlLayout control(ControlKind kind, float left, float top, float width, float height,
                      std::string caption, Font font, int tabIndex) {
  ControlLayout c;
  c.kind = kind;
  c.left = left;
  c.top = top;
  c.width = width;
  c.height = height;
  c.caption = std::move(caption);
  c.font = std::move(font);
  c.tabIndex = tabIndex;
  return c;
}

}  // namespace

const WindowLayout& Form2Layout() {
  static const WindowLayout layout = [] {
    const Font verdana825{"Verdana", 8.25};
    const Font verdana9{"Verdana", 9};
    WindowLayout l;
    l.caption = "NuvoNuvo di Tarvisco";
    l.style = WindowStyle::FixedToolWindow;
    l.clientWidth = 4890;
    l.clientHeight = 1395;
    l.backColour = 0x00000000;
    l.hasIcon = true;
    l.centred = true;
    l.inTaskbar = false;
    l.controls.resize(8);
    // Labels and the line take no focus, so the focus order is exit, field, feed.
    l.controls[Form2::Label2] = control(ControlKind::Label, 120, 120, 1935, 255,
                                        "Fame del guizzolo", verdana825, 3);
    l.controls[Form2::Text1] = control(ControlKind::TextField, 2160, 120, 615, 285, "", verdana9, 2);
    l.controls[Form2::Text1].readOnly = true;
    l.controls[Form2::Label3] = control(ControlKind::Label, 2880, 120, 255, 255, "%", verdana9, 4);
    l.controls[Form2::Command2] = control(ControlKind::Button, 3240, 120, 1575, 255,
                                          "Dai da Mangiare", verdana825, 5);
    l.controls[Form2::Command2].pointer = Pointer::PointingHand;
    l.controls[Form2::Label4] = control(ControlKind::Label, 120, 600, 4695, 375, "",
                                        Font{"Verdana", 9.75}, 6);
    l.controls[Form2::Label4].foreColour = 0x00FFFFFF;
    l.controls[Form2::Label4].backColour = 0x00000040;
    l.controls[Form2::Label1] = control(ControlKind::Label, 120, 1080, 1935, 255, Form2::kWebCaption,
                                        Font{"Arial Narrow", 11.25, true, true}, 0);
    l.controls[Form2::Label1].foreColour = 0x00FFFFFF;
    l.controls[Form2::Label1].backColour = 0x00404040;
    l.controls[Form2::Label1].centred = true;
    l.controls[Form2::Label1].pointer = Pointer::PointingHand;
    l.controls[Form2::Command1] = control(ControlKind::Button, 2760, 1080, 2055, 255,
                                          "Esci da Guizzolo", verdana825, 1);
    l.controls[Form2::Command1].pointer = Pointer::PointingHand;
    l.controls[Form2::Line1] = control(ControlKind::Line, 120, 480, 4800, 480, "", Font{}, -1);
    l.controls[Form2::Line1].foreColour = 0x0080FFFF;
    return l;
  }();
  return layout;
}

}  // namespace guizzolo
