#include "platform/posix/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/platform.h"

namespace guizzolo::posix {
namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  // close() reports deferred write errors (NFS, quota), so it is checked.
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool writeAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

mode_t newFileMode(const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) == 0) return st.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

void writeInPlace(const std::string& path, const std::string& bytes) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!fd.ok()) throw Failure("cannot open " + path);
  if (!writeAll(fd.get(), bytes) || ::fsync(fd.get()) != 0 || !fd.close())
    throw Failure("cannot write " + path);
}

}  // namespace

std::string readFilePrefix(const std::string& path, std::size_t maxBytes) {
  // O_NONBLOCK: a FIFO in the file's place must not hang the program.
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.ok()) throw Failure("cannot open " + path);
  struct stat st{};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) throw Failure("not a file: " + path);
  std::string out;
  std::vector<char> buf(4096);
  while (out.size() < maxBytes) {
    const std::size_t want = std::min(buf.size(), maxBytes - out.size());
    const ssize_t n = ::read(fd.get(), buf.data(), want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw Failure("cannot read " + path);
    if (n == 0) break;
    out.append(buf.data(), static_cast<std::size_t>(n));
  }
  return out;
}

void writeFileWhole(const std::string& path, const std::string& bytes) {
  // A file the user made read-only stays as it is.
  if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0)
    throw Failure("read-only: " + path);
  const std::string folder = folderOf(path);
  const std::string name = path.substr(path.find_last_of('/') + 1);
  std::string temp = folder + "/." + name + ".new-XXXXXX";
  Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (!fd.ok()) {
    writeInPlace(path, bytes);
    return;
  }
  const bool written = ::fchmod(fd.get(), newFileMode(path)) == 0 && writeAll(fd.get(), bytes) &&
                       ::fsync(fd.get()) == 0 && fd.close();
  if (!written || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    throw Failure("cannot replace " + path);
  }
  Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.ok()) ::fsync(dir.get());  // the rename itself reaches the disk; best effort
}

}  // namespace guizzolo::posix
