#include "db/postgres/pg_values.h"

#include <charconv>

#include "base/dates.h"
#include "db/connection.h"

namespace talwen::db::postgres {
namespace {

// Read an unsigned decimal of exactly `width` digits (any width when 0) at s[pos].
bool read_number(std::string_view s, size_t& pos, size_t width, int& out) {
  const size_t start = pos;
  int64_t n = 0;
  while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' && (width == 0 || pos - start < width)) {
    n = n * 10 + (s[pos] - '0');
    if (n > 1'000'000) return false;
    ++pos;
  }
  if (pos == start || (width != 0 && pos - start != width)) return false;
  out = static_cast<int>(n);
  return true;
}

bool expect(std::string_view s, size_t& pos, char c) {
  if (pos >= s.size() || s[pos] != c) return false;
  ++pos;
  return true;
}

// "yyyy-mm-dd" (the year may be longer) at s[pos].
bool read_date(std::string_view s, size_t& pos, DateTime& d) {
  return read_number(s, pos, 0, d.year) && d.year >= 1 && expect(s, pos, '-') &&
         read_number(s, pos, 2, d.month) && expect(s, pos, '-') && read_number(s, pos, 2, d.day) &&
         is_real_day(d.year, d.month, d.day);
}

// "hh:mm:ss[.fraction]" at s[pos]; the fraction is dropped.
bool read_time(std::string_view s, size_t& pos, DateTime& d) {
  if (!read_number(s, pos, 2, d.hour) || !expect(s, pos, ':') ||
      !read_number(s, pos, 2, d.minute) || !expect(s, pos, ':') ||
      !read_number(s, pos, 2, d.second)) {
    return false;
  }
  if (pos < s.size() && s[pos] == '.') {
    ++pos;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') ++pos;
  }
  return d.hour < 24 && d.minute < 60 && d.second < 60;
}

// A time-zone offset "+hh", "-hh:mm" or "+hh:mm:ss" at s[pos].
bool read_offset(std::string_view s, size_t& pos) {
  if (pos >= s.size() || (s[pos] != '+' && s[pos] != '-')) return false;
  ++pos;
  int part = 0;
  if (!read_number(s, pos, 2, part)) return false;
  while (pos < s.size() && s[pos] == ':') {
    ++pos;
    if (!read_number(s, pos, 2, part)) return false;
  }
  return true;
}

std::optional<DateTime> parse_date_time(uint32_t type, std::string_view s) {
  DateTime d;
  size_t pos = 0;
  bool ok = false;
  switch (type) {
    case kOidDate:
      ok = read_date(s, pos, d);
      break;
    case kOidTime:
      ok = read_time(s, pos, d);
      break;
    case kOidTimestamp:
      ok = read_date(s, pos, d) && expect(s, pos, ' ') && read_time(s, pos, d);
      break;
    case kOidTimestampTz:
      ok = read_date(s, pos, d) && expect(s, pos, ' ') && read_time(s, pos, d) &&
           read_offset(s, pos);
      break;
    default:
      break;
  }
  if (!ok || pos != s.size()) return std::nullopt;
  return d;
}

template <typename T>
std::optional<T> parse_number(std::string_view s) {
  T value{};
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return value;
}

}  // namespace

int32_t TypeCodeOf(uint32_t type) {
  switch (type) {
    case kOidInt2:
      return kTypeSmallInt;
    case kOidInt4:
      return kTypeInteger;
    case kOidInt8:
      return kTypeBigInt;
    case kOidFloat4:
      return kTypeSingle;
    case kOidFloat8:
      return kTypeDouble;
    case kOidNumeric:
      return kTypeNumeric;
    case kOidMoney:
      return kTypeCurrency;
    case kOidBool:
      return kTypeBoolean;
    case kOidBpchar:
      return kTypeWChar;
    case kOidDate:
      return kTypeDbDate;
    case kOidTime:
      return kTypeDbTime;
    case kOidTimestamp:
    case kOidTimestampTz:
      return kTypeDbTimeStamp;
    default:
      return kTypeVarWChar;
  }
}

Value ValueOf(uint32_t type, std::string_view text, int money_digits) {
  switch (type) {
    case kOidBool:
      if (text == "t") return Value::boolean(true);
      if (text == "f") return Value::boolean(false);
      break;
    case kOidInt2:
      if (const auto n = parse_number<int16_t>(text)) return Value::int16(*n);
      break;
    case kOidInt4:
      if (const auto n = parse_number<int32_t>(text)) return Value::int32(*n);
      break;
    case kOidInt8:
      if (const auto n = parse_number<int64_t>(text)) return Value::int64(*n);
      break;
    case kOidFloat4:
      if (const auto n = parse_number<float>(text)) return Value::single(*n);
      break;
    case kOidFloat8:
      if (const auto n = parse_number<double>(text)) return Value::real(*n);
      break;
    case kOidNumeric:
      return Value::decimal(std::string(text));
    case kOidMoney:
      return Value::currency(MoneyDigits(text, money_digits));
    case kOidDate:
    case kOidTime:
    case kOidTimestamp:
    case kOidTimestampTz:
      if (const auto d = parse_date_time(type, text)) return Value::date(*d);
      break;
    default:
      break;
  }
  return Value::text(std::string(text));
}

std::string MoneyDigits(std::string_view text, int money_digits) {
  std::string digits;
  bool negative = false;
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      digits.push_back(c);
    } else if (c == '-' || c == '(') {
      negative = true;
    }
  }
  const size_t fraction = money_digits > 0 ? static_cast<size_t>(money_digits) : 0;
  if (digits.size() <= fraction) digits.insert(0, fraction + 1 - digits.size(), '0');
  if (fraction > 0) digits.insert(digits.size() - fraction, 1, '.');
  if (negative) digits.insert(0, 1, '-');
  return digits;
}

std::optional<BoundText> BindValue(const Value& value) {
  BoundText bound;
  switch (value.kind()) {
    case Value::Kind::kEmpty:
    case Value::Kind::kNull:
      return std::nullopt;
    case Value::Kind::kBoolean:
      bound.text = value.as_int() ? "true" : "false";
      return bound;
    case Value::Kind::kSingle:
    case Value::Kind::kDouble: {
      // The shortest text that reads back as the same double.
      char buf[40];
      const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value.as_double());
      bound.text.assign(buf, end);
      bound.is_number = true;
      return bound;
    }
    case Value::Kind::kInt16:
    case Value::Kind::kInt32:
    case Value::Kind::kInt64:
    case Value::Kind::kDecimal:
    case Value::Kind::kCurrency:
      bound.text = value.is_integer() ? std::to_string(value.as_int()) : value.as_string();
      bound.is_number = true;
      return bound;
    case Value::Kind::kDate:
      bound.text = value.to_text();
      return bound;
    case Value::Kind::kText:
      if (value.as_string().find('\0') != std::string::npos) {
        throw DbError(kErrorStatement,
                      "A text argument holds a NUL character, which the database cannot store.");
      }
      bound.text = value.as_string();
      return bound;
  }
  return std::nullopt;
}

}  // namespace talwen::db::postgres
