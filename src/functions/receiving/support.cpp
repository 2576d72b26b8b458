#include "functions/receiving/support.h"

#include <cmath>

#include "frame/convert.h"
#include "frame/grid.h"
#include "frame/reply.h"

namespace talwen::receiving {
namespace {

[[noreturn]] void mismatch(std::string_view text, std::string_view what) {
  const std::string_view kind = what.ends_with("date") ? "date" : "number";
  throw ConversionError(kind, text,
                        "Type mismatch: '" + std::string(text) + "' is not " + std::string(what));
}

}  // namespace

double StrictNumber(std::string_view text) {
  try {
    return StrictDouble(text);
  } catch (const std::invalid_argument&) {
    mismatch(text, "a number");
  }
}

namespace {

int16_t whole_16(double d, std::string_view text) {
  if (d != std::trunc(d) || d < -32768 || d > 32767) mismatch(text, "a 16-bit whole number");
  return static_cast<int16_t>(d);
}

}  // namespace

int16_t UnroundedInt16(std::string_view text) {
  double d = 0;
  try {
    d = StrictNumber(text);
  } catch (const ConversionError&) {
    mismatch(text, "a 16-bit whole number");
  }
  return whole_16(d, text);
}

Value NullOrStrictNumber(std::string_view text) {
  return text.empty() ? Value::null() : Value::real(StrictNumber(text));
}

Value NullOrUnroundedInt16(std::string_view text) {
  return text.empty() ? Value::null() : Value::int16(UnroundedInt16(text));
}

Value ToDate(std::string_view text) {
  const auto date = ParseDateText(text);
  if (!date) mismatch(text, "a date");
  return Value::date(*date);
}

double StrictNumber(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::kInt16:
    case Value::Kind::kInt32:
    case Value::Kind::kInt64:
      return static_cast<double>(value.as_int());
    case Value::Kind::kSingle:
    case Value::Kind::kDouble:
      return value.as_double();
    case Value::Kind::kDecimal:
    case Value::Kind::kCurrency:
    case Value::Kind::kText:
      return StrictNumber(value.as_string());
    default:
      mismatch(value.to_text(), "a number");
  }
}

int16_t UnroundedInt16(const Value& value) {
  return whole_16(StrictNumber(value), value.to_text());
}

ReceiptLine ReceiptLine::Read(const Call& call) {
  ReceiptLine l;
  l.client = call["client"];
  l.receipt_no = call["receipt_no"];
  l.line_no = call["line_no"];
  l.po_no = call["po_no"];
  l.pallet = call["pallet"];
  l.item = call.item_no();
  l.uom = call["uom"];
  l.qty = call["qty"];
  l.grade = call["grade"];
  l.lot = call["lot"];
  l.batch = call["batch"];
  l.supplier = call["supplier"];
  l.customer = call["customer"];
  l.receipt_date = call["receipt_date"];
  l.expiry_date = call["expiry_date"];
  l.production_date = call["prod_date"].empty() ? call["mfg_date"] : call["prod_date"];
  l.size = call["size"];
  l.color = call["color"];
  l.item_class = call["class"];
  l.width = call["width"];
  l.depth = call["depth"];
  l.height = call["height"];
  l.weight = call["weight"];
  l.currency = call["currency"];
  l.unit_price = call["unit_price"];
  l.ppq_packing = call["ppq_packing"];
  l.ppq_qty = call["ppq_qty"];
  l.user_defined = call["user_defined"];
  l.asn_line_no = call["asn_line_no"];
  l.status = call["status"];
  l.operator_id = call["operator"];
  return l;
}

std::vector<Value> ReceiptLine::Inputs(Value line_no) const {
  auto text = [](std::string_view s) { return Value::text(std::string(s)); };
  return {
      text(client),                    // 1
      text(receipt_no),                // 2
      std::move(line_no),              // 3
      text(pallet),                    // 4
      text(item),                      // 5
      text(uom),                       // 6
      Value::real(StrictNumber(qty)),  // 7
      text(grade),                     // 8
      text(lot),                       // 9
      text(batch),                     // 10
      text(supplier),                  // 11
      text(customer),                  // 12
      text(receipt_date),              // 13
      text(expiry_date),               // 14
      text(production_date),           // 15
      text(size),                      // 16
      text(color),                     // 17
      text(item_class),                // 18
      NullOrStrictNumber(width),       // 19
      NullOrStrictNumber(depth),       // 20
      NullOrStrictNumber(height),      // 21
      NullOrStrictNumber(weight),      // 22
      text(currency),                  // 23
      NullOrStrictNumber(unit_price),  // 24
      text(ppq_packing),               // 25
      NullOrStrictNumber(ppq_qty),     // 26
      text(user_defined),              // 27
      text(status),                    // 28
      text(operator_id),               // 29
  };
}

Sql ReceiptLine::Statement(std::string_view prefix, std::string_view status_arg) const {
  Sql sql(prefix);
  sql.text(client).text(receipt_no).number(line_no).text(po_no).text(pallet).text(item);
  sql.text(uom).number(qty).text(grade).text(lot).text(batch).text(supplier).text(customer);
  sql.text(receipt_date).text(expiry_date).text(production_date).text(size).text(color);
  sql.text(item_class).number(width).number(depth).number(height).number(weight);
  sql.text(currency).number(unit_price).text(ppq_packing).number(ppq_qty).text(user_defined);
  sql.text(status_arg).text(operator_id);
  return sql;
}

void AssignInputs(Command& command, std::span<const Value> values) {
  int position = 1;
  for (const Value& v : values) command.set(position++, v);
}

}  // namespace talwen::receiving
