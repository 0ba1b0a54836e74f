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
// empty or half-written. Through a symbolic link the file it points to is
// replaced, in its own folder, and the link stays. Where the folder refuses
// a new file but the target itself is writable, the new bytes go over the
// old ones in place, and the length is cut only once they are on the disk.
// Temporary files left by a writer that was killed are removed on the way.
// A target the user made read-only in a folder that takes files is left as
// it is (Failure); a folder that takes no file and a target that cannot be
// written give Refused; Failure for any other fault.
void writeFileWhole(const std::string& path, const std::string& bytes);

// Windows' own per-user place for the files of a program folder that the
// user may not write: %LOCALAPPDATA%\VirtualStore\<the folder without its
// drive>. Empty for a folder with no drive letter (a network share).
std::string virtualStoreFolder(const std::string& programFolder);

// Creates the folder and the missing folders above it; Failure when it cannot.
void createFolders(const std::string& path);
// Whether writeFileWhole would take the file rather than refuse it; nothing
// is left behind.
bool takesFile(const std::string& path);

// One store, one running program: takes a name of this session's (a named
// mutex, kept until the process ends) made from the file's full path. False
// when another process has taken it.
bool claimFile(const std::string& path);

}  // namespace guizzolo::win32
