// The signals that end a session (SIGTERM and SIGHUP from the session or the
// system, SIGINT from a terminal) turned into a readable file descriptor, so
// the program's own event loop handles them on its one thread, between
// events, like any other event.
#pragma once

namespace guizzolo::posix {

// Installs the handlers (once per process) and returns the read end of a
// non-blocking pipe that becomes readable when one of the signals arrives.
// A signal that comes before the loop watches the descriptor waits in the
// pipe. -1 when the pipe cannot be made; the signals then keep their
// default action. Signals that were ignored when the program started (nohup)
// stay ignored.
int sessionSignalFd();

// Empties the pipe; returns the number of the last signal read, 0 if none.
int takeSessionSignals(int fd);

}  // namespace guizzolo::posix
