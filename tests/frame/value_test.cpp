#include "db/value.h"

#include <gtest/gtest.h>

#include <string>

#include "base/text.h"
#include "frame/session.h"

namespace talwen {
namespace {

TEST(ValueText, OneLocaleFreeFormPerKind) {
  const struct {
    const char* proves;
    Value value;
    const char* expected;
  } cases[] = {
      {"Null is empty", Value::null(), ""},
      {"Empty is empty", Value(), ""},
      {"Booleans", Value::boolean(true), "True"},
      {"false", Value::boolean(false), "False"},
      {"negative 16-bit integer", Value::int16(-32768), "-32768"},
      {"64-bit integer", Value::int64(9'007'199'254'740'993), "9007199254740993"},
      {"double with a fraction", Value::real(-12.5), "-12.5"},
      {"a double sum rounds to 15 digits", Value::real(0.1 + 0.2), "0.3"},
      {"rounding may carry into the integer part", Value::real(9.9999999999999991), "10"},
      {"15 integer digits stay plain", Value::real(123456789012345.0), "123456789012345"},
      {"16 integer digits take an exponent", Value::real(1e20), "1E+20"},
      {"an exponent keeps the rounded mantissa", Value::real(1234567890123456789.0),
       "1.23456789012346E+18"},
      {"a small fraction stays plain", Value::real(0.00001), "0.00001"},
      {"a fraction needing 16 digits takes an exponent", Value::real(1.0 / 81),
       "1.23456790123457E-02"},
      {"a small fraction of few digits stays plain", Value::real(-1.5e-7), "-0.00000015"},
      {"a tiny fraction takes an exponent", Value::real(-1.5e-17), "-1.5E-17"},
      {"negative zero", Value::real(-0.0), "0"},
      {"a single shows its own 7 digits, not the double's", Value::single(0.1f), "0.1"},
      {"a single with a fraction", Value::single(1234.567f), "1234.567"},
      {"decimal drops trailing zeros", Value::decimal("12.50"), "12.5"},
      {"decimal drops a bare point", Value::decimal("100.00"), "100"},
      {"decimal integer keeps its zeros", Value::decimal("100"), "100"},
      {"negative decimal zero", Value::decimal("-0.00"), "0"},
      {"currency", Value::currency("3.0000"), "3"},
      {"text as is", Value::text(" a<b> "), " a<b> "},
      {"date", Value::date({2008, 3, 27}), "2008-03-27"},
      {"date and time", Value::date({2008, 3, 27, 9, 5, 1}), "2008-03-27 09:05:01"},
      {"time of day", Value::date({1899, 12, 30, 23, 59, 59}), "23:59:59"},
      {"the serial zero itself is a date", Value::date({1899, 12, 30}), "1899-12-30"},
      {"an early year keeps four digits", Value::date({100, 1, 1}), "0100-01-01"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.value.to_text(), c.expected) << c.proves;
}

TEST(SessionValues, KeepOrderAndIgnoreLetterCase) {
  Values v;
  v.set("function", "rf_get_po");
  v.set("Client", "C01");
  v.set("qty", "5");
  v.set("CLIENT", "C02");  // replaces in place, keeps the first spelling of the key
  v.set("QTY", "");
  ASSERT_EQ(v.count(), 3);
  EXPECT_EQ(v.key(2), "Client");
  EXPECT_EQ(v.item(2), "C02");
  EXPECT_EQ(v.get("client"), "C02");
  EXPECT_EQ(v.key(3), "qty");
  EXPECT_TRUE(v.contains("Qty")) << "an empty value is still a value";
  EXPECT_EQ(v.get("missing"), "");
  EXPECT_FALSE(v.contains("missing"));
  EXPECT_THROW(v.key(0), std::out_of_range) << "items count from 1";
  EXPECT_THROW(v.item(4), std::out_of_range);
  v.remove_all();
  EXPECT_EQ(v.count(), 0);
  EXPECT_EQ(v.get("function"), "");
  EXPECT_FALSE(iequals("qty", "qt")) << "a prefix is not a match";
}

}  // namespace
}  // namespace talwen
