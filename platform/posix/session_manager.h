// Registration with the X session manager (XSMP) for a program that runs its
// own poll loop: the loop watches fd() and calls process() when it is
// readable; process() says when the manager tells the program to die at the
// end of the session (a logout or shutdown).
#pragma once

#include <memory>
#include <string>

namespace guizzolo::posix {

class SessionManagerClient {
 public:
  // Connects to the manager that SESSION_MANAGER names, if any. The program
  // asks never to be restarted by the manager: it is started by the user.
  explicit SessionManagerClient(const std::string& programPath);
  ~SessionManagerClient();
  SessionManagerClient(const SessionManagerClient&) = delete;
  SessionManagerClient& operator=(const SessionManagerClient&) = delete;

  // The connection's descriptor; -1 without a manager or once it has gone.
  int fd() const;
  // Handles what the manager sent: saves are answered at once (the program
  // has nothing to save but at its end). True when the manager said Die.
  bool process();

  struct Connection;

 private:
  std::unique_ptr<Connection> connection_;
};

}  // namespace guizzolo::posix
