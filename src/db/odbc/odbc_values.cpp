#include "db/odbc/odbc_values.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "base/text.h"

namespace talwen::db::odbc {
namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "ODBC's wide characters must be UTF-16");

// The widest text output read back whole; longer ones are cut.
constexpr SQLULEN kMaxOutputChars = 32767;
constexpr size_t kDigitsBuffer = 128;

bool is_money(const SqlType& type) {
  return iequals(type.name, "money") || iequals(type.name, "smallmoney");
}

template <typename T>
std::string bytes_of(const T& value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T>
T from_bytes(std::string_view bytes) {
  T value{};
  std::memcpy(&value, bytes.data(), std::min(bytes.size(), sizeof value));
  return value;
}

std::string wide_bytes(std::string_view utf8) {
  const std::u16string wide = Utf16Of(utf8);
  return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(char16_t));
}

void append_hex(std::string& out, unsigned byte) {
  constexpr char kHex[] = "0123456789ABCDEF";
  out.push_back(kHex[byte >> 4]);
  out.push_back(kHex[byte & 15]);
}

// The number a value stands for, when it stands for one.
std::optional<double> number_of(const Value& value) {
  if (value.is_integer() || value.kind() == Value::Kind::kBoolean) {
    return static_cast<double>(value.as_int());
  }
  if (value.kind() == Value::Kind::kSingle || value.kind() == Value::Kind::kDouble) {
    return value.as_double();
  }
  if (value.kind() == Value::Kind::kText || value.kind() == Value::Kind::kDecimal ||
      value.kind() == Value::Kind::kCurrency) {
    const std::optional<std::string> digits = DecimalDigitsOf(value.as_string());
    if (!digits) return std::nullopt;
    double d = 0;
    const auto [end, ec] = std::from_chars(digits->data(), digits->data() + digits->size(), d);
    if (ec != std::errc()) return std::nullopt;
    return d;
  }
  return std::nullopt;
}

// The decimal digits of a value for a decimal or money parameter.
std::optional<std::string> decimal_of(const Value& value) {
  if (value.is_integer()) return std::to_string(value.as_int());
  if (value.kind() == Value::Kind::kSingle || value.kind() == Value::Kind::kDouble) {
    return DecimalDigitsOf(format_double(value.as_double()));
  }
  if (value.kind() == Value::Kind::kBoolean) return value.as_int() ? "1" : "0";
  if (value.kind() == Value::Kind::kDate) return std::nullopt;
  return DecimalDigitsOf(value.as_string());
}

// The capacity in bytes a Reading needs to bring an output of this type back.
size_t capacity_of(Reading reading, const SqlType& type) {
  const SQLULEN size = type.size == 0 || type.size > kMaxOutputChars ? kMaxOutputChars : type.size;
  switch (reading) {
    case Reading::kText:
    case Reading::kGuid:
      return (std::max<SQLULEN>(size, 40) + 1) * sizeof(char16_t);
    case Reading::kBinary:
      return size;
    case Reading::kDecimal:
    case Reading::kCurrency:
      return kDigitsBuffer;
    case Reading::kDate:
      return sizeof(SQL_DATE_STRUCT);
    case Reading::kTime:
      return sizeof(SQL_TIME_STRUCT);
    case Reading::kTimestamp:
      return sizeof(SQL_TIMESTAMP_STRUCT);
    default:
      return sizeof(SQLBIGINT);
  }
}

}  // namespace

Reading ReadingOf(const SqlType& type) {
  if (is_money(type)) return Reading::kCurrency;
  switch (type.code) {
    case SQL_SMALLINT:
    case SQL_TINYINT:
      return Reading::kInt16;
    case SQL_INTEGER:
      return Reading::kInt32;
    case SQL_BIGINT:
      return Reading::kInt64;
    case SQL_BIT:
      return Reading::kBoolean;
    case SQL_REAL:
      return Reading::kSingle;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return Reading::kDouble;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return Reading::kDecimal;
    case SQL_TYPE_DATE:
      return Reading::kDate;
    case SQL_TYPE_TIME:
    case kSqlSsTime2:
      return Reading::kTime;
    case SQL_TYPE_TIMESTAMP:
      return Reading::kTimestamp;
    case SQL_GUID:
      return Reading::kGuid;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return Reading::kBinary;
    default:
      return Reading::kText;
  }
}

