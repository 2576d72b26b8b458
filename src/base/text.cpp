#include "base/text.h"

namespace talwen {

std::string to_lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ascii_lower(c);
  return out;
}

std::string to_upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ascii_upper(c);
  return out;
}

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

bool iends_with(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && iequals(s.substr(s.size() - suffix.size()), suffix);
}

std::string_view trim_right(std::string_view s, std::string_view blanks) {
  const size_t last = s.find_last_not_of(blanks);
  return last == std::string_view::npos ? std::string_view() : s.substr(0, last + 1);
}

std::string_view trim(std::string_view s, std::string_view blanks) {
  const size_t first = s.find_first_not_of(blanks);
  return first == std::string_view::npos ? std::string_view() : trim_right(s.substr(first), blanks);
}

std::string one_line(std::string_view s) {
  std::string out;
  bool blank = false;
  for (const char c : s) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      blank = !out.empty();
      continue;
    }
    if (blank) out.push_back(' ');
    blank = false;
    out.push_back(c);
  }
  return out;
}

void append_thousandths(std::string& out, int thousandths) {
  const char digits[] = {'.', static_cast<char>('0' + thousandths / 100),
                         static_cast<char>('0' + thousandths / 10 % 10),
                         static_cast<char>('0' + thousandths % 10)};
  out.append(digits, sizeof(digits));
}

}  // namespace talwen
