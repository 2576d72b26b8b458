// The conversions of session texts into the typed inputs of the receiving procedures.
#include <gtest/gtest.h>

#include <optional>

#include "functions/receiving/support.h"

namespace talwen::receiving {
namespace {

struct NumberCase {
  const char* text;
  std::optional<double> value;  // nullopt: refused
};

TEST(ReceivingConversions, NumbersReadDecimalTextAndRefuseEverythingElse) {
  const NumberCase cases[] = {
      {"12", 12},    {" 12.5 ", 12.5}, {"-0.25", -0.25}, {"+3", 3},     {".5", 0.5},   {"5.", 5},
      {"1e3", 1000}, {"", {}},         {" ", {}},        {"abc", {}},   {"12abc", {}}, {"1,5", {}},
      {"inf", {}},   {"nan", {}},      {"- 5", {}},      {"1e999", {}}, {"--1", {}},   {"0x10", {}},
  };
  for (const NumberCase& c : cases) {
    if (c.value) {
      EXPECT_EQ(StrictNumber(c.text), *c.value) << c.text;
    } else {
      EXPECT_THROW(StrictNumber(c.text), ConversionError) << c.text;
    }
  }
}

struct WholeCase {
  const char* text;
  std::optional<int> value;
};

TEST(ReceivingConversions, SixteenBitIntegersAreWholeAndInRange) {
  const WholeCase cases[] = {
      {"3", 3},       {" 3 ", 3},  {"3.0", 3},  {"-32768", -32768}, {"32767", 32767}, {"32768", {}},
      {"-32769", {}}, {"2.5", {}}, {"0.1", {}}, {"", {}},           {"x", {}},
  };
  for (const WholeCase& c : cases) {
    if (c.value) {
      EXPECT_EQ(UnroundedInt16(c.text), *c.value) << c.text;
    } else {
      EXPECT_THROW(UnroundedInt16(c.text), ConversionError) << c.text;
    }
  }
}

TEST(ReceivingConversions, OptionalValuesAreNullOnlyForTheEmptyText) {
  EXPECT_TRUE(NullOrStrictNumber("").is_null());
  EXPECT_EQ(NullOrStrictNumber("12.5"), Value::real(12.5));
  EXPECT_THROW(NullOrStrictNumber(" "), ConversionError);
  EXPECT_TRUE(NullOrUnroundedInt16("").is_null());
  EXPECT_EQ(NullOrUnroundedInt16("4"), Value::int16(4));
  EXPECT_THROW(NullOrUnroundedInt16("4.5"), ConversionError);
}

struct DateCase {
  const char* text;
  const char* date;  // as Value::to_text gives it; nullptr: refused
};

TEST(ReceivingConversions, DatesPlaceDayAndMonthByWhereTheYearStands) {
  const DateCase cases[] = {
      {"2009-01-05", "2009-01-05"},
      {"2009/01/05", "2009-01-05"},
      {"05/01/2009", "2009-01-05"},
      {"5-1-2009", "2009-01-05"},
      {"05.01.2009", "2009-01-05"},
      {"27 Mar 2008", "2008-03-27"},
      {"2009-01-05 10:15", "2009-01-05 10:15:00"},
      {" 29/02/2008 ", "2008-02-29"},
      {"29/02/2009", nullptr},
      {"01/13/2009", nullptr},
      {"2009-13-01", nullptr},
      {"05/01/09", nullptr},
      {"20090105", nullptr},
      {"", nullptr},
      {"today", nullptr},
  };
  for (const DateCase& c : cases) {
    if (c.date) {
      const Value v = ToDate(c.text);
      EXPECT_EQ(v.kind(), Value::Kind::kDate) << c.text;
      EXPECT_EQ(v.to_text(), c.date) << c.text;
    } else {
      EXPECT_THROW(ToDate(c.text), ConversionError) << c.text;
    }
  }
}

TEST(ReceivingConversions, OutputValuesConvertByKind) {
  EXPECT_EQ(StrictNumber(Value::decimal("12.500")), 12.5);
  EXPECT_EQ(StrictNumber(Value::int32(7)), 7);
  EXPECT_EQ(StrictNumber(Value::text("3.25")), 3.25);
  EXPECT_THROW(StrictNumber(Value::null()), ConversionError);
  EXPECT_THROW(StrictNumber(Value::boolean(true)), ConversionError);
  EXPECT_EQ(UnroundedInt16(Value::real(2)), 2);
  EXPECT_THROW(UnroundedInt16(Value::int32(70000)), ConversionError);
  EXPECT_THROW(UnroundedInt16(Value::null()), ConversionError);
}

}  // namespace
}  // namespace talwen::receiving
