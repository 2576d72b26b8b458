// Works orders: manual task assignment for an order, taking the next works order of an area,
// looking one up, and the operator's unfinished works orders.
#include <array>

#include "base/text.h"
#include "frame/call.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/tasks/tasks.h"

namespace talwen {
namespace {

// A result column written under another tag name.
struct Renamed {
  std::string_view column;  // lower case
  std::string_view tag;
};

// The works-order columns and their tags, in the order the unfinished list writes them.
constexpr std::array<Renamed, 4> kWorksOrderTags = {{
    {"works_order", "wo_no"},
    {"status", "status"},
    {"movement", "movement_type"},
    {"assigned_to", "assigned_to"},
}};

std::string SqlErrorReply(const Call& call) {
  return StatusReply(std::to_string(call.last_sql_error), call.last_sql_message);
}

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
  for (int c = 0; c <= grid.last_column(); ++c) {
    if (grid.column_name(c) == "works_order") return MakeTag("wo_no", grid(c, 0));
  }
  return {};
}

// The works-order columns of row 0 under their tags, in the result's column order.
std::string rf_get_wo(Call& call) {
  const ResultGrid grid = call.ExecuteToGrid(Sql("rf_get_wo ").text(call["wo_no"]));
  if (call.last_sql_error != 0) return SqlErrorReply(call);
  if (!grid.has_rows()) return {};
  OutputBuffer out;
  for (int c = 0; c <= grid.last_column(); ++c) {
    const std::string name = to_lower(grid.column_name(c));
    for (const Renamed& r : kWorksOrderTags) {
      if (name == r.column) out.tag(r.tag, grid(c, 0));
    }
  }
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

  std::array<int, kWorksOrderTags.size()> columns;
  columns.fill(-1);
  size_t found = 0;
  for (int c = 0; c <= grid.last_column() && found < columns.size(); ++c) {
    const std::string name = to_lower(grid.column_name(c));
    for (size_t i = 0; i < columns.size(); ++i) {
      if (columns[i] < 0 && name == kWorksOrderTags[i].column) {
        columns[i] = c;
        ++found;
      }
    }
  }
  const auto value = [&](size_t i, int r) {
    return columns[i] < 0 ? std::string() : grid(columns[i], r).to_text();
  };

  OutputBuffer out;
  for (int r = 0; r <= grid.last_row(); ++r) {
    if (!movement_type.empty() && movement_type != value(2, r)) continue;
    out.append("<record>");
    for (size_t i = 0; i < columns.size(); ++i) out.tag(kWorksOrderTags[i].tag, value(i, r));
    out.append("</record>");
  }
  return out.take();
}

}  // namespace talwen
