#include "db/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace talwen {
namespace {

void append_two(std::string& out, int n) {
  out.push_back(static_cast<char>('0' + n / 10 % 10));
  out.push_back(static_cast<char>('0' + n % 10));
}

// Decimal text without trailing zeros in the fraction ("12.50" -> "12.5", "3.000" -> "3").
void append_decimal(std::string& out, const std::string& digits) {
  std::string_view v = digits;
  if (v.find('.') != std::string_view::npos && v.find_first_of("eE") == std::string_view::npos) {
    while (!v.empty() && v.back() == '0') v.remove_suffix(1);
    if (!v.empty() && v.back() == '.') v.remove_suffix(1);
  }
  if (v == "-0" || v.empty()) v = "0";
  out.append(v);
}

// The text of d rounded to `digits` significant digits: plain decimal notation when that
// needs no more than `digits` digits, else a mantissa and exponent ("1E+20", "1.5E-17").
std::string format_significant(double d, int digits) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d > 0 ? "Infinity" : "-Infinity";
  if (d == 0) return "0";
  // d.ddd...e+XX, rounded once; every form below is built from these digits.
  char buf[48];
  const auto [end, ec] =
      std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific, digits - 1);
  const std::string_view sci(buf, static_cast<size_t>(end - buf));
  const size_t e_at = sci.find('e');
  int exponent = 0;
  std::from_chars(sci.data() + e_at + 1 + (sci[e_at + 1] == '+'), end, exponent);
  std::string mantissa;  // the significant digits, trailing zeros dropped
  for (const char c : sci.substr(0, e_at)) {
    if (c >= '0' && c <= '9') mantissa.push_back(c);
  }
  while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();
  const int n = static_cast<int>(mantissa.size());

  std::string out = d < 0 ? "-" : "";
  if (exponent >= digits || (exponent < 0 && n - exponent - 1 > digits)) {
    out.push_back(mantissa[0]);
    if (n > 1) out.append(".").append(mantissa, 1);
    out.append("E").append(sci.substr(e_at + 1));  // "E+20", "E-17"
    return out;
  }
  if (exponent < 0) {
    out.append("0.").append(static_cast<size_t>(-exponent - 1), '0').append(mantissa);
  } else if (n <= exponent + 1) {
    out.append(mantissa).append(static_cast<size_t>(exponent + 1 - n), '0');
  } else {
    out.append(mantissa, 0, static_cast<size_t>(exponent) + 1)
        .append(".")
        .append(mantissa, static_cast<size_t>(exponent) + 1);
  }
  return out;
}

}  // namespace

Value Value::boolean(bool b) {
  Value v(Kind::kBoolean);
  v.int_ = b ? 1 : 0;
  return v;
}

Value Value::integer(Kind k, int64_t i) {
  Value v(k);
  v.int_ = i;
  return v;
}

Value Value::floating(Kind k, double d) {
  Value v(k);
  v.double_ = d;
  return v;
}

Value Value::textual(Kind k, std::string s) {
  Value v(k);
  v.text_ = std::move(s);
  return v;
}

Value Value::date(DateTime d) {
  Value v(Kind::kDate);
  v.date_ = d;
  return v;
}

bool Value::is_integer() const {
  return kind_ == Kind::kInt16 || kind_ == Kind::kInt32 || kind_ == Kind::kInt64;
}

bool Value::is_number() const {
  return is_integer() || kind_ == Kind::kSingle || kind_ == Kind::kDouble ||
         kind_ == Kind::kDecimal || kind_ == Kind::kCurrency;
}

std::string Value::to_text() const {
  std::string out;
  append_text(out);
  return out;
}

void Value::append_text(std::string& out) const {
  switch (kind_) {
    case Kind::kEmpty:
    case Kind::kNull:
      return;
    case Kind::kBoolean:
      out.append(int_ ? "True" : "False");
      return;
    case Kind::kInt16:
    case Kind::kInt32:
    case Kind::kInt64: {
      char buf[24];
      auto [end, ec] = std::to_chars(buf, buf + sizeof buf, int_);
      out.append(buf, end);
      return;
    }
    case Kind::kSingle:
      out.append(format_significant(double_, 7));  // a single holds about 7 digits
      return;
    case Kind::kDouble:
      out.append(format_double(double_));
      return;
    case Kind::kCurrency:
    case Kind::kDecimal:
      append_decimal(out, text_);
      return;
    case Kind::kText:
      out.append(text_);
      return;
    case Kind::kDate: {
      if (!date_.is_time_only() || !date_.has_time()) {
        const int y = date_.year;
        append_two(out, y / 100);
        append_two(out, y % 100);
        out.push_back('-');
        append_two(out, date_.month);
        out.push_back('-');
        append_two(out, date_.day);
        if (!date_.has_time()) return;
        out.push_back(' ');
      }
      append_two(out, date_.hour);
      out.push_back(':');
      append_two(out, date_.minute);
      out.push_back(':');
      append_two(out, date_.second);
      return;
    }
  }
}

bool operator==(const Value& a, const Value& b) {
  if (a.kind_ != b.kind_) return false;
  return a.int_ == b.int_ && a.double_ == b.double_ && a.text_ == b.text_ && a.date_ == b.date_;
}

std::string format_double(double d) {
  return format_significant(d, 15);
}

bool looks_numeric(std::string_view t) {
  size_t i = 0;
  while (i < t.size() && t[i] == ' ') ++i;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  size_t digits = 0;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
  }
  while (i < t.size() && t[i] == ' ') ++i;
  return digits > 0 && i == t.size();
}

}  // namespace talwen
