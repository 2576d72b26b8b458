#include "functions/locations/listing.h"

#include <cmath>
#include <cstdlib>

namespace talwen::locations {

void WriteRows(OutputBuffer& out, Recordset& rs, std::span<const TagField> fields,
               const Cutoff& cutoff) {
  for (; !rs.eof(); rs.move_next()) {
    out.append("<record>");
    WriteFields(out, rs, fields);
    out.append("</record>");
    if (cutoff.reached(out)) return;
  }
}

std::string RowsReply(Recordset& rs, std::span<const TagField> fields, const Cutoff& cutoff) {
  OutputBuffer out;
  WriteRows(out, rs, fields, cutoff);
  return out.take();
}

std::pair<std::string_view, std::string_view> SplitCheckCharacter(std::string_view label) {
  if (label.empty()) return {label, label};
  size_t last = label.size() - 1;
  // Step back over UTF-8 continuation bytes to the start of the last character.
  while (last > 0 && (static_cast<unsigned char>(label[last]) & 0xC0) == 0x80) --last;
  return {label.substr(0, last), label.substr(last)};
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
    case Value::Kind::kText:
      return looks_numeric(value.as_string()) &&
             std::strtod(value.as_string().c_str(), nullptr) == 0;
    default:
      return false;
  }
}

double LeadingNumber(std::string_view text) {
  std::string number;
  bool digits = false, point = false, exponent = false;
  for (const char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    const char last = number.empty() ? '\0' : number.back();
    if (c >= '0' && c <= '9') {
      digits = true;
    } else if ((c == '-' || c == '+') && (number.empty() || last == 'e')) {
    } else if (c == '.' && !point && !exponent) {
      point = true;
    } else if ((c == 'e' || c == 'E' || c == 'd' || c == 'D') && digits && !exponent) {
      exponent = true;
      number.push_back('e');
      continue;
    } else {
      break;
    }
    number.push_back(c);
  }
  if (!digits) return 0;
  // strtod stops at a dangling exponent or sign, which is what the reading above allows.
  const double value = std::strtod(number.c_str(), nullptr);
  return std::isfinite(value) ? value : 0;
}

}  // namespace talwen::locations
