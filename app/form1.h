// The pet window: the borderless, key-coloured window that carries the fish.
#pragma once

#include <string>

#include "app/form.h"

namespace guizzolo {

class Form2;

class Form1 : public Form {
 public:
  // Control ids, in the order of the window's layout.
  enum Control { Image1 = 0, Image2 = 1 };
  static constexpr Colour kKeyColour = 0x00FFFF00;  // red 0, green 255, blue 255

  Form1(Platform& platform, Form2& form2);

  // The pet copy of the hunger value: a hidden text field of this window.
  struct {
    std::string Text = "100";
  } Text1;

  void Timer1_Timer();
  void Timer2_Timer();
  void Timer3_Timer();
  void Timer4_Timer();
  void Image1_MouseDown(int button);
  void Image2_MouseDown(int button);

  void timer(int timerId) override;
  void mouseDown(int controlId, int button) override;

  Form2& form2() { return form2_; }

  // Set once the program is on its way to an end that saves nothing (the
  // death message is up): a session end meanwhile stores nothing either.
  bool Ending = false;

 protected:
  void Form_Load() override;

 private:
  // The press handlers' shared first steps: out of the top band, the drag,
  // and all four swim timers off.
  void StopForPress(int button);
  Form2& form2_;
};

const WindowLayout& Form1Layout();

}  // namespace guizzolo
