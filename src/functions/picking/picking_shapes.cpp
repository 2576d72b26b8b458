#include "functions/picking/picking_shapes.h"

#include <cmath>
#include <cstdlib>
#include <optional>
#include <stdexcept>

#include "frame/grid.h"

namespace talwen::picking {

std::pair<std::string_view, std::string_view> SplitPalletLabel(std::string_view label) {
  if (label.empty()) return {label, label};
  size_t last = label.size() - 1;
  // Step back over UTF-8 continuation bytes (10xxxxxx) to the start of the last code point.
  while (last > 0 && (static_cast<unsigned char>(label[last]) & 0xC0) == 0x80) --last;
  return {label.substr(0, last), label.substr(last)};
}

std::string TabLine(const Recordset& rs, std::span<const LineField> fields) {
  std::string line;
  for (const LineField& f : fields) {
    if (f.pallet_label) {
      const std::string label = rs.text(f.field);
      const auto [body, check] = SplitPalletLabel(label);
      line.append(body).push_back('\t');
      line.append(check).push_back('\t');
    } else {
      rs.field(f.field).append_text(line);
      line.push_back('\t');
    }
  }
  return line;
}

void WriteLineRecords(OutputBuffer& out, Recordset& rs, std::span<const LineField> fields) {
  for (; !rs.eof(); rs.move_next()) out.tag("record", TabLine(rs, fields));
}

void WriteFieldRecords(OutputBuffer& out, Recordset& rs, std::span<const TagField> fields) {
  for (; !rs.eof(); rs.move_next()) {
    out.append("<record>");
    WriteFields(out, rs, fields);
    out.append("</record>");
  }
}

std::string FirstRowText(const ResultGrid& grid, std::string_view column) {
  return grid.has_rows() ? GridValueByName(grid, column, 0).to_text() : std::string();
}

namespace {

// The number a numeric text holds; nullopt when it is not numeric.
std::optional<double> NumberOf(std::string_view text) {
  if (!looks_numeric(text)) return std::nullopt;
  return std::strtod(std::string(text).c_str(), nullptr);
}

}  // namespace

bool EqualsZero(const Value& value) {
  switch (value.kind()) {
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
      const auto n = NumberOf(value.as_string());
      return n && *n == 0;
    }
    default:
      return false;
  }
}

Value Int16OrZero(std::string_view key, std::string_view text) {
  const auto n = NumberOf(text);
  if (!n) return Value::int16(0);
  const double rounded = std::nearbyint(*n);
  if (rounded < INT16_MIN || rounded > INT16_MAX) {
    throw std::out_of_range(std::string(key) + " " + std::string(text) +
                            " is outside the 16-bit integer range");
  }
  return Value::int16(static_cast<int16_t>(rounded));
}

}  // namespace talwen::picking
