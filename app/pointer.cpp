// A press on the fish: it stops swimming and the control panel comes up.
#include "app/form1.h"
#include "app/module1.h"
#include "app/resume_next.h"
#include "hunger/form2.h"

namespace guizzolo {

void Form1::StopForPress(int button) {
  step([&] { SetTopMost(*this, kFalse); });
  if (button == static_cast<int>(MouseButton::Left)) {
    step([&] { hWnd().releaseCapture(); });
    step([&] { hWnd().dragMove(); });  // returns when the button is released
  }
  for (int timerId = 1; timerId <= 4; ++timerId) {
    step([&] { hWnd().setTimerEnabled(timerId, false); });
  }
}

// The left-facing fish rebuilds the panel, so its date line is fresh; the
// panel's unload restarts the first swim state, so the fish swims on beside it.
void Form1::Image1_MouseDown(int button) {
  StopForPress(button);
  step([&] { form2_.Unload(); });
  step([&] { form2_.Load(); });
  step([&] { form2_.Show(); });
}

// The right-facing fish only shows the panel as it is and stays still until
// the panel is closed.
void Form1::Image2_MouseDown(int button) {
  StopForPress(button);
  step([&] { form2_.Load(); });
  step([&] { form2_.Show(); });
  step([&] { form2_.SetText1Text(Text1.Text); });
}

}  // namespace guizzolo
