// File access shared by the POSIX backends (the Qt program and the test fake).
#pragma once

#include <cstddef>
#include <string>

namespace guizzolo::posix {

// At most maxBytes from the start of a regular file; Failure when it cannot be opened.
std::string readFilePrefix(const std::string& path, std::size_t maxBytes);

// Writes a temporary file beside the target, flushes it to disk and renames it
// over the target, so a crash or a full disk never leaves the file empty or
// half-written. Where the folder refuses a new file, writes the target in place.
// Failure when neither works; the old content is then untouched.
void writeFileWhole(const std::string& path, const std::string& bytes);

}  // namespace guizzolo::posix
