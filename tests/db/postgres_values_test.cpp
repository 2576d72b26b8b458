// Values between the database's text forms and the engine's typed Values.
#include <gtest/gtest.h>

#include <cmath>

#include "db/connection.h"
#include "db/postgres/pg_values.h"

namespace talwen::db::postgres {
namespace {

DateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return DateTime{y, mo, d, h, mi, s};
}

struct Case {
  uint32_t type;
  std::string text;
  Value expected;
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.type << ":" << c.text;
}

class ValueOfText : public ::testing::TestWithParam<Case> {};

TEST_P(ValueOfText, KeepsTheColumnsType) {
  const Case& c = GetParam();
  EXPECT_EQ(ValueOf(c.type, c.text, 2), c.expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Types, ValueOfText,
    ::testing::Values(
        Case{kOidBool, "t", Value::boolean(true)}, Case{kOidBool, "f", Value::boolean(false)},
        Case{kOidInt2, "-32768", Value::int16(-32768)}, Case{kOidInt4, "42", Value::int32(42)},
        Case{kOidInt8, "9223372036854775807", Value::int64(9223372036854775807)},
        Case{kOidFloat4, "1.5", Value::single(1.5f)}, Case{kOidFloat8, "0.1", Value::real(0.1)},
        Case{kOidFloat8, "-1e+300", Value::real(-1e300)},
        Case{kOidNumeric, "12.50", Value::decimal("12.50")},
        Case{kOidNumeric, "NaN", Value::decimal("NaN")},
        Case{kOidMoney, "$1,234.56", Value::currency("1234.56")},
        Case{kOidMoney, "-$0.50", Value::currency("-0.50")},
        Case{kOidText, "abc", Value::text("abc")}, Case{kOidVarchar, "", Value::text("")},
        Case{kOidBpchar, "AB  ", Value::text("AB  ")},
        Case{kOidDate, "2008-03-27", Value::date(At(2008, 3, 27))},
        Case{kOidDate, "2000-02-29", Value::date(At(2000, 2, 29))},
        Case{kOidTime, "10:11:12.123", Value::date(At(1899, 12, 30, 10, 11, 12))},
        Case{kOidTimestamp, "2008-03-27 23:59:59.999999", Value::date(At(2008, 3, 27, 23, 59, 59))},
        Case{kOidTimestampTz, "2008-03-27 08:11:12.5+00", Value::date(At(2008, 3, 27, 8, 11, 12))},
        Case{kOidTimestampTz, "2008-03-27 08:11:12-03:30", Value::date(At(2008, 3, 27, 8, 11, 12))},
        // What the types cannot hold stays text, not a wrong value.
        Case{kOidDate, "infinity", Value::text("infinity")},
        Case{kOidDate, "0044-03-15 BC", Value::text("0044-03-15 BC")},
        Case{kOidDate, "2001-02-29", Value::text("2001-02-29")},
        Case{kOidTime, "24:00:00", Value::text("24:00:00")},
        Case{kOidInt2, "70000", Value::text("70000")},
        Case{kOidTimestamp, "2008-03-27", Value::text("2008-03-27")},
        // Unknown types are text.
        Case{2950, "a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11",
             Value::text("a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11")}));

TEST(ValueOf, FloatSpecialsAreNumbers) {
  EXPECT_TRUE(std::isinf(ValueOf(kOidFloat8, "Infinity", 2).as_double()));
  EXPECT_TRUE(std::isnan(ValueOf(kOidFloat4, "NaN", 2).as_double()));
}

TEST(MoneyDigits, ReadsAnyLocalesFormatGivenItsFractionDigits) {
  EXPECT_EQ(MoneyDigits("$1,234,567.00", 2), "1234567.00");
  EXPECT_EQ(MoneyDigits("-1.234,56 \xE2\x82\xAC", 2), "-1234.56");
  EXPECT_EQ(MoneyDigits("($5.00)", 2), "-5.00");
  EXPECT_EQ(MoneyDigits("\xC2\xA5"
                        "1,234",
                        0),
            "1234");
  EXPECT_EQ(MoneyDigits("$0.05", 2), "0.05");
  EXPECT_EQ(MoneyDigits("1.234", 3), "1.234");
}

TEST(TypeCodeOf, MapsTheBuiltInTypes) {
  const std::pair<uint32_t, int32_t> cases[] = {
      {kOidInt2, 2},         {kOidInt4, 3},        {kOidInt8, 20},         {kOidFloat4, 4},
      {kOidFloat8, 5},       {kOidNumeric, 131},   {kOidMoney, 6},         {kOidBool, 11},
      {kOidText, 202},       {kOidVarchar, 202},   {kOidBpchar, 130},      {kOidDate, 133},
      {kOidTime, 134},       {kOidTimestamp, 135}, {kOidTimestampTz, 135}, {kOidRefcursor, 202},
      {2950 /* uuid */, 202}};
  for (const auto& [oid, code] : cases) EXPECT_EQ(TypeCodeOf(oid), code) << oid;
}

TEST(BindValue, SendsEachKindAsTextTheServerReadsBack) {
  EXPECT_FALSE(BindValue(Value::null()));
  EXPECT_FALSE(BindValue(Value()));
  EXPECT_EQ(BindValue(Value::text("O'Brien"))->text, "O'Brien");
  EXPECT_FALSE(BindValue(Value::text("x"))->is_number);
  EXPECT_EQ(BindValue(Value::int32(-7))->text, "-7");
  EXPECT_TRUE(BindValue(Value::int16(7))->is_number);
  EXPECT_EQ(BindValue(Value::real(0.1))->text, "0.1");
  EXPECT_EQ(BindValue(Value::real(1e20))->text, "1e+20");
  EXPECT_EQ(BindValue(Value::decimal("12.50"))->text, "12.50");
  EXPECT_TRUE(BindValue(Value::currency("1.5"))->is_number);
  EXPECT_EQ(BindValue(Value::boolean(true))->text, "true");
  EXPECT_EQ(BindValue(Value::date(At(2008, 3, 27)))->text, "2008-03-27");
  EXPECT_EQ(BindValue(Value::date(At(2008, 3, 27, 10, 0, 5)))->text, "2008-03-27 10:00:05");
}

TEST(BindValue, RefusesTextWithANul) {
  try {
    BindValue(Value::text(std::string("a\0b", 3)));
    FAIL();
  } catch (const DbError& e) {
    EXPECT_EQ(e.number(), kErrorStatement);
  }
}

}  // namespace
}  // namespace talwen::db::postgres
