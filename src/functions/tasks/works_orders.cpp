// Works orders: manual task assignment for an order, taking the next works order of an area,
// looking one up, and the operator's unfinished works orders.
#include "frame/call.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/tasks/tasks.h"

namespace talwen {
namespace {

// The works-order columns (found without regard to letter case) and their tags, in the order
// the unfinished list writes them.
constexpr Renamed kWorksOrderTags[] = {
    {"works_order", "wo_no"},
    {"status", "status"},
    {"movement", "movement_type"},
    {"assigned_to", "assigned_to"},
};
constexpr size_t kMovement = 2;  // the row of "movement"

}  // namespace

// Success only with a works order number: a row without one (empty or Null) is a failure,
// whatever status the procedure gave.
std::string rf_assign_whse_task_manual(Call& call) {
  const std::string& op = call["operator"];
  const std::string& client = call["client"];
  const std::string& movement_type = call["movement_type"];
  const std::string& order_no = call["order_no"];
  const ResultGrid grid = call.ExecuteToGrid(Sql("assign_whse_task_manual ")
                                                 .text(op)
                                                 .text(movement_type)
                                                 .text(client)
                                                 .text(order_no)
                                                 .text(op));
  const std::string message = GridValueByName(grid, "sqlmsg", 0).to_text();
  const std::string wo_number = GridValueByName(grid, "wo_number", 0).to_text();
  OutputBuffer out;
  out.tag("wo_no", wo_number);
  out.tag("sqlstatus", wo_number.empty() ? "-1" : "0");
  out.tag("sqlmsg", message);
  return out.take();
}

// The works order now assigned, from the column named exactly "works_order"; nothing when the
// result has no row or no such column.
std::string rf_assign_works_order(Call& call) {
  const std::string& op = call["operator"];
  const ResultGrid grid = call.ExecuteToGrid(
      Sql("assign_works_order ").text(op).text(call["area"]).text(call["movement_type"]).text(op));
  if (call.last_sql_error != 0) return SqlErrorReply(call);
  if (!grid.has_rows()) return {};
  const int works_order = ColumnNamed(grid, "works_order", NameMatch::kExact);
  return works_order < 0 ? std::string() : MakeTag("wo_no", grid(works_order, 0));
}

// The works-order columns of row 0 under their tags, in the result's column order.
std::string rf_get_wo(Call& call) {
  const ResultGrid grid = call.ExecuteToGrid(Sql("rf_get_wo ").text(call["wo_no"]));
  if (call.last_sql_error != 0) return SqlErrorReply(call);
  if (!grid.has_rows()) return {};
  OutputBuffer out;
  WriteColumnsRenamed(out, grid, 0, kWorksOrderTags, NameMatch::kCaseBlind, false);
  return out.take();
}

// One record per works order whose movement is the one asked for (every row when none is
// asked for). A works-order column the result lacks is written empty.
std::string rf_get_unfinished_works_order(Call& call) {
  const std::string& op = call["operator"];
  const std::string& movement_type = call["movement_type"];
  const ResultGrid grid = call.ExecuteToGrid(
      Sql("get_unfinished_works_order ").text(op).literal("1").text(movement_type));
  if (call.last_sql_error != 0) return SqlErrorReply(call);
  const RenamedColumns columns(grid, kWorksOrderTags, NameMatch::kCaseBlind);
  OutputBuffer out;
  for (int r = 0; r <= grid.last_row(); ++r) {
    if (!movement_type.empty() && movement_type != columns.value(kMovement, r).to_text()) continue;
    columns.WriteRecord(out, r);
  }
  return out.take();
}

}  // namespace talwen
