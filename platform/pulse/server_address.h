// Where the user's audio server listens, and the cookie that proves we may
// use it, as the server's own clients find them.
#pragma once

#include <string>
#include <vector>

namespace guizzolo::pulse {

// The unix sockets to try, in order: the one PULSE_SERVER names (as
// "unix:PATH" or an absolute path), else the user's runtime folder's, else
// the system-wide one. Empty when PULSE_SERVER names a server elsewhere
// (tcp: and the like): that means silence.
std::vector<std::string> ServerSockets();

// The 256 bytes of $PULSE_COOKIE, ~/.config/pulse/cookie or ~/.pulse-cookie,
// the first that can be read whole; zeros when none (a server that lets
// anyone in, or one that knows us by our user id, takes that).
std::string ReadCookie();

}  // namespace guizzolo::pulse
