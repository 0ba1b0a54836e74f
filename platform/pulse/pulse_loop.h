// The audio connection's events on one descriptor, driven by the program's
// own poll loop: no thread of ours, and nothing wakes the program while the
// connection has nothing to do (no timer is armed unless the audio library
// waits for an answer).
//
//   poll fd() for reading; when it is readable, call dispatch().
#pragma once

#include <pulse/mainloop-api.h>

#include <memory>
#include <vector>

namespace guizzolo::pulse {

class PulseLoop {
 public:
  PulseLoop();  // Failure when the descriptors cannot be made
  ~PulseLoop();
  PulseLoop(const PulseLoop&) = delete;
  PulseLoop& operator=(const PulseLoop&) = delete;

  pa_mainloop_api* api() { return &api_; }
  int fd() const { return epoll_; }
  // Runs what is ready without waiting, then the deferred work.
  void dispatch();
  // Makes fd() readable, so that the owner's dispatch() comes soon.
  void wakeSoon() { wake(); }

  struct Event;  // what the library's io, time and defer events point to

 private:
  void collect();
  void wake();

  pa_mainloop_api api_{};
  int epoll_ = -1;
  int wake_ = -1;  // readable while deferred work waits
  bool dispatching_ = false;
  std::vector<std::unique_ptr<Event>> events_;
};

}  // namespace guizzolo::pulse
