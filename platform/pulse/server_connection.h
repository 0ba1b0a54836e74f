// One non-blocking connection to the audio server's unix socket: frames to
// send wait in a queue until the socket takes them, and what arrives is cut
// into frames. Nothing here ever waits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/pulse/frame.h"

namespace guizzolo::pulse {

class ServerConnection {
 public:
  ServerConnection() = default;
  ~ServerConnection() { close(); }
  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;

  // Connects to the first socket that accepts at once; false when none does.
  bool open(const std::vector<std::string>& sockets);
  void close();
  bool isOpen() const { return socket_ >= 0; }
  int socket() const { return socket_; }

  void send(std::string bytes);
  // Bytes owned elsewhere, kept alive by keep until they are sent.
  void send(std::shared_ptr<const std::string> keep, std::string_view bytes);
  // Hands the socket what it takes now; false when the connection broke.
  bool flush();
  bool wantsToWrite() const { return !queue_.empty(); }

  // Reads what has arrived and passes on each whole frame; false when the
  // server went away or sent what cannot be a frame.
  bool receive(const std::function<void(const Frame&)>& onFrame);

 private:
  struct Piece {
    std::string own;
    std::shared_ptr<const std::string> keep;  // when the bytes are not own
    std::size_t offset = 0, length = 0;
    const char* data() const { return (keep ? keep->data() : own.data()) + offset; }
  };

  int socket_ = -1;
  std::deque<Piece> queue_;
  std::string received_;
};

}  // namespace guizzolo::pulse
