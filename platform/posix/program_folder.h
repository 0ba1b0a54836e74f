// Where the running program lives, as the kernel knows it.
#pragma once

#include <string>

namespace guizzolo::posix {

// The folder of the running executable, byte for byte as the file system
// names it (whatever its encoding), with every symlink on the way resolved:
// started as bin/guizzolo -> ../lib/guizzolo/NuvoNuvo, it is lib/guizzolo.
// The empty text when it cannot be found.
std::string programFolder();

// The folder part of an absolute executable path as /proc/self/exe gives it;
// empty when the path is not absolute.
std::string folderOfExecutable(const std::string& executable);

}  // namespace guizzolo::posix
