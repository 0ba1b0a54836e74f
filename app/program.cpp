#include "app/program.h"

#include "app/resume_next.h"
#include "hunger/store.h"

namespace guizzolo {

Program::Program(Platform& platform) : form1(platform, form2), form2(platform), platform_(platform) {
  form2.attach(form1);
}

void Program::Start() {
  // Two pets on one store would each store their own value over the
  // other's, and a feed would be lost without a word: a second start ends
  // at once, before it shows, sounds or reads anything.
  if (!ClaimStore(platform_)) platform_.end();
  form1.Load();
  form1.Show();
}

void Program::EndSession() {
  // A second request that arrives while the panel's unload handler runs
  // (the window system may deliver one inside it) only ends the program.
  if (!endingSession_) {
    endingSession_ = true;
    // The pet has no unload handler of its own. Once it is gone the exit
    // button is under way, which saves nothing; the panel's handler would
    // only bring the pet back to life for an instant. A dead fish's death
    // message saves nothing either.
    if (form1.IsLoaded() && !form1.Ending) step([&] { form2.Unload(); });
  }
  platform_.end();
}

}  // namespace guizzolo
