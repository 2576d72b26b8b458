// Reference lists and configuration: the pick lists and settings a terminal loads, and the
// print-queue request.
#include <optional>

#include "frame/call.h"
#include "frame/convert.h"
#include "frame/reply.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/session/session.h"

namespace talwen {
namespace {

constexpr TagField kSystemConfig[] = {
    {"cfg_value", "cfg_value"},
    {"cfg_description", "cfg_description"},
};

constexpr TagField kCustomer[] = {
    {"customer", "customer"},
    {"customer_name", "customer_name"},
};

}  // namespace

std::string rf_get_system_config(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("get_system_config ").text(call["cfg_code"]));
  return FirstRowFields(rs, kSystemConfig);
}

std::string rf_get_system_config2(Call& call) {
  return RecordsReply(call.ExecuteToGrid(Sql("rf_get_system_config ").text(call["cfg_code"])));
}

// The procedure takes no code: it lists every setting the terminals use.
std::string rf_get_system_config_rf(Call& call) {
  return RecordsReply(call.ExecuteToGrid("rf_get_system_config_rf"));
}

std::string rf_get_facility_type(Call& call) {
  Recordset rs = call.OpenRecordset("rf_get_facility_type");
  return FieldPerRowReply(rs, "warehouse", "warehouse");
}

std::string rf_get_reason_codes(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("rpt_parameter_tbl_list ").literal("'REASONCODE' "));
  return FieldPerRowReply(rs, "reasoncode", "param_code");
}

std::string rf_get_item_grades(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("rpt_parameter_tbl_list ").literal("'GRADE' "));
  return FieldPerRowReply(rs, "grade", "param_code");
}

std::string rf_get_uom_list(Call& call) {
  return RecordsReply(call.ExecuteToGrid("rf_get_uom_list"));
}

// Every client record; this listing has no cut-off, whatever "limit" holds.
std::string rf_get_client(Call& call) {
  return RecordsReply(call.ExecuteToGrid(Sql("rf_get_client ").text(call["client"])));
}

std::string rf_get_client_customers(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("rf_get_client_customers ").text(call["client"]));
  return FieldPerRowReply(rs, "customer", "customer");
}

std::string rf_get_client_customers2(Call& call) {
  Recordset rs = call.OpenRecordset(
      Sql("rf_get_client_customers ").text(call["client"]).text(call["customer"]));
  return FieldRecordsReply(rs, kCustomer, Cutoff(call["limit"], "customer"));
}

std::string rf_get_supplier(Call& call) {
  const ResultGrid grid = call.ExecuteToGrid(
      Sql("get_supplier ").text(call["client"]).text(call["supplier"]).literal("'Y' "));
  return RecordsReply(grid, Cutoff(call["limit"], "supplier"));
}

std::string rf_get_carrier(Call& call) {
  const ResultGrid grid = call.ExecuteToGrid(Sql("rf_get_carrier ").text(call["carrier"]));
  return RecordsReply(grid, Cutoff(call["limit"], "carrier"));
}

// Queue a report with its copies. An empty quantity is one copy. A quantity that is no
// whole number of copies from 1 to 32767 (0, negative, not a number, too large) is refused
// with <sqlstatus>-1</sqlstatus> and nothing is queued.
std::string rf_print_queue(Call& call) {
  const std::string& qty = call["qty"];
  const std::optional<int16_t> copies = RoundedInt16(qty.empty() ? "1" : qty);
  if (!copies || *copies < 1) return MakeTag("sqlstatus", "-1");

  Command command = call.OpenCommand("rf_print_queue");
  command.set(1, call["report_type"]);
  static constexpr std::string_view kParams[] = {"param1", "param2", "param3", "param4",
                                                 "param5", "param6", "param7", "param8"};
  int position = 2;
  for (const std::string_view key : kParams) command.set(position++, call[key]);
  command.set(position, Value::int16(*copies));
  command.Execute();
  return MakeTag("sqlstatus", command.output("@return_value"));
}

}  // namespace talwen
