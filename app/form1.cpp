#include "app/form1.h"

#include "app/module1.h"
#include "app/resume_next.h"
#include "sound/sound_player.h"

namespace guizzolo {

Form1::Form1(Platform& platform, Form2& form2) : Form(platform, Form1Layout()), form2_(form2) {}

void Form1::Form_Load() {
  // The sound comes first, so it starts before the window appears.
  step([&] { PlaySoundFile(platform_, "Sound.wav"); });
  step([&] { SetTopMost(*this, kTrue); });
  step([&] { platform_.randomize(platform_.secondsSinceMidnight()); });
  step([&] { hWnd().setBackColour(kKeyColour); });
  step([&] {
    Window& w = hWnd();
    w.setWindowLong(win::kGwlExStyle, w.getWindowLong(win::kGwlExStyle) | win::kWsExLayered);
  });
  step([&] { hWnd().setLayeredWindowAttributes(kKeyColour, 0, win::kLwaColorKey); });
}

void Form1::timer(int timerId) {
  switch (timerId) {
    case 1: Timer1_Timer(); break;
    case 2: Timer2_Timer(); break;
    case 3: Timer3_Timer(); break;
    case 4: Timer4_Timer(); break;
    default: break;
  }
}

void Form1::mouseDown(int controlId, int button) {
  if (controlId == Image1) Image1_MouseDown(button);
  if (controlId == Image2) Image2_MouseDown(button);
}

}  // namespace guizzolo
