// Text helpers: ASCII letter case and blanks, the way every key, name and keyword of the engine
// is compared and cleaned.
//
// Only the ASCII letters A-Z and a-z change case; every other byte (UTF-8 sequences included)
// is left as it is, so the result never depends on the process locale. All functions are pure
// and safe to call from any thread.
#pragma once

#include <string>
#include <string_view>

namespace talwen {

// Blanks as most texts of the engine know them: space and tab.
inline constexpr std::string_view kBlanks = " \t";

// Return c in lower case when it is an ASCII capital, else c.
constexpr char ascii_lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
// Return c in upper case when it is an ASCII small letter, else c.
constexpr char ascii_upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Return s with its ASCII letters in lower (upper) case.
std::string to_lower(std::string_view s);
std::string to_upper(std::string_view s);

// Is a equal to b, ASCII letters compared without regard to case?
bool iequals(std::string_view a, std::string_view b);
// Does s end with suffix, compared as iequals does?
bool iends_with(std::string_view s, std::string_view suffix);

// Return s without the characters of `blanks` at either end (at the right end only).
std::string_view trim(std::string_view s, std::string_view blanks = kBlanks);
std::string_view trim_right(std::string_view s, std::string_view blanks = kBlanks);

// Return s on one line: each run of spaces, tabs and line breaks becomes one space, and none
// is left at either end (a server's message made fit for a reply).
std::string one_line(std::string_view s);

// Append ".ddd": a fraction in thousandths (0 to 999), as the logs write milliseconds.
void append_thousandths(std::string& out, int thousandths);

}  // namespace talwen
