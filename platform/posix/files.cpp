#include "platform/posix/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace guizzolo::posix {
namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Fd& operator=(Fd&&) = delete;
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

constexpr std::string_view kTempInfix = ".new-";
constexpr std::size_t kTempRandom = 6;  // the XXXXXX of mkostemp

bool writeAllAt(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
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

std::string nameOf(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

bool refusing(int error) { return error == EACCES || error == EPERM || error == EROFS; }

mode_t newFileMode(const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) == 0) return st.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// ".Ph.ini.new-Ab12Cd": a temporary file of ours for the target named name.
bool isTempName(std::string_view entry, const std::string& name) {
  const std::size_t prefix = 1 + name.size() + kTempInfix.size();
  if (entry.size() != prefix + kTempRandom || entry.front() != '.' ||
      entry.substr(1, name.size()) != name || entry.substr(1 + name.size(), kTempInfix.size()) != kTempInfix)
    return false;
  const std::string_view random = entry.substr(prefix);
  return std::all_of(random.begin(), random.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  });
}

// A writer holds a lock on its temporary file until the rename, and the
// lock dies with it: a file of ours that nobody holds was left by a writer
// that was killed, and goes.
void removeLeftovers(const std::string& folder, const std::string& name) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = ::readdir(dir)) {
    if (!isTempName(entry->d_name, name)) continue;
    const std::string path = folder + "/" + entry->d_name;
    Fd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st{};
    if (!fd.ok() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
      continue;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) ::unlink(path.c_str());
  }
  ::closedir(dir);
}

// A locked temporary file beside the target; not ok, with errno set, when the
// folder refuses it.
Fd createTemp(const std::string& folder, const std::string& name, std::string& temp) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    temp = folder + "/." + name + std::string(kTempInfix) + std::string(kTempRandom, 'X');
    Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd.ok()) return fd;
    // Another writer's clean-up may have taken the fresh file before the
    // lock: then it is no longer the file of this name, and another is made.
    struct stat mine{}, named{};
    if (::flock(fd.get(), LOCK_EX) == 0 && ::fstat(fd.get(), &mine) == 0 &&
        ::stat(temp.c_str(), &named) == 0 && mine.st_ino == named.st_ino && mine.st_dev == named.st_dev)
      return fd;
  }
  errno = EAGAIN;
  return Fd(-1);
}

// The folder refuses a temporary file, the target itself is writable: the
// new bytes go over the old ones, and only once they are on disk is the
// length cut. At every moment the file holds the old content or the new
// one (with at most a tail of the old after its line end), never less.
void writeOver(const std::string& path, const std::string& bytes) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd.ok()) {
    if (refusing(errno)) throw Refused("cannot write " + path);
    throw Failure("cannot open " + path);
  }
  struct stat st{};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) throw Failure("not a file: " + path);
  if (!writeAllAt(fd.get(), bytes) || ::fdatasync(fd.get()) != 0 ||
      ::ftruncate(fd.get(), static_cast<off_t>(bytes.size())) != 0 || ::fdatasync(fd.get()) != 0 ||
      !fd.close())
    throw Failure("cannot write " + path);
}

}  // namespace

std::string readFilePrefix(const std::string& path, std::size_t maxBytes) {
  // O_NONBLOCK: a FIFO in the file's place must not hang the program.
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.ok() && (errno == ENOENT || errno == ENOTDIR)) throw Missing("no such file: " + path);
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

std::string finalTarget(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st{};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::vector<char> buffer(static_cast<std::size_t>(std::max<off_t>(st.st_size, 255)) + 1);
    const ssize_t n = ::readlink(current.c_str(), buffer.data(), buffer.size());
    if (n < 0 || static_cast<std::size_t>(n) >= buffer.size()) throw Failure("cannot read link " + current);
    const std::string target(buffer.data(), static_cast<std::size_t>(n));
    current = target.front() == '/' ? target : folderOf(current) + "/" + target;
  }
  throw Failure("symlink loop: " + path);
}

bool takesFile(const std::string& path) {
  try {
    const std::string target = finalTarget(path);
    if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) == 0) return true;
    return ::access(folderOf(target).c_str(), W_OK | X_OK) == 0;
  } catch (const Failure&) {
    return true;  // a link loop is a fault of the file, not a refusal of the place
  }
}

void writeFileWhole(const std::string& path, const std::string& bytes) {
  const std::string target = finalTarget(path);
  const std::string folder = folderOf(target);
  const std::string name = nameOf(target);
  const bool exists = ::access(target.c_str(), F_OK) == 0;
  if (exists && ::access(target.c_str(), W_OK) != 0) {
    // A file the user made read-only in a folder that takes files stays as
    // it is; a folder that takes nothing refuses the store as a whole.
    if (::access(folder.c_str(), W_OK | X_OK) == 0) throw Failure("read-only: " + target);
    throw Refused("read-only: " + target);
  }
  removeLeftovers(folder, name);
  std::string temp;
  Fd fd = createTemp(folder, name, temp);
  if (!fd.ok()) {
    if (exists) return writeOver(target, bytes);
    if (refusing(errno)) throw Refused("cannot create " + target);
    throw Failure("cannot create " + target);
  }
  const bool written = ::fchmod(fd.get(), newFileMode(target)) == 0 && writeAllAt(fd.get(), bytes) &&
                       ::fsync(fd.get()) == 0;
  // The rename comes before the close, so the lock covers the whole life of
  // the temporary name.
  if (!written || ::rename(temp.c_str(), target.c_str()) != 0) {
    ::unlink(temp.c_str());
    throw Failure("cannot replace " + target);
  }
  if (!fd.close()) throw Failure("cannot write " + target);
  Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.ok()) ::fsync(dir.get());  // the rename itself reaches the disk; best effort
}

int claimFolderOf(const std::string& path) {
  std::string target;
  try {
    target = finalTarget(path);
  } catch (const Failure&) {
    target = path;  // a link loop: the folder of the name itself
  }
  const int fd = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked == 0) return fd;
  const int error = errno;
  ::close(fd);
  return error == EWOULDBLOCK ? kClaimedElsewhere : -1;
}

}  // namespace guizzolo::posix
