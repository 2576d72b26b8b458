// Conversions of session texts and database values to numbers, each with its own rule.
//
// The pages send every value as text. Where a procedure takes a number, or a handler decides
// on a number, the text is read by one of these rules:
//
//   NumberOf         the plain numeric text (blanks, sign, digits, fraction); nullopt otherwise
//   RoundedInt16     NumberOf rounded half to even, within -32768..32767; nullopt otherwise
//   Int16OrZero      RoundedInt16, 0 when the text is not numeric, thrown when out of range
//   StrictDouble     a number with an optional exponent; anything else throws
//   WholeInt16       StrictDouble that is a whole number within -32768..32767; else throws
//   EqualsZero       does a database value equal the number 0
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "db/value.h"

namespace talwen {

// A session text that is not what the handler needs (a number, a date). It remembers where
// the text lay, so that the frame can name the session key it came from (frame/failure.h).
class BadInput : public std::invalid_argument {
 public:
  BadInput(std::string_view kind, std::string_view text, const std::string& message)
      : std::invalid_argument(message), kind_(kind), at_(text.data()) {}
  // What the text should have been: "number", "date".
  const std::string& kind() const { return kind_; }
  // Where the text lay; only compared with the session's values, never read.
  const char* text_at() const { return at_; }

 private:
  std::string kind_;
  const char* at_;
};

// The number a numeric text holds: optional blanks, an optional sign, digits with an optional
// fraction, optional blanks (looks_numeric). nullopt for anything else, the empty text and
// exponents included.
std::optional<double> NumberOf(std::string_view text);

// A numeric text (NumberOf) as a 16-bit integer, rounded to the nearest integer with ties to
// even ("2.5" gives 2, "3.5" gives 4). nullopt when the text is not numeric or the rounded
// number lies outside -32768..32767.
std::optional<int16_t> RoundedInt16(std::string_view text);

// A procedure input that the database takes as a 16-bit integer: RoundedInt16 of the text, or
// 0 when the text is not numeric (the empty text included). A number outside -32768..32767
// cannot be passed: BadInput is thrown, naming the key.
Value Int16OrZero(std::string_view key, std::string_view text);

// The number a text holds: blanks around it, an optional sign, digits with an optional
// fraction and exponent. Anything else (also the empty text) throws BadInput.
double StrictDouble(std::string_view text);

// StrictDouble of the text when that is a whole number within -32768..32767. A fraction or a
// number outside the range throws BadInput.
int16_t WholeInt16(std::string_view text);

// Does the value equal the number 0? Integers and Booleans (False is 0), singles and doubles,
// and decimals, currency and texts that are numeric (NumberOf). Null, other texts, dates and
// everything else do not.
bool EqualsZero(const Value& value);

}  // namespace talwen
