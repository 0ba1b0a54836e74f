#include "hunger/form2.h"

#include "app/form1.h"
#include "app/module1.h"
#include "app/resume_next.h"
#include "hunger/store.h"

namespace guizzolo {

Form2::Form2(Platform& platform) : Form(platform, Form2Layout()) {}

Form1& Form2::pet() {
  if (form1_ == nullptr) throw Failure("no pet window");
  return *form1_;
}

std::string Form2::Text1Text() { return hWnd().text(Text1); }

void Form2::SetText1Text(const std::string& text) { hWnd().setText(Text1, text); }

void Form2::click(int controlId) {
  if (controlId == Command2) Command2_Click();
  if (controlId == Command1) Command1_Click();
  if (controlId == Label1) Label1_Click();
}

void Form2::Form_Load() {
  step([&] {
    hWnd().setText(Label4, "Oggi è " + platform_.shortDate() + " e sono le ore " + platform_.longTime());
  });
  StoreRead stored{{}, true};
  step([&] { stored = ReadStoreFile(platform_); });
  storeUnread_ = stored.unreadable;
  storeRetries_ = stored.unreadable ? kStoreRetries : 0;
  step([&] { pet().Text1.Text = stored.text; });
  step([&] { SetText1Text(stored.text); });
}

void Form2::RetryStore() {
  if (!IsLoaded() || storeRetries_ == 0) return;
  --storeRetries_;
  StoreRead stored{{}, true};
  step([&] { stored = ReadStoreFile(platform_); });
  if (stored.unreadable) return;
  storeUnread_ = false;
  storeRetries_ = 0;
  // No value after all (the file went away): the one the pet has made
  // meanwhile stays.
  if (stored.text.empty()) return;
  step([&] { pet().Text1.Text = stored.text; });
  step([&] { SetText1Text(stored.text); });
}

void Form2::Command2_Click() {
  step([&] { SetText1Text("100"); });
  step([&] { WriteStore(platform_, "100"); });
  storeUnread_ = false;  // the user's own choice of value
  storeRetries_ = 0;
  step([&] { pet().Text1.Text = "100"; });
}

void Form2::Command1_Click() {
  step([&] { pet().Unload(); });
  step([&] { platform_.msgBox(kCreditLine, win::kMbIconInformation, kTitle); });
  platform_.end();
}

void Form2::Label1_Click() {
  step([&] { platform_.openUrl(kWebAddress); });
}

void Form2::Form_Unload() {
  step([&] { pet().hWnd().setTimerEnabled(1, true); });
  step([&] { SetText1Text(pet().Text1.Text); });
  if (!storeUnread_) step([&] { WriteStore(platform_, Text1Text()); });
  step([&] { SetTopMost(pet(), kTrue); });
}

}  // namespace guizzolo
