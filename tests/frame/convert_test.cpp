// The number conversions of session texts and database values.
#include "frame/convert.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace talwen {
namespace {

TEST(RoundedInt16, ReadsWholeNumbersOfTheSixteenBitRange) {
  const struct {
    const char* text;
    std::optional<int16_t> expected;
  } cases[] = {
      {"3", 3},
      {" 12 ", 12},
      {"+7", 7},
      {"-2", -2},
      {"2.5", 2},
      {"3.5", 4},
      {"0.4", 0},
      {"32767", 32767},
      {"-32768", -32768},
      {"32768", std::nullopt},
      {"70000", std::nullopt},
      {"abc", std::nullopt},
      {"", std::nullopt},
      {"  ", std::nullopt},
      {"1e3", std::nullopt},
      {"5 copies", std::nullopt},
      {".", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(RoundedInt16(c.text), c.expected) << "'" << c.text << "'";
}

TEST(Int16OrZero, ConvertsNumericTextAndRoundsToEven) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"", 0},    {"  ", 0},        {"abc", 0},         {"12abc", 0},      {"7", 7},
      {" 7 ", 7}, {"-4", -4},       {"+5", 5},          {"2.5", 2},        {"3.5", 4},
      {"2.6", 3}, {"32767", 32767}, {"-32768", -32768}, {"32767.4", 32767}};
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(Int16OrZero("so_line", text), Value::int16(static_cast<int16_t>(expected)))
        << "'" << text << "'";
  }
  EXPECT_THROW(Int16OrZero("so_line", "32767.5"), BadInput);
}

TEST(StrictDouble, ReadsNumbersWithExponentsAndRefusesTheRest) {
  const std::vector<std::pair<std::string, double>> numbers = {
      {"7", 7}, {" -2.5 ", -2.5}, {"+.5", 0.5}, {"1e3", 1000}, {"12.", 12}};
  for (const auto& [text, expected] : numbers) {
    EXPECT_EQ(StrictDouble(text), expected) << "'" << text << "'";
  }
  for (const std::string text : {"", "  ", ".", "-", "abc", "5 kg", "1e999", "0x10", "--1"}) {
    EXPECT_THROW(StrictDouble(text), std::invalid_argument) << "'" << text << "'";
  }
}

TEST(WholeInt16, TakesWholeNumbersOfTheSixteenBitRangeOnly) {
  EXPECT_EQ(WholeInt16(" 12 "), 12);
  EXPECT_EQ(WholeInt16("-32768"), -32768);
  EXPECT_EQ(WholeInt16("3.0"), 3);
  EXPECT_THROW(WholeInt16("2.5"), std::invalid_argument);
  EXPECT_THROW(WholeInt16(""), std::invalid_argument);
  EXPECT_THROW(WholeInt16("32768"), BadInput);
}

TEST(EqualsZero, ComparesAsANumber) {
  const struct {
    Value value;
    bool zero;
  } cases[] = {
      {Value::int32(0), true},         {Value::int16(-1), false},
      {Value::int64(0), true},         {Value::real(0.0), true},
      {Value::single(0.5F), false},    {Value::boolean(false), true},
      {Value::boolean(true), false},   {Value::text("0"), true},
      {Value::text(" -0.00 "), true},  {Value::text("0.01"), false},
      {Value::text(""), false},        {Value::text("zero"), false},
      {Value::decimal("0.000"), true}, {Value::currency("1.0000"), false},
      {Value::null(), false},          {Value::date(DateTime{}), false},
  };
  for (const auto& c : cases) EXPECT_EQ(EqualsZero(c.value), c.zero) << c.value.to_text();
}

}  // namespace
}  // namespace talwen
