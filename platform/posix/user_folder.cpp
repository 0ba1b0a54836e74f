#include "platform/posix/user_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/platform.h"

namespace guizzolo::posix {
namespace {

std::string homeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/')
    return found->pw_dir;
  return {};
}

}  // namespace

std::string userStateFolder() {
  // Relative paths in the XDG variables are to be ignored.
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/')
    return std::string(state) + "/guizzolo";
  const std::string home = homeFolder();
  if (home.empty()) return {};
  return (home == "/" ? std::string() : home) + "/.local/state/guizzolo";
}

void createPrivateFolders(const std::string& path) {
  if (path.empty() || path.front() != '/') throw Failure("not an absolute folder: " + path);
  for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    const std::string folder = path.substr(0, end);
    if (!folder.empty() && folder.back() != '/' && ::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
      throw Failure("cannot create " + folder);
    if (end == std::string::npos) break;
  }
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) throw Failure("not a folder: " + path);
}

}  // namespace guizzolo::posix
