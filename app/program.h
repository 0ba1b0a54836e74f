// The running program: the pet window and the control panel, wired together.
#pragma once

#include "app/form1.h"
#include "hunger/form2.h"

namespace guizzolo {

class Program {
 public:
  explicit Program(Platform& platform);
  // Creates the pet window, runs its load handler and shows it.
  void Start();

  Form1 form1;
  Form2 form2;
};

}  // namespace guizzolo
