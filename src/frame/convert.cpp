#include "frame/convert.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "base/text.h"

namespace talwen {

std::optional<double> NumberOf(std::string_view text) {
  if (!looks_numeric(text)) return std::nullopt;
  // looks_numeric admits only blanks, a sign, digits and one point: strtod reads it whole.
  return std::strtod(std::string(text).c_str(), nullptr);
}

std::optional<int16_t> RoundedInt16(std::string_view text) {
  const std::optional<double> n = NumberOf(text);
  if (!n) return std::nullopt;
  const double rounded = std::nearbyint(*n);
  if (rounded < INT16_MIN || rounded > INT16_MAX) return std::nullopt;
  return static_cast<int16_t>(rounded);
}

Value Int16OrZero(std::string_view key, std::string_view text) {
  if (!NumberOf(text)) return Value::int16(0);
  const std::optional<int16_t> n = RoundedInt16(text);
  if (!n) {
    throw BadInput(
        "number", text,
        std::string(key) + " " + std::string(text) + " is outside the 16-bit integer range");
  }
  return Value::int16(*n);
}

double StrictDouble(std::string_view text) {
  std::string_view t = trim(text, " ");
  bool negative = false;
  if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
    negative = t.front() == '-';
    t.remove_prefix(1);
  }
  double d = 0;
  const bool starts_with_digit =
      !t.empty() && ((t.front() >= '0' && t.front() <= '9') || (t.front() == '.' && t.size() > 1));
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), d);
  if (!starts_with_digit || ec != std::errc() || end != t.data() + t.size() || !std::isfinite(d)) {
    throw BadInput("number", text, "Type mismatch: '" + std::string(text) + "' is not a number");
  }
  return negative ? -d : d;
}

int16_t WholeInt16(std::string_view text) {
  const double d = StrictDouble(text);
  if (d != std::trunc(d)) {
    throw BadInput("number", text,
                   "Type mismatch: '" + std::string(text) + "' is not a whole number");
  }
  if (d < -32768 || d > 32767)
    throw BadInput("number", text, "Overflow: '" + std::string(text) + "'");
  return static_cast<int16_t>(d);
}

bool EqualsZero(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::kBoolean:
    case Value::Kind::kInt16:
    case Value::Kind::kInt32:
    case Value::Kind::kInt64:
      return value.as_int() == 0;
    case Value::Kind::kSingle:
    case Value::Kind::kDouble:
      return value.as_double() == 0;
    case Value::Kind::kDecimal:
    case Value::Kind::kCurrency:
    case Value::Kind::kText: {
      const std::optional<double> n = NumberOf(value.as_string());
      return n && *n == 0;
    }
    default:
      return false;
  }
}

}  // namespace talwen
