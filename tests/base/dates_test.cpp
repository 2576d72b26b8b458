#include "base/dates.h"

#include <gtest/gtest.h>

namespace talwen {
namespace {

TEST(DateSerial, CountsDaysFromTheEndOf1899) {
  const struct {
    const char* proves;
    DateTime date;
    double serial;
  } cases[] = {
      {"the zero", {1899, 12, 30}, 0},
      {"the first day of 1900", {1900, 1, 1}, 2},
      {"a leap day", {2008, 2, 29}, 39507},
      {"noon", {2008, 3, 27, 12, 0, 0}, 39534.5},
      {"before the zero the time still counts forward", {1899, 12, 29, 6, 0, 0}, -1.25},
      {"the last day", {9999, 12, 31}, 2958465},
      {"the first day", {100, 1, 1}, -657434},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(c.date.serial(), c.serial) << c.proves;
    EXPECT_EQ(DateTime::from_serial(c.serial), c.date) << c.proves;
  }
  EXPECT_EQ(DateTime::from_serial(-0.5), (DateTime{1899, 12, 30, 12, 0, 0}))
      << "a negative fraction of day 0 is a time of the zero day";
}

TEST(DateSerial, PartsRollOver) {
  const struct {
    int y, m, d;
    DateTime expected;
  } cases[] = {
      {2008, 13, 1, {2009, 1, 1}},    {2008, 3, 0, {2008, 2, 29}},    {2008, 0, 0, {2007, 11, 30}},
      {2009, 2, 29, {2009, 3, 1}},    {2008, 1, 366, {2008, 12, 31}}, {2008, -11, 1, {2007, 1, 1}},
      {2008, 25, -1, {2009, 12, 30}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DateTime::from_parts_rolling(c.y, c.m, c.d), c.expected)
        << c.y << "-" << c.m << "-" << c.d;
  }
}

TEST(Calendar, RealDaysInEveryYear) {
  const struct {
    int64_t y;
    int m, d;
    bool real;
  } cases[] = {
      {2008, 2, 29, true},    {2009, 2, 29, false}, {1900, 2, 29, false},  {2000, 2, 29, true},
      {2008, 4, 31, false},   {2008, 13, 1, false}, {2008, 1, 0, false},   {2008, 12, 32, false},
      {1000000, 2, 29, true}, {40000, 2, 29, true}, {40100, 2, 29, false}, {-4, 2, 29, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(is_real_day(c.y, c.m, c.d), c.real) << c.y << "-" << c.m << "-" << c.d;
  }
  // Beyond the years <chrono> holds, the calendar goes on.
  EXPECT_EQ(DateTime::from_parts_rolling(32767, 13, 1), (DateTime{32768, 1, 1}));
  EXPECT_EQ(DateTime::from_parts_rolling(40000, 3, 0), (DateTime{40000, 2, 29}));
}

TEST(Calendar, MonthAbbreviations) {
  EXPECT_EQ(month_abbreviation(3), "Mar");
  EXPECT_EQ(month_abbreviation(13), "");
  EXPECT_EQ(month_of_abbreviation("sEP"), 9);
  EXPECT_EQ(month_of_abbreviation("Sept"), std::nullopt);
  EXPECT_EQ(compact_date(std::chrono::year(2008) / 3 / 7), "20080307");
}

}  // namespace
}  // namespace talwen
