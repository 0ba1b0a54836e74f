// Prints the program folder as the program finds it, bytes unchanged, for
// the tests that start it from odd places.
#include <cstdio>

#include "platform/posix/program_folder.h"

int main() {
  const std::string folder = guizzolo::posix::programFolder();
  std::fwrite(folder.data(), 1, folder.size(), stdout);
  return folder.empty() ? 1 : 0;
}
