// Values between ODBC's buffers and the engine's typed Values.
//
// Text travels as UTF-16 (SQL_C_WCHAR) both ways, so nothing is lost to a code page; decimals
// and money as their digits (SQL_C_CHAR), so they stay exact; dates, times and timestamps as
// ODBC's structures. Every SQL type has one way of being read (Reading) and one type code as
// the frame's callers know it. Nothing here calls the driver, so all of it runs offline.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "db/connection.h"

namespace talwen::db::odbc {

// SQL Server's own SQL types, beyond ODBC's.
constexpr SQLSMALLINT kSqlSsVariant = -150;
constexpr SQLSMALLINT kSqlSsXml = -152;
constexpr SQLSMALLINT kSqlSsTime2 = -154;
constexpr SQLSMALLINT kSqlSsTimestampOffset = -155;

// A column's or parameter's SQL type as the driver describes it.
struct SqlType {
  SQLSMALLINT code = SQL_UNKNOWN_TYPE;
  std::string name;  // the data source's name for it: "money", "int4", "nvarchar"
  SQLULEN size = 0;  // characters, digits or bytes; 0 for the unbounded (max) types
  SQLSMALLINT digits = 0;
};

// How a value of a SQL type is fetched and what it becomes.
enum class Reading {
  kText,       // SQL_C_WCHAR -> text
  kInt16,      // SQL_C_SBIGINT -> 16-bit integer (smallint, tinyint)
  kInt32,      // SQL_C_SBIGINT -> 32-bit integer
  kInt64,      // SQL_C_SBIGINT -> 64-bit integer
  kBoolean,    // SQL_C_BIT
  kSingle,     // SQL_C_FLOAT
  kDouble,     // SQL_C_DOUBLE
  kDecimal,    // SQL_C_CHAR -> decimal digits
  kCurrency,   // SQL_C_CHAR -> currency digits
  kDate,       // SQL_C_TYPE_DATE
  kTime,       // SQL_C_TYPE_TIME -> a time of day on 1899-12-30
  kTimestamp,  // SQL_C_TYPE_TIMESTAMP, fractions of a second dropped
  kGuid,       // SQL_C_GUID -> text "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
  kBinary,     // SQL_C_BINARY -> text "0x" and the bytes in hexadecimal
};

Reading ReadingOf(const SqlType& type);
// The C type a Reading is fetched as.
SQLSMALLINT CTypeOf(Reading reading);
// The type code reported for a column or parameter of this SQL type.
int32_t TypeCodeOf(const SqlType& type);

// The Value of a fetched buffer (`bytes` of data as the Reading's C type gives them).
Value ValueOf(Reading reading, std::string_view bytes);

// UTF-8 and UTF-16 (ODBC's SQLWCHAR). Malformed input becomes U+FFFD; nothing throws.
std::u16string Utf16Of(std::string_view utf8);
std::string Utf8Of(std::u16string_view utf16);

// The decimal digits of a number as a driver writes it: blanks, currency symbols and group
// separators dropped, a missing leading zero added (".5" is "0.5"). nullopt when no number.
std::optional<std::string> DecimalDigitsOf(std::string_view text);

// One parameter value ready for SQLBindParameter: its C type, SQL type and the bytes of its
// buffer (large enough for what an output may bring back).
struct Binding {
  SQLSMALLINT io = SQL_PARAM_INPUT;
  SQLSMALLINT c_type = SQL_C_WCHAR;
  SQLSMALLINT sql_type = SQL_WVARCHAR;
  SQLULEN column_size = 0;
  SQLSMALLINT digits = 0;
  std::string buffer;
  SQLLEN indicator = SQL_NULL_DATA;  // the length in bytes, SQL_NULL_DATA or SQL_DEFAULT_PARAM
  Reading reading = Reading::kText;  // how an output comes back
};

// The binding of value for a parameter of this type and direction. An Empty input takes the
// procedure's default; an Empty output or input-output is sent as Null. Numeric text for a
// numeric parameter is sent as a number (rounded half away from zero for an integer).
Binding BindingOf(const Value& value, const SqlType& type, Direction direction);

}  // namespace talwen::db::odbc
