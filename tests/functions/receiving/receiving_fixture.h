// What the receiving contract tests share: the receiving procedures as the database declares
// them, and readable forms of the values a handler passed.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "support/function_calls.h"
#include "support/harness.h"

namespace talwen::testing::receiving {

// Parameters by name; a trailing "*" marks an input-output parameter.
inline std::vector<db::Parameter> Params(std::vector<std::string> names) {
  std::vector<db::Parameter> params;
  for (std::string& name : names) {
    const bool output = name.back() == '*';
    if (output) name.pop_back();
    params.push_back({"@" + name, output ? db::Direction::kInputOutput : db::Direction::kInput,
                      db::kTypeVarWChar});
  }
  return params;
}

// The receiving procedures with their parameters in declared order, as the reference database
// declares them.
inline void DeclareProcedures(ScriptedDatabase& db) {
  const std::vector<std::string> line = {
      "client",       "receipt_no",  "line_no*",     "pallet", "item_no",  "uom",
      "qty",          "grade",       "lot",          "batch",  "supplier", "customer",
      "receipt_date", "expiry_date", "prod_date",    "size",   "color",    "item_class",
      "width",        "depth",       "height",       "weight", "currency", "unit_price",
      "ppq_packing",  "ppq_qty",     "user_defined", "status", "operator"};
  auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  db.procedure("rf_next_receipt_num", Params({"client", "operator", "receipt*"}));
  db.procedure(
      "rf_check_in_header",
      Params({"client", "receipt_no*", "warehouse", "station", "receipt_date", "receipt_type",
              "carrier", "vehicle", "container", "customer", "supplier", "client_po_no",
              "client_so_no", "receipt_ref_no", "remarks", "operator", "sqlstatus*", "sqlmsg*"}));
  db.procedure("rf_check_duplicate_receipt_detail", Params(with(line, {"sqlstatus*", "sqlmsg*"})));
  db.procedure("rf_update_receipt_detail",
               Params(with(line, {"sqlstatus*", "sqlmsg*", "asn_line_no", "po_no"})));
  db.procedure("rf_check_receipt_item_qty", Params({"client", "receipt_no", "item_no", "qty*",
                                                    "uom*", "rm_status*", "serial_qty*"}));
  db.procedure("receipt_checkin", Params({"client", "receipt_no", "operator", "putaway_flag",
                                          "sqlstatus*", "sqlmsg*"}));
  db.procedure("rf_close_receipt2",
               Params({"client", "receipt_no", "operator", "sqlstatus*", "sqlmsg*"}));
  db.procedure("rf_delete_receipt_line",
               Params({"client", "receipt_no", "line_no", "operator", "sqlstatus*", "sqlmsg*"}));
  const std::vector<std::string> serial = {"client", "item_no", "serial_no", "receipt_no"};
  db.procedure("rf_update_receipt_serial",
               Params(with(serial, {"receipt_date", "supplier", "pallet", "operator", "sqlstatus*",
                                    "sqlmsg*"})));
  db.procedure("rf_update_receipt_serial2",
               Params(with(serial, {"receipt_line", "receipt_date", "supplier", "pallet",
                                    "operator", "sqlstatus*", "sqlmsg*"})));
  db.procedure("rf_update_receipt_serial_adjustment",
               Params(with(serial, {"operator", "sqlstatus*", "sqlmsg*"})));
  db.procedure("rf_remove_receipt_serial",
               Params(with(serial, {"operator", "sqlstatus*", "sqlmsg*"})));
  db.procedure("rf_next_warrant_receipt", Params({"client", "receipt*"}));
}

// A value as a short text: "C1" for text, "null", "empty", "real:12.5", "int16:3",
// "date:2009-01-05".
inline std::string Describe(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::kText:
      return v.as_string();
    case Value::Kind::kNull:
      return "null";
    case Value::Kind::kEmpty:
      return "empty";
    case Value::Kind::kDouble:
      return "real:" + v.to_text();
    case Value::Kind::kInt16:
      return "int16:" + v.to_text();
    case Value::Kind::kDate:
      return "date:" + v.to_text();
    default:
      return "other:" + v.to_text();
  }
}

// What the call passed at positions 1 onward, described.
inline std::vector<std::string> Passed(const ReceivedCall& call) {
  std::vector<std::string> passed;
  for (size_t i = 1; i < call.values.size(); ++i) passed.push_back(Describe(call.values[i]));
  return passed;
}

// A harness whose database declares the receiving procedures.
class ReceivingHarness : public Harness {
 public:
  ReceivingHarness() { DeclareProcedures(*db); }

  std::string run(const std::string& function, const SessionValues& values) {
    return Call(*this, function, values);
  }
};

}  // namespace talwen::testing::receiving
