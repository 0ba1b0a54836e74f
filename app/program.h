// The running program: the pet window and the control panel, wired together.
#pragma once

#include "app/form1.h"
#include "hunger/form2.h"

namespace guizzolo {

class Program {
 public:
  explicit Program(Platform& platform);
  // Creates the pet window, runs its load handler and shows it; ends the
  // program at once when another running copy has its hunger store.
  void Start();
  // The user's session is ending (logout, shutdown, a terminating signal):
  // as the form runtime did, every loaded window is unloaded, so a loaded
  // panel stores the pet copy of the hunger value, and the program ends.
  void EndSession();  // does not return

  Form1 form1;
  Form2 form2;

 private:
  Platform& platform_;
  bool endingSession_ = false;
};

}  // namespace guizzolo
