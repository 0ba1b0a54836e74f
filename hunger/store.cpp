#include "hunger/store.h"

#include "app/program_files.h"
#include "app/resume_next.h"
#include "platform/platform.h"

namespace guizzolo {
namespace {

// Enough for any value the program writes, and a bound on what a damaged or
// foreign file can make it read.
constexpr std::size_t kMostRead = 4096;

// The store beside the program, and the user's own copy for a program folder
// that takes no file (installed under /usr or Program Files, a read-only
// medium). Both empty when the program folder is not known: then nothing is
// read or written, rather than a file of some other folder.
struct Places {
  std::string program, userFolder, user;
};

Places places(Platform& platform) {
  Places p;
  step([&] { p.program = ProgramFile(platform, kStoreName); });
  if (p.program.empty()) return p;
  step([&] {
    const std::string folder = platform.userFolder();
    if (folder.empty()) return;
    p.user = folder + platform.pathSeparator() + kStoreName;
    p.userFolder = folder;
  });
  return p;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// "12" followed by ",5": the comma is the decimal separator of one number.
bool decimalCommaAt(std::string_view content, std::size_t comma) {
  if (comma == 0 || comma + 1 >= content.size() || !isDigit(content[comma + 1])) return false;
  std::string_view before = content.substr(0, comma);
  if (before.front() == '+' || before.front() == '-') before.remove_prefix(1);
  return !before.empty() && before.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

std::string FirstField(std::string_view content, std::string_view decimalSeparator) {
  // An editor that saves in UTF-8 may put a byte order mark first: it is no
  // part of the value.
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (content.substr(0, kByteOrderMark.size()) == kByteOrderMark) content.remove_prefix(kByteOrderMark.size());
  std::size_t i = 0;
  while (i < content.size() && isBlank(content[i])) ++i;
  content.remove_prefix(i);
  if (!content.empty() && content.front() == '"') {
    content.remove_prefix(1);
    return std::string(content.substr(0, content.find('"')));
  }
  std::size_t end = content.find_first_of(",\r\n");
  if (decimalSeparator == "," && end != std::string_view::npos && content[end] == ',' &&
      decimalCommaAt(content, end))
    end = content.find_first_of(",\r\n", end + 1);
  std::string_view field = content.substr(0, end);
  while (!field.empty() && isBlank(field.back())) field.remove_suffix(1);
  return std::string(field);
}

StoreRead ReadStoreFile(Platform& platform) {
  StoreRead found;
  const Places at = places(platform);
  if (at.program.empty()) return found;
  // While the program folder takes no file, the user's copy holds the latest
  // value. A portable copy in a writable folder keeps to its own file, even
  // where another copy of the program made the user's.
  bool programTakes = true;
  if (!at.user.empty()) step([&] { programTakes = platform.takesFile(at.program); });
  std::string content;
  bool read = false;
  const auto readAt = [&](const std::string& path) {
    try {
      content = platform.readFile(path, kMostRead);
      read = true;
    } catch (const Missing&) {
    } catch (const std::exception&) {
      found.unreadable = true;
    }
  };
  if (!programTakes) readAt(at.user);
  if (!read && !found.unreadable) readAt(at.program);
  step([&] { found.text = FirstField(content, platform.decimalSeparator()); });
  return found;
}

std::string ReadStore(Platform& platform) { return ReadStoreFile(platform).text; }

bool ClaimStore(Platform& platform) {
  const Places at = places(platform);
  if (at.program.empty()) return true;
  bool programTakes = true;
  if (!at.user.empty()) step([&] { programTakes = platform.takesFile(at.program); });
  if (!programTakes) step([&] { platform.createFolders(at.userFolder); });
  bool claimed = true;
  step([&] { claimed = platform.claimFile(programTakes ? at.program : at.user); });
  return claimed;
}

void WriteStore(Platform& platform, const std::string& text) {
  const Places at = places(platform);
  if (at.program.empty()) return;
  const std::string bytes = text + "\r\n";
  bool refused = false;
  step([&] {
    try {
      platform.writeFile(at.program, bytes);
    } catch (const Refused&) {
      refused = true;
    }
  });
  // The program folder takes no file: the user's copy begins here. Where it
  // cannot be written either, the old files stay as they are.
  if (refused && !at.user.empty()) step([&] {
      platform.createFolders(at.userFolder);
      platform.writeFile(at.user, bytes);
    });
}

}  // namespace guizzolo