SQLSMALLINT CTypeOf(Reading reading) {
  switch (reading) {
    case Reading::kText:
      return SQL_C_WCHAR;
    case Reading::kInt16:
    case Reading::kInt32:
    case Reading::kInt64:
      return SQL_C_SBIGINT;
    case Reading::kBoolean:
      return SQL_C_BIT;
    case Reading::kSingle:
      return SQL_C_FLOAT;
    case Reading::kDouble:
      return SQL_C_DOUBLE;
    case Reading::kDecimal:
    case Reading::kCurrency:
      return SQL_C_CHAR;
    case Reading::kDate:
      return SQL_C_TYPE_DATE;
    case Reading::kTime:
      return SQL_C_TYPE_TIME;
    case Reading::kTimestamp:
      return SQL_C_TYPE_TIMESTAMP;
    case Reading::kGuid:
      return SQL_C_GUID;
    case Reading::kBinary:
      return SQL_C_BINARY;
  }
  return SQL_C_WCHAR;
}

int32_t TypeCodeOf(const SqlType& type) {
  if (is_money(type)) return kTypeCurrency;
  const bool unbounded = type.size == 0;  // varchar(max) and the like
  switch (type.code) {
    case SQL_CHAR:
      return kTypeChar;
    case SQL_VARCHAR:
      return unbounded ? kTypeLongVarChar : kTypeVarChar;
    case SQL_LONGVARCHAR:
      return kTypeLongVarChar;
    case SQL_WCHAR:
      return kTypeWChar;
    case SQL_WVARCHAR:
      return unbounded ? kTypeLongVarWChar : kTypeVarWChar;
    case SQL_WLONGVARCHAR:
    case kSqlSsXml:
      return kTypeLongVarWChar;
    case SQL_SMALLINT:
      return kTypeSmallInt;
    case SQL_TINYINT:
      return kTypeUnsignedTinyInt;
    case SQL_INTEGER:
      return kTypeInteger;
    case SQL_BIGINT:
      return kTypeBigInt;
    case SQL_BIT:
      return kTypeBoolean;
    case SQL_REAL:
      return kTypeSingle;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return kTypeDouble;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return kTypeNumeric;
    case SQL_TYPE_DATE:
      return kTypeDbDate;
    case SQL_TYPE_TIME:
    case kSqlSsTime2:
      return kTypeDbTime;
    case SQL_TYPE_TIMESTAMP:
      return kTypeDbTimeStamp;
    case SQL_GUID:
      return kTypeGuid;
    case SQL_BINARY:
      return kTypeBinary;
    case SQL_VARBINARY:
      return unbounded ? kTypeLongVarBinary : kTypeVarBinary;
    case SQL_LONGVARBINARY:
      return kTypeLongVarBinary;
    default:
      return kTypeVarWChar;  // datetimeoffset, sql_variant, intervals ...: their text
  }
}

