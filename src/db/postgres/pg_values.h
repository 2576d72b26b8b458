// Values between the database's text forms and the engine's typed Values.
//
// Results are read in the database's text format and turned into Values of the column's type:
// integers stay integers of their width, numeric stays a decimal text, money a currency text
// without its symbol, dates and times become DateTimes; text that does not parse as its type
// (infinite or BC dates, out-of-range values) is kept as text rather than guessed at.
// Sessions run with DateStyle ISO, so dates arrive as yyyy-mm-dd.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "db/value.h"

namespace talwen::db::postgres {

// Object ids of the built-in types the engine tells apart (fixed in every server version).
enum TypeOid : uint32_t {
  kOidBool = 16,
  kOidInt8 = 20,
  kOidInt2 = 21,
  kOidInt4 = 23,
  kOidText = 25,
  kOidFloat4 = 700,
  kOidFloat8 = 701,
  kOidMoney = 790,
  kOidBpchar = 1042,
  kOidVarchar = 1043,
  kOidDate = 1082,
  kOidTime = 1083,
  kOidTimestamp = 1114,
  kOidTimestampTz = 1184,
  kOidNumeric = 1700,
  kOidRefcursor = 1790,
};

// The data type code reported for a column or parameter of this type.
int32_t TypeCodeOf(uint32_t type);

// The Value of a non-null field of this type given in text form. money_digits is the number
// of fraction digits the session's money format shows.
Value ValueOf(uint32_t type, std::string_view text, int money_digits);

// A money text ("$1,234.56", "-1.234,56 EUR", "($5.00)") as a plain decimal text, given how
// many fraction digits it carries: "1234.56", "-1234.56", "-5.00".
std::string MoneyDigits(std::string_view text, int money_digits);

// What a parameter value is sent as.
struct BoundText {
  std::string text;
  bool is_number = false;  // a number, cast through numeric to numeric-category types
};

// The text a Value is sent as; nullopt for Null. Throws DbError (kErrorStatement) for text
// holding a NUL character, which the database cannot store. Empty values are not bound.
std::optional<BoundText> BindValue(const Value& value);

}  // namespace talwen::db::postgres
