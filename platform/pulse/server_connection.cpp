#include "platform/pulse/server_connection.h"

#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace guizzolo::pulse {

bool ServerConnection::open(const std::vector<std::string>& sockets) {
  close();
  for (const std::string& path : sockets) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) continue;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    // A unix socket connects at once or not at all (EAGAIN: the server's
    // queue is full, i.e. it does not keep up; silence rather than wait).
    int r;
    do r = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    while (r < 0 && errno == EINTR);
    if (r == 0 || errno == EINPROGRESS) {
      socket_ = fd;
      return true;
    }
    ::close(fd);
  }
  return false;
}

void ServerConnection::close() {
  if (socket_ >= 0) ::close(socket_);
  socket_ = -1;
  queue_.clear();
  received_.clear();
  received_.shrink_to_fit();
}

void ServerConnection::send(std::string bytes) {
  if (bytes.empty()) return;
  const std::size_t length = bytes.size();
  queue_.push_back(Piece{std::move(bytes), nullptr, 0, length});
}

void ServerConnection::send(std::shared_ptr<const std::string> keep, std::string_view bytes) {
  if (bytes.empty()) return;
  const std::size_t offset = static_cast<std::size_t>(bytes.data() - keep->data());
  queue_.push_back(Piece{{}, std::move(keep), offset, bytes.size()});
}

bool ServerConnection::flush() {
  if (socket_ < 0) return false;
  while (!queue_.empty()) {
    iovec parts[16];
    int count = 0;
    for (auto it = queue_.begin(); it != queue_.end() && count < 16; ++it, ++count)
      parts[count] = iovec{const_cast<char*>(it->data()), it->length};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = static_cast<std::size_t>(count);
    // MSG_NOSIGNAL: a server gone away must not end the program by SIGPIPE.
    const ssize_t sent = ::sendmsg(socket_, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    auto left = static_cast<std::size_t>(sent);
    while (left > 0) {
      Piece& front = queue_.front();
      if (left < front.length) {
        front.offset += left;
        front.length -= left;
        break;
      }
      left -= front.length;
      queue_.pop_front();
    }
  }
  return true;
}

bool ServerConnection::receive(const std::function<void(const Frame&)>& onFrame) {
  if (socket_ < 0) return false;
  char buffer[16384];
  // Until the socket is empty: a hang-up behind the last answer is seen now,
  // not when the next request fails.
  for (;;) {
    const ssize_t n = ::recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0) return false;
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      return false;
    }
    received_.append(buffer, static_cast<std::size_t>(n));
    if (received_.size() > kMaxIncomingFrameBytes + kDescriptorBytes) break;  // cut it into frames first
  }
  std::size_t start = 0;
  for (;;) {
    Frame frame;
    std::size_t used = 0;
    const Split split = SplitFrame(std::string_view(received_).substr(start), frame, used);
    if (split == Split::kMalformed) return false;
    if (split == Split::kNeedMore) break;
    start += used;
    onFrame(frame);
    // onFrame may have closed the connection.
    if (socket_ < 0) return false;
  }
  received_.erase(0, start);
  return true;
}

}  // namespace guizzolo::pulse
