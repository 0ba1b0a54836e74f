#include "hunger/hunger_clock.h"

#include "app/form1.h"
#include "app/resume_next.h"
#include "hunger/form2.h"
#include "hunger/hunger_value.h"

namespace guizzolo {

void RefreshPetCopy(Form1& pet) {
  step([&] { pet.form2().RetryStore(); });
  step([&] { pet.Text1.Text = pet.form2().Text1Text(); });
}

void HungerStep(Form1& pet) {
  Form2& panel = pet.form2();
  Platform& runtime = pet.runtime();
  auto value = [&] { return ParseHunger(panel.Text1Text(), runtime.decimalSeparator()); };

  if (testHolds([&] { return panel.Text1Text().empty(); })) step([&] { panel.SetText1Text("100"); });
  step([&] { panel.SetText1Text(FormatHunger(value() - 1, runtime.decimalSeparator())); });
  // A value that is not a number fails this test, which counts as held:
  // such a fish dies at its next step.
  if (testHolds([&] { return value() < 1; })) {
    pet.Ending = true;
    step([&] { runtime.msgBox(kDeathMessage, win::kMbIconHand, Form2::kTitle); });
    runtime.end();
  }
  if (testHolds([&] {
        const double v = value();
        return v == 20 || v == 10;
      })) {
    step([&] { runtime.msgBox(kHungerAlert, win::kMbIconHand, Form2::kTitle); });
  }
}

}  // namespace guizzolo
