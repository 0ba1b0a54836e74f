// The pet as a client of the X session manager (XSMP, what SESSION_MANAGER
// names): it answers each save request at once and, told to die at a
// logout, runs the program's session end. Its connection is one more
// descriptor of the event loop. Qt, once loaded, must not register again.
#pragma once

#include <functional>
#include <memory>

#include "platform/x11/event_loop.h"

namespace guizzolo::x11 {

class SessionClient {
 public:
  // Nothing when SESSION_MANAGER is unset or the manager cannot be reached.
  static std::unique_ptr<SessionClient> connect(EventLoop& loop, std::function<void()> die);
  ~SessionClient();
  SessionClient(const SessionClient&) = delete;
  SessionClient& operator=(const SessionClient&) = delete;

  struct State;

 private:
  explicit SessionClient(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace guizzolo::x11
