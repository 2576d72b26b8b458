// Top-up putaway of one received stock line, and the pick faces and top-up locations of a
// product.
#include "frame/call.h"
#include "frame/convert.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/putaway/putaway.h"

namespace talwen {
namespace {

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
      return text.empty() ? Value::null() : Value::int16(WholeInt16(text));
    case As::kDouble:
      return Value::real(StrictDouble(text));
    case As::kDoubleOrNull:
      return text.empty() ? Value::null() : Value::real(StrictDouble(text));
  }
  return Value::null();
}

constexpr TagField kLocation[] = {
    {"warehouse", "warehouse"},
    {"location", "location"},
};

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
  Recordset rs = call.OpenRecordset(Sql("rf_get_item_topup_location ")
                                        .text(call["warehouse"])
                                        .text(call["client"])
                                        .text(call.item_no()));
  return FieldRecordsReply(rs, kLocation);
}

std::string rf_get_item_pickface(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("rf_get_item_pickface ")
                                        .text(call["warehouse"])
                                        .text(call["client"])
                                        .text(call.item_no()));
  return FieldRecordsReply(rs, kLocation);
}

}  // namespace talwen
