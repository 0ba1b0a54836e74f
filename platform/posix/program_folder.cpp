#include "platform/posix/program_folder.h"

#include <unistd.h>

#include <vector>

namespace guizzolo::posix {

std::string folderOfExecutable(const std::string& executable) {
  // Not a file's path ("memfd:...", or nothing): there is no folder to name.
  if (executable.empty() || executable.front() != '/') return {};
  const auto slash = executable.find_last_of('/');
  return slash == 0 ? "/" : executable.substr(0, slash);
}

std::string programFolder() {
  // The link's length is not known in advance: grow until it fits.
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size())
      return folderOfExecutable(std::string(buffer.data(), static_cast<std::size_t>(n)));
    if (buffer.size() >= (1u << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace guizzolo::posix
