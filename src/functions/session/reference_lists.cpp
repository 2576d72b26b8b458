// Reference lists and configuration: the pick lists and settings a terminal loads, and the
// print-queue request.
#include <cmath>
#include <cstdlib>
#include <optional>

#include "frame/call.h"
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

// One element per row of the statement's recordset: the named field under tag.
std::string field_per_row(Call& call, std::string_view sql, std::string_view tag,
                          std::string_view field) {
  Recordset rs = call.OpenRecordset(sql);
  OutputBuffer out;
  for (; !rs.eof(); rs.move_next()) out.tag(tag, rs.field(field));
  return out.take();
}

}  // namespace

std::optional<int16_t> ToInt16(std::string_view text) {
  if (!looks_numeric(text)) return std::nullopt;
  while (text.front() == ' ') text.remove_prefix(1);
  // looks_numeric admits only blanks, a sign, digits and one point: strtod reads it whole.
  const double value = std::nearbyint(std::strtod(std::string(text).c_str(), nullptr));
  if (value < -32768.0 || value > 32767.0) return std::nullopt;
  return static_cast<int16_t>(value);
}

std::string rf_get_system_config(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("get_system_config ").text(call["cfg_code"]));
  if (rs.eof()) return "";
  OutputBuffer out;
  WriteFields(out, rs, kSystemConfig);
  return out.take();
}

std::string rf_get_system_config2(Call& call) {
  return RecordsReply(call.ExecuteToGrid(Sql("rf_get_system_config ").text(call["cfg_code"])));
}

// The procedure takes no code: it lists every setting the terminals use.
std::string rf_get_system_config_rf(Call& call) {
  return RecordsReply(call.ExecuteToGrid("rf_get_system_config_rf"));
}

std::string rf_get_facility_type(Call& call) {
  return field_per_row(call, "rf_get_facility_type", "warehouse", "warehouse");
}

std::string rf_get_reason_codes(Call& call) {
  return field_per_row(call, Sql("rpt_parameter_tbl_list ").literal("'REASONCODE' "), "reasoncode",
                       "param_code");
}

std::string rf_get_item_grades(Call& call) {
  return field_per_row(call, Sql("rpt_parameter_tbl_list ").literal("'GRADE' "), "grade",
                       "param_code");
}

std::string rf_get_uom_list(Call& call) {
  return RecordsReply(call.ExecuteToGrid("rf_get_uom_list"));
}

// Every client record; this listing has no cut-off, whatever "limit" holds.
std::string rf_get_client(Call& call) {
  return RecordsReply(call.ExecuteToGrid(Sql("rf_get_client ").text(call["client"])));
}

std::string rf_get_client_customers(Call& call) {
  return field_per_row(call, Sql("rf_get_client_customers ").text(call["client"]), "customer",
                       "customer");
}

std::string rf_get_client_customers2(Call& call) {
  Recordset rs = call.OpenRecordset(
      Sql("rf_get_client_customers ").text(call["client"]).text(call["customer"]));
  const Cutoff cutoff(call["limit"], "customer");
  OutputBuffer out;
  for (; !rs.eof(); rs.move_next()) {
    out.tag("record", MakeTag("customer", rs.field("customer")) +
                          MakeTag("customer_name", rs.field("customer_name")));
    if (cutoff.reached(out)) break;
  }
  return out.take();
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
  const std::optional<int16_t> copies = ToInt16(qty.empty() ? "1" : qty);
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
