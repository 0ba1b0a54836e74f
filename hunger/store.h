// The hunger store: Ph.ini in the program folder (or the user's own copy of
// it), one line, the hunger text followed by CR LF.
#pragma once

#include <string>
#include <string_view>

namespace guizzolo {

class Platform;

constexpr const char* kStoreName = "Ph.ini";

// The first field of the file's text: leading blanks skipped, a quoted field
// up to its closing quote, otherwise up to the first comma, CR or LF. Where
// the user's decimal separator is the comma, a comma between digits belongs
// to the number, so a fractional value written here reads back whole.
std::string FirstField(std::string_view content, std::string_view decimalSeparator = ".");

// What a read of the store found: the text (empty when there is none), and
// whether a file is there that could not be read (held open by another
// program, no permission, not a plain file): then the stored value is
// unknown rather than absent, and must not be written over unseen.
struct StoreRead {
  std::string text;
  bool unreadable = false;
};

// The user's own copy (see WriteStore) is read first once there is one.
StoreRead ReadStoreFile(Platform& platform);
// The stored text; the empty text when there is none or it cannot be read.
std::string ReadStore(Platform& platform);

// One store, one running pet: claims the store that reads and writes would
// use (making the user's folder for it where the program folder takes no
// file). False when another running copy of the program has claimed it.
bool ClaimStore(Platform& platform);

// Stores the text followed by CR LF; fails silently, keeping the old file.
// Where the program folder refuses the file (no new file can be created
// there and its Ph.ini cannot be written), the text goes to the user's own
// copy in the platform's user folder, which is the store from then on.
void WriteStore(Platform& platform, const std::string& text);

}  // namespace guizzolo
