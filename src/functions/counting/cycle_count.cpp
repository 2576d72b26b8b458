// Cycle counting: location checks, location stock, counted lines and cartons, count tasks.
#include "frame/call.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/counting/counting.h"

namespace talwen {

std::string rf_check_location_status(Call& call) {
  Command command = call.OpenCommand("rf_check_location_status");
  // The third input is the zone, which the procedure answers; it goes in empty.
  command.inputs({call["warehouse"], call["location"], ""});
  command.Execute();
  return StatusReply(command.output("@sqlstatus"), command.output("@sqlmsg")) +
         MakeTag("zone", command.output("@zone"));
}

std::string rf_cc_get_location_stock(Call& call) {
  return RecordsReply(call.ExecuteToGrid(
      Sql("exec rf_cc_get_location_stock ").text(call["warehouse"]).text(call["location"])));
}

std::string rf_initialise_rf_stkcount_location(Call& call) {
  return RecordsReply(call.ExecuteToGrid(Sql("rf_initialise_rf_stkcount_location ")
                                             .text(call["warehouse"])
                                             .text(call["location"])
                                             .text(call["client"])
                                             .text(call["operator"])));
}

std::string rf_cc_update_cycle_count(Call& call) {
  // The production date: "prod_date", or "mfg_date" when that is empty.
  const std::string& prod_date = call["prod_date"].empty() ? call["mfg_date"] : call["prod_date"];
  return RecordsReply(call.ExecuteToGrid(Sql("rf_cc_update_cycle_count ")
                                             .text(call["operator"])
                                             .literal("'Y'")
                                             .text(call["warehouse"])
                                             .text(call["location"])
                                             .text(call["pallet"])
                                             .text(call["client"])
                                             .text(call["item_no"])
                                             .text(call["uom"])
                                             .number(call["system_qty"])
                                             .number(call["count_qty"])
                                             .text(call["grade"])
                                             .text(call["stocktake_ref"])
                                             .literal("'CYCLECOUNT'")
                                             .number(call["rec_num"])
                                             .text(call["lot_no"])
                                             .text(call["batch_no"])
                                             .text(call["expiry_date"])
                                             .text(prod_date)
                                             .text(call["item_size"])
                                             .text(call["item_color"])
                                             .text(call["item_class"])
                                             .text(call["owner"])));
}

std::string rf_update_rf_stkcount_carton(Call& call) {
  return RecordsReply(call.ExecuteToGrid(Sql("rf_update_rf_stkcount_carton ")
                                             .text(call["warehouse"])
                                             .text(call["location"])
                                             .text(call["client"])
                                             .text(call["carton_no"])
                                             .text(call["operator"])));
}

std::string rf_update_rf_stkcount_location(Call& call) {
  return RecordsReply(call.ExecuteToGrid(Sql("rf_update_rf_stkcount_location ")
                                             .text(call["warehouse"])
                                             .text(call["location"])
                                             .text(call["client"])
                                             .text(call["operator"])));
}

std::string rf_close_count_task(Call& call) {
  const ResultGrid grid = call.ExecuteToGrid(Sql("exec rf_close_count_task ")
                                                 .text(call["wo_no"])
                                                 .number(call["task_no"])
                                                 .number(call["activity_no"])
                                                 .number(call["count_qty"])
                                                 .text(call["operator"]));
  return GridStatusReply(call, grid);
}

}  // namespace talwen
