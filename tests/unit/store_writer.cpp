// Writes the store file from a process of its own, as a user who is not
// root (permissions bind it), for the tests that kill it or refuse it.
//   store_writer once PATH TEXT    one write; exit 0 written, 2 refused, 3 failed
//   store_writer loop PATH A B     writes A and B in turn until killed
#include <grp.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/posix/files.h"

namespace {

constexpr uid_t kNobody = 65534;

int writeOnce(const std::string& path, const std::string& bytes) {
  try {
    guizzolo::posix::writeFileWhole(path, bytes);
    return 0;
  } catch (const guizzolo::Refused&) {
    return 2;
  } catch (const guizzolo::Failure&) {
    return 3;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 64;
  if (::geteuid() == 0 &&
      (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
    std::perror("store_writer: cannot become nobody");
    return 65;
  }
  const std::string mode = argv[1], path = argv[2];
  if (mode == "once") return writeOnce(path, argv[3]);
  if (mode == "loop" && argc >= 5) {
    for (unsigned long i = 0;; ++i) writeOnce(path, argv[3 + i % 2]);
  }
  return 64;
}
