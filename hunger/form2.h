// The control panel: date line, hunger field, feed and exit buttons, web link.
#pragma once

#include <string>

#include "app/form.h"

namespace guizzolo {

class Form1;

class Form2 : public Form {
 public:
  // Control ids, in the order of the panel's layout.
  enum Control { Label2, Text1, Label3, Command2, Label4, Label1, Command1, Line1 };

  static constexpr const char* kTitle = "Guizzolo";
  static constexpr const char* kWebAddress = "https://guizzolo.example.org/";
  static constexpr const char* kWebCaption = "guizzolo.example.org";
  static constexpr const char* kCreditLine =
      "Guizzolo 1.00\n"
      "Il pesciolino che nuota sulla tua scrivania.\n"
      "Disegni, suoni e programma: gli sviluppatori di Guizzolo.";

  explicit Form2(Platform& platform);
  void attach(Form1& form1) { form1_ = &form1; }

  // The hunger field; any access loads the panel, hidden, when it is not loaded.
  std::string Text1Text();
  void SetText1Text(const std::string& text);

  // When the panel's load found the store there but unreadable (held open
  // by another program for a moment), reads it again, at most kStoreRetries
  // times, one read per call; the value read replaces the unknown one in
  // both copies. Called at every tick of the first swim state.
  void RetryStore();
  static constexpr int kStoreRetries = 20;  // about two seconds of ticks

  void Command2_Click();
  void Command1_Click();
  void Label1_Click();

  void click(int controlId) override;
  void closeRequested() override { Unload(); }

 protected:
  void Form_Load() override;
  void Form_Unload() override;

 private:
  Form1& pet();
  Form1* form1_ = nullptr;
  // The store's file is there but its value is unknown: nothing but the
  // feed button writes over it, so the value survives this run.
  bool storeUnread_ = false;
  int storeRetries_ = 0;
};

const WindowLayout& Form2Layout();

}  // namespace guizzolo