Value ValueOf(Reading reading, std::string_view bytes) {
  switch (reading) {
    case Reading::kText: {
      std::u16string wide(bytes.size() / sizeof(char16_t), u'\0');
      std::memcpy(wide.data(), bytes.data(), wide.size() * sizeof(char16_t));
      return Value::text(Utf8Of(wide));
    }
    case Reading::kInt16:
      return Value::int16(static_cast<int16_t>(from_bytes<SQLBIGINT>(bytes)));
    case Reading::kInt32:
      return Value::int32(static_cast<int32_t>(from_bytes<SQLBIGINT>(bytes)));
    case Reading::kInt64:
      return Value::int64(from_bytes<SQLBIGINT>(bytes));
    case Reading::kBoolean:
      return Value::boolean(from_bytes<unsigned char>(bytes) != 0);
    case Reading::kSingle:
      return Value::single(from_bytes<float>(bytes));
    case Reading::kDouble:
      return Value::real(from_bytes<double>(bytes));
    case Reading::kDecimal:
    case Reading::kCurrency: {
      std::optional<std::string> digits = DecimalDigitsOf(bytes);
      if (!digits) return Value::text(std::string(bytes));
      return reading == Reading::kDecimal ? Value::decimal(std::move(*digits))
                                          : Value::currency(std::move(*digits));
    }
    case Reading::kDate: {
      const auto d = from_bytes<SQL_DATE_STRUCT>(bytes);
      return Value::date({d.year, d.month, d.day});
    }
    case Reading::kTime: {
      const auto t = from_bytes<SQL_TIME_STRUCT>(bytes);
      return Value::date({1899, 12, 30, t.hour, t.minute, t.second});
    }
    case Reading::kTimestamp: {
      const auto t = from_bytes<SQL_TIMESTAMP_STRUCT>(bytes);
      return Value::date({t.year, t.month, t.day, t.hour, t.minute, t.second});
    }
    case Reading::kGuid: {
      const auto g = from_bytes<SQLGUID>(bytes);
      char text[40];
      std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                    static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                    g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
      return Value::text(text);
    }
    case Reading::kBinary: {
      std::string hex = "0x";
      for (const char c : bytes) append_hex(hex, static_cast<unsigned char>(c));
      return Value::text(std::move(hex));
    }
  }
  return Value::null();
}

std::u16string Utf16Of(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    char32_t cp = 0xFFFD;
    size_t length = 1;
    if (b < 0x80) {
      cp = b;
    } else if (b >= 0xC2 && b <= 0xF4) {
      length = b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
      char32_t value = b & (0x7F >> length);
      size_t k = 1;
      for (; k < length && i + k < utf8.size(); ++k) {
        const auto c = static_cast<unsigned char>(utf8[i + k]);
        if ((c & 0xC0) != 0x80) break;
        value = (value << 6) | (c & 0x3F);
      }
      const bool overlong = (length == 3 && value < 0x800) || (length == 4 && value < 0x10000);
      if (k == length && !overlong && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF)) {
        cp = value;
      } else {
        length = std::max<size_t>(k, 1);  // skip what was read of the broken sequence
      }
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += length;
  }
  return out;
}

std::string Utf8Of(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = utf16[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[++i] - 0xDC00);
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;  // a lone surrogate
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

std::optional<std::string> DecimalDigitsOf(std::string_view text) {
  std::string out;
  bool negative = false, digits = false, point = false;
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      if (point && !digits && out.empty()) out = "0";
      out.push_back(c);
      digits = true;
    } else if (c == '.' && !point) {
      if (!digits) out = "0";
      out.push_back('.');
      point = true;
    } else if (c == '-' && !digits && !point && !negative) {
      negative = true;
    } else if (c == ' ' || c == ',' || c == '$' || c == '+' || c == '(' || c == ')') {
      // blanks, group separators, a currency symbol, an accounting sign: not digits
      if (c == '(') negative = true;
    } else {
      return std::nullopt;
    }
  }
  if (!digits) return std::nullopt;
  if (negative) out.insert(out.begin(), '-');
  return out;
}

