#include "hunger/store.h"

#include "app/resume_next.h"
#include "platform/platform.h"

namespace guizzolo {
namespace {

// Enough for any value the program writes, and a bound on what a damaged or
// foreign file can make it read.
constexpr std::size_t kMostRead = 4096;

std::string storePath(Platform& platform) {
  return platform.programFolder() + platform.pathSeparator() + kStoreName;
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

std::string ReadStore(Platform& platform) {
  std::string field;
  step([&] {
    field = FirstField(platform.readFile(storePath(platform), kMostRead), platform.decimalSeparator());
  });
  return field;
}

void WriteStore(Platform& platform, const std::string& text) {
  step([&] { platform.writeFile(storePath(platform), text + "\r\n"); });
}

}  // namespace guizzolo
