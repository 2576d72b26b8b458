#include "base/dates.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "base/text.h"

namespace talwen {
namespace {

using std::chrono::days;
using std::chrono::sys_days;
using std::chrono::year_month_day;

// The Gregorian calendar repeats every 400 years, which are 146097 days. Reducing a year to
// its place in the cycle keeps what <chrono> is handed within its range of years.
constexpr int64_t kCycleYears = 400;
constexpr int64_t kCycleDays = 146097;

constexpr int64_t kSerialZero = -25569;  // 1899-12-30 in days from 1970-01-01

constexpr std::array<std::string_view, 12> kMonthAbbreviations = {
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

int64_t floor_div(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Days from 1970-01-01 to the first of month (1-12) of year.
int64_t first_of_month(int64_t year, int month) {
  const int64_t cycles = floor_div(year, kCycleYears);
  const std::chrono::year y(static_cast<int>(year - cycles * kCycleYears));
  const sys_days first = y / std::chrono::month(static_cast<unsigned>(month)) / 1;
  return first.time_since_epoch().count() + cycles * kCycleDays;
}

// The calendar day of a count of days from 1970-01-01.
void set_day(DateTime& d, int64_t day_number) {
  const int64_t cycles = floor_div(day_number, kCycleDays);
  const year_month_day ymd{sys_days(days(day_number - cycles * kCycleDays))};
  d.year = static_cast<int>(static_cast<int>(ymd.year()) + cycles * kCycleYears);
  d.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  d.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
}

std::tm local_fields(std::chrono::system_clock::time_point when) {
  // The C library's conversion takes a lock of the whole process; each thread converts a
  // second once and remembers it.
  thread_local std::time_t second = -1;
  thread_local std::tm fields{};
  const std::time_t t = std::chrono::system_clock::to_time_t(when);
  if (t != second) {
    ::localtime_r(&t, &fields);
    second = t;
  }
  return fields;
}

}  // namespace

double DateTime::serial() const {
  const int64_t days = first_of_month(year, month) + day - 1 - kSerialZero;
  const double fraction = (hour * 3600 + minute * 60 + second) / 86400.0;
  // Before the zero, the fraction still counts forward in time (the serial's own rule).
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

DateTime DateTime::from_serial(double serial) {
  DateTime d;
  const double whole = std::trunc(serial);
  set_day(d, static_cast<int64_t>(whole) + kSerialZero);
  auto seconds = static_cast<int64_t>(std::llround(std::fabs(serial - whole) * 86400.0));
  if (seconds >= 86400) seconds = 86399;
  d.hour = static_cast<int>(seconds / 3600);
  d.minute = static_cast<int>(seconds / 60 % 60);
  d.second = static_cast<int>(seconds % 60);
  return d;
}

DateTime DateTime::from_parts_rolling(int year, int month, int day) {
  // Months roll into years first, then the day counts from the first of that month.
  const int64_t y = year + floor_div(static_cast<int64_t>(month) - 1, 12);
  const int m = ((month - 1) % 12 + 12) % 12 + 1;
  DateTime d;
  set_day(d, first_of_month(y, m) + day - 1);
  return d;
}

bool is_real_day(int64_t year, int month, int day) {
  if (month < 1 || month > 12 || day < 1 || day > 31) return false;
  const std::chrono::year y(static_cast<int>(year - floor_div(year, kCycleYears) * kCycleYears));
  return year_month_day(y, std::chrono::month(static_cast<unsigned>(month)),
                        std::chrono::day(static_cast<unsigned>(day)))
      .ok();
}

std::string_view month_abbreviation(int month) {
  return month >= 1 && month <= 12 ? kMonthAbbreviations[month - 1] : std::string_view();
}

std::optional<int> month_of_abbreviation(std::string_view name) {
  for (size_t i = 0; i < kMonthAbbreviations.size(); ++i) {
    if (iequals(kMonthAbbreviations[i], name)) return static_cast<int>(i) + 1;
  }
  return std::nullopt;
}

std::string compact_date(year_month_day day) {
  std::array<char, 16> text{};
  std::snprintf(text.data(), text.size(), "%04d%02u%02u", static_cast<int>(day.year()),
                static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()));
  return text.data();
}

year_month_day local_date(std::chrono::system_clock::time_point when) {
  const std::tm tm = local_fields(when);
  return year_month_day(std::chrono::year(tm.tm_year + 1900),
                        std::chrono::month(static_cast<unsigned>(tm.tm_mon + 1)),
                        std::chrono::day(static_cast<unsigned>(tm.tm_mday)));
}

std::string local_stamp(std::chrono::system_clock::time_point when) {
  const std::tm tm = local_fields(when);
  std::array<char, 64> text{};
  std::snprintf(text.data(), text.size(), "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text.data();
}

void append_local_iso_stamp(std::string& out, std::chrono::system_clock::time_point when,
                            bool with_milliseconds) {
  // Each thread formats a second once (access logs stamp every request).
  thread_local std::time_t second = -1;
  thread_local std::array<char, 32> date{}, zone{};
  thread_local size_t date_size = 0, zone_size = 0;
  const std::time_t t = std::chrono::system_clock::to_time_t(when);
  if (t != second) {
    const std::tm tm = local_fields(when);
    date_size = std::strftime(date.data(), date.size(), "%Y-%m-%dT%H:%M:%S", &tm);
    zone_size = std::strftime(zone.data(), zone.size(), "%z", &tm);
    second = t;
  }
  out.append(date.data(), date_size);
  if (with_milliseconds) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() %
        1000;
    append_thousandths(out, static_cast<int>(ms));
  }
  out.append(zone.data(), zone_size);
}

std::string local_iso_stamp(std::chrono::system_clock::time_point when, bool with_milliseconds) {
  std::string text;
  append_local_iso_stamp(text, when, with_milliseconds);
  return text;
}

}  // namespace talwen