Binding BindingOf(const Value& value, const SqlType& type, Direction direction) {
  Binding b;
  b.io = direction == Direction::kInput         ? SQL_PARAM_INPUT
         : direction == Direction::kInputOutput ? SQL_PARAM_INPUT_OUTPUT
                                                : SQL_PARAM_OUTPUT;
  b.sql_type = type.code == SQL_UNKNOWN_TYPE ? SQL_WVARCHAR : type.code;
  b.column_size = type.size;
  b.digits = type.digits;
  b.reading = ReadingOf(type);
  if (b.reading == Reading::kGuid) b.reading = Reading::kText;  // the driver converts text
  const bool sends = direction == Direction::kInput || direction == Direction::kInputOutput;

  std::string data;
  bool bound = false;
  if (sends && !value.is_empty() && !value.is_null()) {
    switch (b.reading) {
      case Reading::kInt16:
      case Reading::kInt32:
      case Reading::kInt64:
        if (const auto n = number_of(value); n && std::fabs(*n) < 9.2e18) {
          data = bytes_of(static_cast<SQLBIGINT>(std::round(*n)));  // half away from zero
          bound = true;
        }
        break;
      case Reading::kBoolean:
        if (value.kind() == Value::Kind::kText &&
            (iequals(value.as_string(), "true") || iequals(value.as_string(), "false"))) {
          data = bytes_of(static_cast<unsigned char>(iequals(value.as_string(), "true")));
          bound = true;
        } else if (const auto n = number_of(value)) {
          data = bytes_of(static_cast<unsigned char>(*n != 0));
          bound = true;
        }
        break;
      case Reading::kSingle:
      case Reading::kDouble:
        if (const auto n = number_of(value)) {
          b.reading = Reading::kDouble;
          data = bytes_of(*n);
          bound = true;
        }
        break;
      case Reading::kDecimal:
      case Reading::kCurrency:
        if (auto digits = decimal_of(value)) {
          data = std::move(*digits);
          bound = true;
        }
        break;
      case Reading::kDate:
      case Reading::kTime:
      case Reading::kTimestamp:
        if (value.kind() == Value::Kind::kDate) {
          const DateTime& d = value.as_date();
          if (b.reading == Reading::kDate) {
            data = bytes_of(SQL_DATE_STRUCT{static_cast<SQLSMALLINT>(d.year),
                                            static_cast<SQLUSMALLINT>(d.month),
                                            static_cast<SQLUSMALLINT>(d.day)});
          } else if (b.reading == Reading::kTime) {
            data = bytes_of(SQL_TIME_STRUCT{static_cast<SQLUSMALLINT>(d.hour),
                                            static_cast<SQLUSMALLINT>(d.minute),
                                            static_cast<SQLUSMALLINT>(d.second)});
          } else {
            data = bytes_of(SQL_TIMESTAMP_STRUCT{
                static_cast<SQLSMALLINT>(d.year), static_cast<SQLUSMALLINT>(d.month),
                static_cast<SQLUSMALLINT>(d.day), static_cast<SQLUSMALLINT>(d.hour),
                static_cast<SQLUSMALLINT>(d.minute), static_cast<SQLUSMALLINT>(d.second), 0});
          }
          bound = true;
        }
        break;
      default:
        break;
    }
    if (!bound) {
      // Text, or a value the parameter's type cannot take here: its text, for the driver or
      // the server to convert (or refuse).
      b.reading = Reading::kText;
      data = wide_bytes(value.to_text());
      const SQLULEN chars = data.size() / sizeof(char16_t);
      if (ReadingOf(type) == Reading::kText && type.size != 0 && chars > type.size) {
        b.column_size = chars;  // the server cuts it to the parameter's size, as a literal is
      }
      if (ReadingOf(type) != Reading::kText) {
        b.column_size = std::max<SQLULEN>(chars, 1);
        if (ReadingOf(type) != Reading::kGuid) b.sql_type = SQL_WVARCHAR;
      }
    }
  }
  b.c_type = CTypeOf(b.reading);
  if (b.sql_type == SQL_WVARCHAR || b.sql_type == SQL_VARCHAR || b.sql_type == SQL_WCHAR ||
      b.sql_type == SQL_CHAR) {
    b.column_size = std::max<SQLULEN>(b.column_size, 1);
  }

  if (!sends || value.is_empty() || value.is_null()) {
    b.indicator =
        direction == Direction::kInput && value.is_empty() ? SQL_DEFAULT_PARAM : SQL_NULL_DATA;
  } else {
    b.indicator = static_cast<SQLLEN>(data.size());
  }
  b.buffer = std::move(data);
  if (direction != Direction::kInput) {
    b.buffer.resize(std::max(b.buffer.size(), capacity_of(b.reading, type)), '\0');
  } else if (b.buffer.empty()) {
    b.buffer.resize(sizeof(SQLBIGINT), '\0');  // a Null or default still needs an address
  }
  return b;
}

}  // namespace talwen::db::odbc
