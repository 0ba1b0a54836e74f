#include "hunger/hunger_value.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "platform/platform.h"

namespace guizzolo {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The decimal separators the program writes under one locale or another:
// the point, the comma, the Arabic decimal separator U+066B.
constexpr std::string_view kKnownSeparators[] = {".", ",", "\xd9\xab"};

// The length of the decimal separator the text starts with, or 0: the
// user's own, or any the program may have written under another locale, so
// a value stored in Italy or Iran reads back anywhere.
std::size_t separatorAt(std::string_view text, std::string_view separator) {
  if (!separator.empty() && text.substr(0, separator.size()) == separator) return separator.size();
  for (const std::string_view known : kKnownSeparators)
    if (text.substr(0, known.size()) == known) return known.size();
  return 0;
}

// Rewrites the text into the plain form from_chars reads, or fails.
std::string canonical(std::string_view text, std::string_view separator) {
  std::string out;
  std::size_t i = 0;
  auto digits = [&] {
    const std::size_t start = i;
    while (i < text.size() && isDigit(text[i])) out += text[i++];
    return i - start;
  };
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') out += '-';
    ++i;
  }
  std::size_t mantissa = digits();
  if (const std::size_t length = separatorAt(text.substr(i), separator)) {
    i += length;
    out += '.';
    mantissa += digits();
  }
  if (mantissa == 0) throw Failure("not a number");
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    out += 'e';
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) out += text[i++];
    if (digits() == 0) throw Failure("not a number");
  }
  if (i != text.size()) throw Failure("not a number");
  return out;
}

}  // namespace

double ParseHunger(std::string_view text, std::string_view decimalSeparator) {
  const std::string plain = canonical(trimBlanks(text), decimalSeparator);
  double value = 0;
  const char* first = plain.data();
  const char* last = first + plain.size();
  const auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc() || end != last || !std::isfinite(value)) throw Failure("not a number");
  return value;
}

std::string FormatHunger(double value, std::string_view decimalSeparator) {
  if (!std::isfinite(value)) throw Failure("not a number");
  if (value == 0) value = 0;  // no "-0"
  char buffer[64];
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  if (error != std::errc()) throw Failure("cannot format");
  std::string text(buffer, end);
  if (const auto point = text.find('.'); point != std::string::npos)
    text.replace(point, 1, decimalSeparator);
  return text;
}

}  // namespace guizzolo
