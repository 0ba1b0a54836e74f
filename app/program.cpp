#include "app/program.h"

namespace guizzolo {

Program::Program(Platform& platform) : form1(platform, form2), form2(platform) {
  form2.attach(form1);
}

void Program::Start() {
  form1.Load();
  form1.Show();
}

}  // namespace guizzolo
