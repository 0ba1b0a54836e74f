// Timer ticks wait while one of the program's message boxes waits for its
// answer: a tick handler that opened a box must not be re-entered by later
// ticks, or each of them would open a box of its own.
#pragma once

namespace guizzolo::x11 {

class TickGate {
 public:
  bool held() const { return holds_ > 0; }

  // Holds ticks for as long as the object lives.
  class Hold {
   public:
    explicit Hold(TickGate& gate) : gate_(gate) { ++gate_.holds_; }
    ~Hold() { --gate_.holds_; }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

   private:
    TickGate& gate_;
  };

 private:
  int holds_ = 0;
};

}  // namespace guizzolo::x11
