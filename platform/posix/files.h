// File access shared by the POSIX backends (the desktop program and the test fake).
#pragma once

#include <cstddef>
#include <string>

namespace guizzolo::posix {

// At most maxBytes from the start of a regular file; Missing when there is
// no such file, Failure when it cannot be read.
std::string readFilePrefix(const std::string& path, std::size_t maxBytes);

// Writes a temporary file beside the target, flushes it to disk and renames it
// over the target, so a crash or a full disk never leaves the file empty or
// half-written. A symlink is written through: its final target is replaced,
// in the target's own folder, and the link stays. Where the folder refuses a
// new file, an existing target is overwritten in place, never shorter than
// the old or the new content until the new bytes are on disk. Temporary files
// left by a killed writer are removed on the way.
// Refused when the folder takes no new file and the target cannot be
// written; Failure for anything else (a target the user made read-only, a
// full disk); the old content then stays as it was.
void writeFileWhole(const std::string& path, const std::string& bytes);

// Whether writeFileWhole would take the file rather than refuse it: the
// file (through its links) can be written, or its folder takes new files.
bool takesFile(const std::string& path);

// The final target of a chain of symlinks (the path itself when it is none);
// the last target need not exist. Failure for a loop.
std::string finalTarget(const std::string& path);

// A lock on the folder of the file's final target (flock, exclusive), for
// one store, one running program: the folder, unlike the file, is never
// replaced by a write, and it can be locked without being writable. Returns
// the locked descriptor, to be kept open as long as the claim lasts;
// kClaimedElsewhere when another open descriptor (another process) holds
// the lock; -1 when no lock can be taken there (no such folder, a file
// system without locks).
constexpr int kClaimedElsewhere = -2;
int claimFolderOf(const std::string& path);

}  // namespace guizzolo::posix
