// Task reports: the task information of an order, the stock movements waiting in a warehouse,
// and the outstanding tasks of a works order.
#include "frame/call.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/tasks/tasks.h"

namespace talwen {
namespace {

constexpr TagField kTaskInfoTags[] = {
    {"wo_no", "wo_no"},
    {"wo_status", "wo_status"},
    {"wo_assigned_to", "wo_assigned_to"},
    {"order_status", "order_status"},
};

// The outstanding-tasks report writes every column, "sales_order" under another name.
constexpr Renamed kSalesOrder[] = {{"sales_order", "so_no"}};

// The outstanding-tasks report lists at most this many records under a limit.
constexpr int kReportRecords = 5;

}  // namespace

std::string rf_get_stock_movements_task_info(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("rf_get_stock_movements_task_info ")
                                        .text(call["client"])
                                        .text(call["order_no"])
                                        .text(call["movement_type"]));
  return FirstRowFields(rs, kTaskInfoTags);
}

std::string rf_query_stock_movements(Call& call) {
  const std::string& client = call["client"];
  const std::string& warehouse = call["warehouse"];
  const std::string& movement_type = call["movement_type"];
  const Cutoff cutoff(call["limit"], "item_no");
  return RecordsReply(
      call.ExecuteToGrid(
          Sql("rf_query_stock_movements ").text(client).text(warehouse).text(movement_type)),
      cutoff);
}

// Every outstanding task, "sales_order" written as "so_no". Under a limit the report stops
// after five records, with the too-many record when more rows follow.
std::string rf_rpt_os_tasks(Call& call) {
  const std::string& wo_no = call["wo_no"];
  const bool limited = Cutoff(call["limit"], "item_no").active();
  const ResultGrid grid = call.ExecuteToGrid(Sql("rpt_os_tasks ").text(wo_no));
  if (call.last_sql_error != 0) return SqlErrorReply(call);
  OutputBuffer out;
  const int last = grid.last_row();
  for (int r = 0; r <= last; ++r) {
    out.append("<record>");
    WriteColumnsRenamed(out, grid, r, kSalesOrder, NameMatch::kExact, true);
    out.append("</record>");
    if (limited && r != last && r >= kReportRecords - 1) {
      out.append("<record>");
      out.tag("item_no", "<Too many records>");
      out.append("</record>");
      break;
    }
  }
  return out.take();
}

}  // namespace talwen
