// Top-up putaway of one received stock line, and the pick faces and top-up locations of a
// product.
#include <charconv>
#include <cmath>
#include <stdexcept>

#include "frame/call.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/putaway/putaway.h"

namespace talwen {
namespace {

// The number a text holds: blanks around it, an optional sign, digits with an optional
// fraction and exponent. Anything else (also an empty text) cannot be converted and throws.
double ToDouble(std::string_view text) {
  std::string_view t = text;
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
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
    throw std::invalid_argument("Type mismatch: '" + std::string(text) + "' is not a number");
  }
  return negative ? -d : d;
}

// A whole number within the 16-bit range.
int16_t ToInt16(std::string_view text) {
  const double d = ToDouble(text);
  if (d != std::trunc(d)) {
    throw std::invalid_argument("Type mismatch: '" + std::string(text) + "' is not a whole number");
  }
  if (d < -32768 || d > 32767) throw std::out_of_range("Overflow: '" + std::string(text) + "'");
  return static_cast<int16_t>(d);
}

// How an input of the top-up call is passed.
enum class As {
  kText,          // the session text
  kInt16OrNull,   // Null when empty, else a 16-bit integer
  kDouble,        // always a double
  kDoubleOrNull,  // Null when empty, else a double
};

struct TopupInput {
  std::string_view key;
  As as = As::kText;
  std::string_view fallback = {};  // read when the key's text is empty
};

// The inputs of "rf_receipt_topup_putaway", by position from 1, in the order they are read.
constexpr TopupInput kTopupInputs[] = {
    {"client"},
    {"receipt_no"},
    {"line_no", As::kInt16OrNull},
    {"pallet"},
    {"item_no", As::kText, "item"},
    {"uom"},
    {"qty", As::kDouble},
    {"grade"},
    {"lot"},
    {"batch"},
    {"supplier"},
    {"customer"},
    {"receipt_date"},
    {"expiry_date"},
    {"prod_date", As::kText, "mfg_date"},
    {"size"},
    {"color"},
    {"class"},
    {"width", As::kDoubleOrNull},
    {"depth", As::kDoubleOrNull},
    {"height", As::kDoubleOrNull},
    {"weight", As::kDoubleOrNull},
    {"currency"},
    {"unit_price", As::kDoubleOrNull},
    {"ppq_packing"},
    {"ppq_qty", As::kDoubleOrNull},
    {"user_defined"},
    {"status"},
    {"warehouse"},
    {"location"},
    {"operator"},
};

Value TopupValue(const Call& call, const TopupInput& input) {
  std::string_view text = call[input.key];
  if (text.empty() && !input.fallback.empty()) text = call[input.fallback];
  switch (input.as) {
    case As::kText:
      return Value::text(std::string(text));
    case As::kInt16OrNull:
      return text.empty() ? Value::null() : Value::int16(ToInt16(text));
    case As::kDouble:
      return Value::real(ToDouble(text));
    case As::kDoubleOrNull:
      return text.empty() ? Value::null() : Value::real(ToDouble(text));
  }
  return Value::null();
}

constexpr TagField kLocation[] = {
    {"warehouse", "warehouse"},
    {"location", "location"},
};

// Every row as "<record><warehouse>w</warehouse><location>l</location></record>".
std::string LocationRecords(Recordset rs) {
  OutputBuffer out;
  for (; !rs.eof(); rs.move_next()) {
    OutputBuffer record;
    WriteFields(record, rs, kLocation);
    out.tag("record", record.text());
  }
  return out.take();
}

}  // namespace

std::string rf_receipt_topup_putaway(Call& call) {
  // Every value is converted before the database is asked anything: a quantity, line number
  // or measure that is no number ends the handler here.
  std::vector<Value> values;
  values.reserve(std::size(kTopupInputs));
  for (const TopupInput& input : kTopupInputs) values.push_back(TopupValue(call, input));

  Command command = call.OpenCommand("rf_receipt_topup_putaway");
  for (size_t i = 0; i < values.size(); ++i) {
    command.set(static_cast<int>(i) + 1, std::move(values[i]));
  }
  command.Execute();
  return command.status_reply() + MakeTag("line_no", command.output("@line_no"));
}

std::string rf_get_item_topup_location(Call& call) {
  return LocationRecords(call.OpenRecordset(Sql("rf_get_item_topup_location ")
                                                .text(call["warehouse"])
                                                .text(call["client"])
                                                .text(call.item_no())));
}

std::string rf_get_item_pickface(Call& call) {
  return LocationRecords(call.OpenRecordset(Sql("rf_get_item_pickface ")
                                                .text(call["warehouse"])
                                                .text(call["client"])
                                                .text(call.item_no())));
}

}  // namespace talwen
