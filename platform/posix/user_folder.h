// The user's own place for the files the program folder cannot take.
#pragma once

#include <string>

namespace guizzolo::posix {

// $XDG_STATE_HOME/guizzolo, or ~/.local/state/guizzolo when that is unset
// or not absolute; the empty text when the user has no home folder.
std::string userStateFolder();

// Creates the folder and the missing folders above it with mode 0700;
// folders already there are left as they are. Failure when it cannot.
void createPrivateFolders(const std::string& path);

}  // namespace guizzolo::posix
