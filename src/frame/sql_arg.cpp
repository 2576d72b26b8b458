#include "frame/sql_arg.h"

#include <algorithm>
#include <optional>

#include "base/dates.h"
#include "base/text.h"
#include "db/value.h"

namespace talwen {
namespace {

// Substrings by 1-based character position, forgiving like the string functions the
// templates were written for: past the end they give what there is.
std::string_view mid(std::string_view s, size_t start, size_t length) {
  if (start > s.size()) return {};
  return s.substr(start - 1, length);
}
std::string_view left(std::string_view s, size_t n) {
  return s.substr(0, n);
}
std::string_view right(std::string_view s, size_t n) {
  return n >= s.size() ? s : s.substr(s.size() - n);
}

// The leading-number rule: blanks skipped, digits up to the first non-digit, 0 when none;
// nullopt when the number does not fit a 16-bit integer.
std::optional<int> leading_number(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  long n = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    n = n * 10 + (s[i] - '0');
    if (n > 32767) return std::nullopt;
  }
  return static_cast<int>(n);
}

// Two-digit years: 0-29 are 2000-2029, 30-99 are 1930-1999.
int window_year(int year) {
  if (year < 30) return year + 2000;
  if (year < 100) return year + 1900;
  return year;
}

std::string quoted_date(const DateTime& d) {
  if (d.year < 100 || d.year > 9999) return "Null";
  std::string out = "'";
  out.push_back(static_cast<char>('0' + d.day / 10));
  out.push_back(static_cast<char>('0' + d.day % 10));
  out.append(" ").append(month_abbreviation(d.month)).append(" ");
  const std::string year = std::to_string(d.year);  // four digits: 199 is 0199
  out.append(4 - year.size(), '0').append(year);
  out.push_back('\'');
  return out;
}

std::string date_from_parts(std::string_view year, std::string_view month, std::string_view day) {
  const auto y = leading_number(year), m = leading_number(month), d = leading_number(day);
  if (!y || !m || !d) return "Null";
  return quoted_date(DateTime::from_parts_rolling(window_year(*y), *m, *d));
}

bool all_digits(std::string_view s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// "DD MMM YYYY": a date text with a month name, which must name a real day (no roll-over).
// The day and year parts must be numbers: "27 Mar 08" is no date (its year part is "r 08").
std::string date_from_month_name(std::string_view value) {
  const std::string_view day_text = trim(left(value, 2), " ");
  const std::string_view year_text = trim(right(value, 4), " ");
  if (!all_digits(day_text) || !all_digits(year_text)) return "Null";
  const auto day = leading_number(day_text);
  const auto year = leading_number(year_text);
  const std::string_view name = mid(value, 4, 3);
  if (!day || !year) return "Null";
  const std::optional<int> month = month_of_abbreviation(name);
  if (!month || !is_real_day(window_year(*year), *month, *day)) return "Null";
  return quoted_date(DateTime{.year = window_year(*year), .month = *month, .day = *day});
}

std::string text_literal(std::string_view value) {
  if (value.front() == '\0') return "null";
  std::string out = " N'";
  for (const char c : value) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  out.push_back('\'');
  return out;
}

// Digits, "." and "-" in their order. Two minus signs in a row are kept apart by a blank, so
// that a value can never open a "--" comment and hide the rest of the statement.
std::string number_literal(std::string_view value) {
  std::string out;
  for (const char c : value) {
    if (c == '-' && !out.empty() && out.back() == '-') out.push_back(' ');
    if ((c >= '0' && c <= '9') || c == '.' || c == '-') out.push_back(c);
  }
  return out;
}

// The value as a digit string whose last `decimals` digits are the fraction. A value with fewer
// digits is padded with zeros behind its sign: 5 with two decimals is .05, -5 is -.05.
std::string fixed_decimal(std::string_view value, size_t decimals) {
  if (!looks_numeric(value)) return "null";
  std::string out;
  if (value.front() == '+' || value.front() == '-') {
    out.push_back(value.front());
    value.remove_prefix(1);
  }
  const size_t whole = value.size() > decimals ? value.size() - decimals : 0;
  out.append(left(value, whole));
  out.push_back('.');
  out.append(decimals - std::min(decimals, value.size()), '0');
  out.append(right(value, decimals));
  return out;
}

}  // namespace

std::string FormatSqlArg(std::string_view value, std::string_view type_code) {
  value = trim(value, " ");
  if (value.empty()) return "Null";
  const std::string code = to_upper(type_code);

  if (code == "C") return text_literal(value);
  if (code == "N" || code == "D") return number_literal(value);
  if (code.size() == 7 && code.starts_with("N(15,") && code[6] == ')' && code[5] >= '2' &&
      code[5] <= '6') {
    return fixed_decimal(value, static_cast<size_t>(code[5] - '0'));
  }
  if (code == "YY-MM-DD" || code == "YY/MM/DD") {
    return date_from_parts(left(value, 2), mid(value, 4, 2), right(value, 2));
  }
  if (code == "YYYY-MM-DD" || code == "YYYY/MM/DD") {
    return date_from_parts(left(value, 4), mid(value, 6, 2), right(value, 2));
  }
  if (code == "DD/MM/YY" || code == "DD-MM-YYYY" || code == "DD/MM/YYYY") {
    return date_from_parts(mid(value, 7, 4), mid(value, 4, 2), left(value, 2));
  }
  if (code == "MM/DD/YY" || code == "MM/DD/YYYY" || code == "MM-DD-YYYY") {
    return date_from_parts(mid(value, 7, 4), left(value, 2), mid(value, 4, 2));
  }
  if (code == "YYYYMMDD") return date_from_parts(left(value, 4), mid(value, 5, 2), right(value, 2));
  if (code == "YYMMDD") return date_from_parts(left(value, 2), mid(value, 3, 2), right(value, 2));
  if (code == "DD MMM YYYY") return date_from_month_name(value);
  return "Null";
}

}  // namespace talwen
