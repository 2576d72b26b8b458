// Putaway and replenishment tasks closed once their move is done.
#include "frame/call.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/putaway/putaway.h"

namespace talwen {
namespace {

// A failed statement answers its error number and message; otherwise the "sqlstatus" and
// "sqlmsg" columns of the first row (a missing column gives the empty text).
std::string TaskClosingReply(const Call& call, const ResultGrid& grid) {
  if (call.last_sql_error != 0) {
    return StatusReply(std::to_string(call.last_sql_error), call.last_sql_message);
  }
  return StatusReply(GridValueByName(grid, "sqlstatus", 0).to_text(),
                     GridValueByName(grid, "sqlmsg", 0).to_text());
}

}  // namespace

std::string rf_close_putaway_task(Call& call) {
  const ResultGrid grid = call.ExecuteToGrid(Sql("exec rf_close_putaway_task ")
                                                 .text(call["wo_no"])
                                                 .number(call["task_no"])
                                                 .number(call["activity_no"])
                                                 .number(call["qty"])
                                                 .text(call["reason_code"])
                                                 .text(call["pallet"])
                                                 .text(call["warehouse"])
                                                 .text(call["location"])
                                                 .text(call["operator"]));
  return TaskClosingReply(call, grid);
}

std::string rf_close_replenish_task(Call& call) {
  const ResultGrid grid = call.ExecuteToGrid(Sql("exec rf_close_replenish_task ")
                                                 .text(call["wo_no"])
                                                 .number(call["task_no"])
                                                 .number(call["activity_no"])
                                                 .number(call["qty"])
                                                 .text(call["reason_code"])
                                                 .text(call["operator"]));
  return TaskClosingReply(call, grid);
}

}  // namespace talwen
