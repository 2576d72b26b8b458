#include "frame/grid.h"

#include <stdexcept>

#include "base/dates.h"
#include "base/text.h"

namespace talwen {
namespace {

constexpr double kFirstSerial = -657434;  // 100-01-01
constexpr double kLastSerial = 2958465;   // 9999-12-31

bool same_name(std::string_view a, std::string_view b) {
  return iequals(trim(a, " "), trim(b, " "));
}

// Reads an unsigned number of 1 to max_digits digits at pos; advances pos.
std::optional<int> digits(std::string_view s, size_t& pos, size_t max_digits) {
  size_t start = pos;
  int n = 0;
  while (pos < s.size() && pos - start < max_digits && s[pos] >= '0' && s[pos] <= '9') {
    n = n * 10 + (s[pos++] - '0');
  }
  if (pos == start) return std::nullopt;
  return n;
}

// A day of the years 100 to 9999.
bool real_day(int y, int m, int d) {
  return y >= 100 && y <= 9999 && is_real_day(y, m, d);
}

// An optional time after the date: "hh:mm" or "hh:mm:ss", with an optional fraction.
bool read_time(std::string_view s, size_t pos, DateTime& d) {
  if (pos == s.size()) return true;
  if (s[pos] != ' ' && s[pos] != 'T') return false;
  ++pos;
  const auto h = digits(s, pos, 2);
  if (!h || pos >= s.size() || s[pos++] != ':') return false;
  const auto mi = digits(s, pos, 2);
  if (!mi) return false;
  int sec = 0;
  if (pos < s.size() && s[pos] == ':') {
    ++pos;
    const auto se = digits(s, pos, 2);
    if (!se) return false;
    sec = *se;
    if (pos < s.size() && s[pos] == '.') {
      ++pos;
      if (!digits(s, pos, 9)) return false;
    }
  }
  if (pos != s.size() || *h > 23 || *mi > 59 || sec > 59) return false;
  d.hour = *h;
  d.minute = *mi;
  d.second = sec;
  return true;
}

}  // namespace

const Value& ResultGrid::operator()(int c, int r) const {
  if (!rows_) throw NoRows("no rows in the result");
  if (c < 0 || c >= column_count() || r < 0 || r >= static_cast<int>(rows_->size())) {
    throw NoRows("no such cell in the result");
  }
  return (*rows_)[r].at(c);
}

int FindColumnIndex(const ResultGrid& grid, std::string_view name) {
  for (int c = 0; c < grid.column_count(); ++c) {
    if (same_name(grid.column_name(c), name)) return c;
  }
  return -1;
}

Value GridValueByName(const ResultGrid& grid, std::string_view name, int r) {
  if (grid.column_count() == 0) throw NoRows("no column names in the result");
  const int c = FindColumnIndex(grid, name);
  return c < 0 ? Value::text("") : grid(c, r);
}

int SetGridValueByKey(TypedGrid& grid, std::string_view key, Value value) {
  const int c = FindColumnIndex(grid, key);
  if (c >= 0) grid.set_mark(c, std::move(value));
  return c;
}

std::string NullToText(const Value& value, std::string_view default_text) {
  return value.is_null() ? std::string(default_text) : value.to_text();
}

std::string FormatIsoDate(const Value& value) {
  DateTime d;
  switch (value.kind()) {
    case Value::Kind::kInt16:
    case Value::Kind::kInt32:
    case Value::Kind::kSingle:
    case Value::Kind::kDouble: {
      const double serial =
          value.is_integer() ? static_cast<double>(value.as_int()) : value.as_double();
      // Serial numbers name days from 100-01-01 to 9999-12-31 only.
      if (!(serial > kFirstSerial - 1 && serial < kLastSerial + 1)) return "";
      d = DateTime::from_serial(serial);
      break;
    }
    case Value::Kind::kDate:
      d = value.as_date();
      break;
    case Value::Kind::kText: {
      const auto parsed = ParseDateText(value.as_string());
      if (!parsed || (parsed->year == 1900 && parsed->month == 1 && parsed->day == 1)) return "";
      d = *parsed;
      break;
    }
    default:
      return "";
  }
  d.hour = d.minute = d.second = 0;
  return Value::date(d).to_text();
}

std::optional<DateTime> ParseDateText(std::string_view text) {
  const std::string_view s = trim(text, " ");
  DateTime d;
  size_t pos = 0;
  const auto first = digits(s, pos, 4);
  if (!first || pos >= s.size()) return std::nullopt;
  const char sep = s[pos];
  if (pos == 4 && (sep == '-' || sep == '/')) {  // year first
    ++pos;
    const auto m = digits(s, pos, 2);
    if (!m || pos >= s.size() || s[pos++] != sep) return std::nullopt;
    const auto day = digits(s, pos, 2);
    if (!day || !real_day(*first, *m, *day)) return std::nullopt;
    d.year = *first, d.month = *m, d.day = *day;
  } else if (pos <= 2 && (sep == '/' || sep == '-' || sep == '.')) {  // day first
    ++pos;
    const auto m = digits(s, pos, 2);
    if (!m || pos >= s.size() || s[pos++] != sep) return std::nullopt;
    const size_t year_start = pos;
    const auto y = digits(s, pos, 4);
    if (!y || pos - year_start != 4 || !real_day(*y, *m, *first)) return std::nullopt;
    d.year = *y, d.month = *m, d.day = *first;
  } else if (pos <= 2 && sep == ' ') {  // "dd Mon yyyy"
    const auto m = month_of_abbreviation(s.substr(pos + 1, 3));
    pos += 4;
    if (!m || pos >= s.size() || s[pos++] != ' ') return std::nullopt;
    const size_t year_start = pos;
    const auto y = digits(s, pos, 4);
    if (!y || pos - year_start != 4 || !real_day(*y, *m, *first)) return std::nullopt;
    d.year = *y, d.month = *m, d.day = *first;
  } else {
    return std::nullopt;
  }
  if (!read_time(s, pos, d)) return std::nullopt;
  return d;
}

}  // namespace talwen
