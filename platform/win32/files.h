// The hunger store's file access on Windows.
#pragma once

#include <cstddef>
#include <string>

namespace guizzolo::win32 {

// At most maxBytes from the start of a regular file (UTF-8 path); Failure
// when it cannot be opened or is not a plain disk file.
std::string readFilePrefix(const std::string& path, std::size_t maxBytes);

// Writes a temporary file beside the target, flushes it to the disk and
// moves it over the target, so a crash or a full disk never leaves the file
// empty or half-written. Where the folder refuses a new file but the target
// itself is writable, writes the target in place. A target the user made
// read-only is left as it is. Failure when the content could not be stored.
void writeFileWhole(const std::string& path, const std::string& bytes);

}  // namespace guizzolo::win32
