// Dates: the one calendar of the engine, built on <chrono>.
//
// DateTime is a calendar date and time of day without time zone, as database values and
// session texts carry it. The calendar is the proleptic Gregorian one for every year (the
// arithmetic repeats it in 400-year cycles, so years beyond <chrono>'s range work too). The
// local-time functions read the process's time zone. Everything here is safe to call from any
// thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace talwen {

// A calendar date and time of day, without time zone. A time-of-day value has the date
// 1899-12-30, the zero of the date serial numbers.
struct DateTime {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;

  bool has_time() const { return hour != 0 || minute != 0 || second != 0; }
  bool is_time_only() const { return year == 1899 && month == 12 && day == 30; }
  friend bool operator==(const DateTime&, const DateTime&) = default;

  // The date serial number (days since 1899-12-30, the fraction being the time of day).
  double serial() const;
  // The date of a serial number; the fraction is turned into the time of day.
  static DateTime from_serial(double serial);
  // The day of a year, month and day that may roll over (month 13 is January of the next
  // year, day 0 is the last day of the previous month).
  static DateTime from_parts_rolling(int year, int month, int day);
};

// Does (year, month, day) name a day of the calendar? Month 1-12, day 1 to the month's length
// (29 February in leap years only).
bool is_real_day(int64_t year, int month, int day);

// "Jan" ... "Dec" for months 1-12; "" for any other number.
std::string_view month_abbreviation(int month);
// The month (1-12) of a three-letter English abbreviation in any letter case; nullopt when
// name is none of them.
std::optional<int> month_of_abbreviation(std::string_view name);

// "yyyymmdd", as file names carry a day.
std::string compact_date(std::chrono::year_month_day day);

// The local calendar day of a moment.
std::chrono::year_month_day local_date(std::chrono::system_clock::time_point when);
// The moment in local time as "yyyy-mm-dd hh:mm:ss" (trace-log entries).
std::string local_stamp(std::chrono::system_clock::time_point when);
// The moment in local time with its offset from UTC, "2009-01-05T10:15:01+0100", or with
// milliseconds "2009-01-05T10:15:01.123+0100" (access and service logs).
std::string local_iso_stamp(std::chrono::system_clock::time_point when,
                            bool with_milliseconds = false);
// The same, appended to out (an access log stamps every request).
void append_local_iso_stamp(std::string& out, std::chrono::system_clock::time_point when,
                            bool with_milliseconds = false);

}  // namespace talwen
