// Putaway and replenishment tasks closed once their move is done.
#include "frame/call.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/putaway/putaway.h"

namespace talwen {

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
  return GridStatusReply(call, grid);
}

std::string rf_close_replenish_task(Call& call) {
  const ResultGrid grid = call.ExecuteToGrid(Sql("exec rf_close_replenish_task ")
                                                 .text(call["wo_no"])
                                                 .number(call["task_no"])
                                                 .number(call["activity_no"])
                                                 .number(call["qty"])
                                                 .text(call["reason_code"])
                                                 .text(call["operator"]));
  return GridStatusReply(call, grid);
}

}  // namespace talwen
