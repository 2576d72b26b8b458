// Order picking: pick lists, pick confirmation, pick and carton-pick tasks, matching pallets,
// order lines picked between pallets, and orders with pending tasks.
#include <string>

#include "frame/call.h"
#include "frame/convert.h"
#include "frame/grid.h"
#include "frame/reply.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/picking/picking.h"

namespace talwen {

namespace {

// One pick-list line: 15 values, each followed by a tab; the source pallet label gives two.
constexpr LineField kPickListLine[] = {
    {"works_order"},   {"line_no"},   {"task_no"},           {"activity"},
    {"movement_type"}, {"item_no"},   {"Description"},       {"warehouse_from"},
    {"location_from"}, {"area_from"}, {"pallet_from", true}, {"rec_num"},
    {"qty"},           {"uom"},
};

// An order with pending tasks: its references under the names the pages use.
constexpr Renamed kPendingOrder[] = {{"order_ref", "order_no"}, {"client_ref", "order_ref_no"}};

// A pallet that can serve an order line.
constexpr TagField kMatchingPallet[] = {
    {"pallet", "pallet"},
    {"location", "location"},
    {"qty_free_luom", "qty_free_luom"},
    {"uom", "uom"},
};

}  // namespace

// The pick list has no status tags: records when the procedure's first row says "sqlstatus"
// 0, the empty reply otherwise. The statement runs once; its last result set is the list.
std::string rf_extract_order_picklist(Call& call) {
  const std::string& op = call["operator"];
  Recordset rs = call.OpenLastRecordset(Sql("rf_extract_order_picklist ")
                                            .text(call["client"])
                                            .text(call["customer"])
                                            .text(call["so_no"])
                                            .number("")  // no quantity: Null
                                            .text(call["despatch"])
                                            .text(op)
                                            .text(op));
  if (!rs.is_open() || rs.eof()) return "";
  if (!EqualsZero(rs.field("sqlstatus"))) return "";
  return LineRecordsReply(rs, kPickListLine);
}

// Goes on whatever happens to the statement: a failure gives an empty status and message.
std::string rf_confirm_item_picked(Call& call) {
  const ResultGrid grid = call.ExecuteToGrid(Sql("rf_confirm_item_picked ")
                                                 .text(call["wo_no"])
                                                 .number(call["task"])
                                                 .number(call["activity"])
                                                 .text(call["customer"])
                                                 .number(call["line_no"])
                                                 .text(call["so_no"])
                                                 .text(call["client"])
                                                 .text(call.item_no())
                                                 .text(call["uom"])
                                                 .number(call["qty"])
                                                 .text(call["source"])
                                                 .text(call["warehouse"])
                                                 .text(call["location"])
                                                 .number(call["rec_num"])
                                                 .text(call["despatch"])
                                                 .text(call["destination"])
                                                 .text(call["operator"]));
  return StatusReply(FirstRowText(grid, "sqlstatus"), FirstRowText(grid, "sqlmsg"));
}

std::string rf_close_pick_task(Call& call) {
  const ResultGrid grid = call.ExecuteToGrid(Sql("exec rf_close_pick_task ")
                                                 .text(call["wo_no"])
                                                 .number(call["task_no"])
                                                 .number(call["activity_no"])
                                                 .number(call["pick_qty"])
                                                 .text(call["reason_code"])
                                                 .text(call["operator"]));
  return GridStatusReply(call, grid);
}

std::string rf_close_carton_pick_task(Call& call) {
  const ResultGrid grid = call.ExecuteToGrid(Sql("exec rf_close_carton_pick_task ")
                                                 .text(call["wo_no"])
                                                 .number(call["task_no"])
                                                 .number(call["activity_no"])
                                                 .text(call["picked_rec_num"])
                                                 .text(call["operator"]));
  return GridStatusReply(call, grid);
}

// The status reply first, then the pallets of every result set that has columns.
std::string rf_pick_find_matching_pallet(Call& call) {
  Command command = call.OpenCommand("rf_pick_find_matching_pallet");
  command.inputs({call["client"], call["so_no"], call["line_no"]});
  command.Execute();
  OutputBuffer out;
  Recordset rs(std::move(command.result_sets()));
  for (bool more = rs.result_set_count() > 0; more; more = rs.next_recordset()) {
    if (rs.is_open()) WriteFieldRecords(out, rs, kMatchingPallet);
  }
  return command.status_reply() + out.take();
}

std::string rf_pick_sales_detail2(Call& call) {
  Command command = call.OpenCommand("rf_pick_sales_detail2");
  command.inputs({call["client"], call["so_no"], call["line_no"], call["pick_qty"],
                  call["pallet_from"], call["pallet_to"], call["despatch"], call["operator"]});
  command.Execute();
  return command.status_reply();
}

// The columns "order_ref" and "client_ref" are found by their exact names (letter case
// counts) and written as "order_no" and "order_ref_no". A result without one of them lists
// its rows with that tag empty.
std::string rf_get_pending_task_order(Call& call) {
  const ResultGrid grid = call.ExecuteToGrid(
      Sql("rf_get_pending_task_order ").text(call["client"]).text(call["movement_type"]));
  const RenamedColumns columns(grid, kPendingOrder, NameMatch::kExact);
  OutputBuffer out;
  for (int r = 0; r <= grid.last_row(); ++r) columns.WriteRecord(out, r);
  return out.take();
}

}  // namespace talwen
