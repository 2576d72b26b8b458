// Value: one typed database value, as a field, a parameter or a session-derived argument.
//
// A value keeps the type the database gave it (Null stays Null, a 16-bit integer stays one),
// because some replies depend on it: FormatIsoDate turns integers and doubles into dates but
// decimals into "". Values are small and cheap to copy; text and decimals own their characters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/dates.h"

namespace talwen {

class Value {
 public:
  enum class Kind {
    kEmpty,     // never assigned
    kNull,      // the database's Null
    kBoolean,   // adBoolean
    kInt16,     // adSmallInt
    kInt32,     // adInteger
    kInt64,     // adBigInt
    kSingle,    // adSingle
    kDouble,    // adDouble
    kCurrency,  // adCurrency, kept as its decimal text
    kDecimal,   // adNumeric, kept as its decimal text
    kText,      // adVarWChar and the other character types
    kDate,      // adDate, adDBDate, adDBTime, adDBTimeStamp
  };

  Value() = default;
  static Value null() { return Value(Kind::kNull); }
  static Value boolean(bool b);
  static Value int16(int16_t i) { return integer(Kind::kInt16, i); }
  static Value int32(int32_t i) { return integer(Kind::kInt32, i); }
  static Value int64(int64_t i) { return integer(Kind::kInt64, i); }
  static Value single(float f) { return floating(Kind::kSingle, f); }
  static Value real(double d) { return floating(Kind::kDouble, d); }
  static Value decimal(std::string digits) { return textual(Kind::kDecimal, std::move(digits)); }
  static Value currency(std::string digits) { return textual(Kind::kCurrency, std::move(digits)); }
  static Value text(std::string s) { return textual(Kind::kText, std::move(s)); }
  static Value date(DateTime d);

  Kind kind() const { return kind_; }
  bool is_null() const { return kind_ == Kind::kNull; }
  bool is_empty() const { return kind_ == Kind::kEmpty; }
  bool is_integer() const;
  bool is_number() const;

  int64_t as_int() const { return int_; }                 // the integer and Boolean kinds
  double as_double() const { return double_; }            // kSingle, kDouble
  const std::string& as_string() const { return text_; }  // kText, kDecimal, kCurrency
  const DateTime& as_date() const { return date_; }       // kDate

  // The text form used in every reply: Null and Empty give "", Booleans "True"/"False",
  // numbers in plain decimal form with "." as separator (decimals without trailing zeros),
  // dates "yyyy-mm-dd", "yyyy-mm-dd hh:mm:ss" or "hh:mm:ss".
  std::string to_text() const;
  void append_text(std::string& out) const;

  friend bool operator==(const Value&, const Value&);

 private:
  explicit Value(Kind k) : kind_(k) {}
  static Value integer(Kind k, int64_t i);
  static Value floating(Kind k, double d);
  static Value textual(Kind k, std::string s);

  Kind kind_ = Kind::kEmpty;
  int64_t int_ = 0;
  double double_ = 0;
  std::string text_;
  DateTime date_;
};

// The text form of a double: up to 15 significant digits, "." as separator, an exponent
// ("1E+20") only where plain notation would need more than 15 digits.
std::string format_double(double d);

// Is this the text of a number (optional blanks and sign, digits, optional fraction)?
bool looks_numeric(std::string_view text);

}  // namespace talwen
