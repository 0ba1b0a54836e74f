// The terminating signals reach the event loop as a readable descriptor. Each
// case runs in a child process of its own: the handlers are process-wide.
#include "platform/posix/session_signals.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace guizzolo::test {
namespace {

// The child's exit status: 0 when every check in it held, else the failing check's number.
int InChild(const std::function<int()>& body) {
  const pid_t child = fork();
  if (child == 0) _exit(body());
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFSIGNALED(status)) return 100 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

TEST(SessionSignals, EachEndingSignalMakesTheDescriptorReadableAndNothingElse) {
  for (const int number : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(number);
    EXPECT_EQ(InChild([number] {
                const int fd = posix::sessionSignalFd();
                if (fd < 0) return 1;
                if (posix::sessionSignalFd() != fd) return 2;  // once per process
                if (Readable(fd)) return 3;
                raise(number);  // the process lives on: the loop decides
                if (!Readable(fd)) return 4;
                raise(number);
                if (posix::takeSessionSignals(fd) != number) return 5;
                if (Readable(fd)) return 6;  // emptied
                return 0;
              }),
              0);
  }
}

TEST(SessionSignals, ASignalIgnoredAtStartStaysIgnored) {
  EXPECT_EQ(InChild([] {
              signal(SIGHUP, SIG_IGN);
              const int fd = posix::sessionSignalFd();
              raise(SIGHUP);
              if (Readable(fd)) return 1;
              raise(SIGTERM);
              return posix::takeSessionSignals(fd) == SIGTERM ? 0 : 2;
            }),
            0);
}

TEST(SessionSignals, SignalsBlockedByTheStarterAreUnblocked) {
  EXPECT_EQ(InChild([] {
              sigset_t set;
              sigemptyset(&set);
              sigaddset(&set, SIGTERM);
              sigprocmask(SIG_BLOCK, &set, nullptr);
              const int fd = posix::sessionSignalFd();
              raise(SIGTERM);
              return Readable(fd) ? 0 : 1;
            }),
            0);
}

}  // namespace
}  // namespace guizzolo::test
