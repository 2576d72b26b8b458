// What the receiving contract tests share: the receiving procedures as the database declares
// them, and readable forms of the values a handler passed.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "support/harness.h"

namespace talwen::testing::receiving {

using SessionValues = std::vector<std::pair<std::string, std::string>>;

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

// The receiving procedures with their parameters in declared order.
inline void DeclareProcedures(ScriptedDatabase& db) {
  const std::vector<std::string> line = {
      "p_client",       "p_receipt_no",  "line_no*",       "p_pallet", "p_item_no",  "p_uom",
      "p_qty",          "p_grade",       "p_lot",          "p_batch",  "p_supplier", "p_customer",
      "p_receipt_date", "p_expiry_date", "p_prod_date",    "p_size",   "p_color",    "p_class",
      "p_width",        "p_depth",       "p_height",       "p_weight", "p_currency", "p_unit_price",
      "p_ppq_packing",  "p_ppq_qty",     "p_user_defined", "p_status", "p_operator"};
  auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  db.procedure("rf_next_receipt_num", Params({"p_client", "p_operator", "receipt*"}));
  db.procedure("rf_check_in_header",
               Params({"p_client", "receipt_no*", "p_warehouse", "p_station", "p_receipt_date",
                       "p_receipt_type", "p_carrier", "p_vehicle", "p_container", "p_customer",
                       "p_supplier", "p_client_po_no", "p_client_so_no", "p_receipt_ref_no",
                       "p_remarks", "p_operator", "sqlstatus*", "sqlmsg*"}));
  db.procedure("rf_check_duplicate_receipt_detail", Params(with(line, {"sqlstatus*", "sqlmsg*"})));
  db.procedure("rf_update_receipt_detail",
               Params(with(line, {"sqlstatus*", "sqlmsg*", "p_asn_line_no", "p_po_no"})));
  db.procedure("rf_check_receipt_item_qty", Params({"p_client", "p_receipt_no", "p_item_no", "qty*",
                                                    "uom*", "rm_status*", "serial_qty*"}));
  db.procedure("receipt_checkin", Params({"p_client", "p_receipt_no", "p_operator", "p_close",
                                          "sqlstatus*", "sqlmsg*"}));
  db.procedure("rf_close_receipt2",
               Params({"p_client", "p_receipt_no", "p_operator", "sqlstatus*", "sqlmsg*"}));
  db.procedure("rf_delete_receipt_line", Params({"p_client", "p_receipt_no", "p_line_no",
                                                 "p_operator", "sqlstatus*", "sqlmsg*"}));
  const std::vector<std::string> serial = {"p_client", "p_item_no", "p_serial_no", "p_receipt_no"};
  db.procedure("rf_update_receipt_serial",
               Params(with(serial, {"p_receipt_date", "p_supplier", "p_pallet", "p_operator",
                                    "sqlstatus*", "sqlmsg*"})));
  db.procedure("rf_update_receipt_serial2",
               Params(with(serial, {"p_receipt_line", "p_receipt_date", "p_supplier", "p_pallet",
                                    "p_operator", "sqlstatus*", "sqlmsg*"})));
  db.procedure("rf_update_receipt_serial_adjustment",
               Params(with(serial, {"p_operator", "sqlstatus*", "sqlmsg*"})));
  db.procedure("rf_remove_receipt_serial",
               Params(with(serial, {"p_operator", "sqlstatus*", "sqlmsg*"})));
  db.procedure("rf_next_warrant_receipt", Params({"p_client", "receipt*"}));
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
    host::Session session("S1");
    session.set("function", function);
    for (const auto& [key, value] : values) session.set(key, value);
    return call(session);
  }
};

}  // namespace talwen::testing::receiving
