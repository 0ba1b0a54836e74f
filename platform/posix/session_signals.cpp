#include "platform/posix/session_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace guizzolo::posix {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

// Written only before the handlers are installed, read in them.
int writeEnd = -1;
int readEnd = -1;

void onSignal(int number) {
  const int saved = errno;
  // One byte per signal; a full pipe already says "end", so a lost byte is fine.
  const unsigned char byte = static_cast<unsigned char>(number);
  [[maybe_unused]] const ssize_t written = write(writeEnd, &byte, 1);
  errno = saved;
}

}  // namespace

int sessionSignalFd() {
  if (readEnd >= 0) return readEnd;
  int ends[2];
  if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
  readEnd = ends[0];
  writeEnd = ends[1];
  struct sigaction action {};
  action.sa_handler = &onSignal;
  sigemptyset(&action.sa_mask);
  for (const int number : kSignals) sigaddset(&action.sa_mask, number);
  action.sa_flags = SA_RESTART;
  for (const int number : kSignals) {
    // A signal ignored by whoever started us stays ignored: under nohup a
    // hang-up must not end the pet, nor an interrupt under a background shell.
    struct sigaction before {};
    if (sigaction(number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(number, &action, nullptr);
  }
  // Threads started later (the sound worker) inherit the mask; none of them
  // must have blocked these signals, or they would wait there unhandled.
  sigset_t ours;
  sigemptyset(&ours);
  for (const int number : kSignals) sigaddset(&ours, number);
  pthread_sigmask(SIG_UNBLOCK, &ours, nullptr);
  return readEnd;
}

int takeSessionSignals(int fd) {
  int last = 0;
  unsigned char buffer[64];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) {
      last = buffer[got - 1];
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    return last;
  }
}

}  // namespace guizzolo::posix
