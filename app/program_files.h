// Files that live beside the program's executable.
#pragma once

#include <string>

#include "platform/platform.h"

namespace guizzolo {

// The path of a file in the program folder. Failure when the folder is not
// known: a bare name would land in another folder (the root, or wherever the
// program was started from).
inline std::string ProgramFile(Platform& platform, const std::string& name) {
  const std::string folder = platform.programFolder();
  if (folder.empty()) throw Failure("program folder unknown");
  return folder + platform.pathSeparator() + name;
}

}  // namespace guizzolo
