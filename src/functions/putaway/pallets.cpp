// Pallet putaway: pallets waiting for putaway, their destinations, and the moves into storage.
#include "frame/call.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/putaway/putaway.h"

namespace talwen {
namespace {

// The pallet label without its check character.
std::string WithoutCheckCharacter(const Value& value) {
  const std::string label = value.to_text();
  return std::string(SplitPalletLabel(label).first);
}

constexpr TagField kPutawayPallet[] = {
    {"pallet_no", "pallet_no", WithoutCheckCharacter},
    {"warehouse_to", "warehouse_to"},
    {"location_to", "location_to"},
    {"wo_no", "wo_no"},
    {"receipt_no", "receipt_no"},
    {"assigned_to", "assigned_to"},
};

constexpr TagField kPalletDestination[] = {
    {"sqlstatus", "sqlstatus"},
    {"sqlmsg", "sqlmsg"},
    {"warehouse_to", "warehouse_to"},
    {"location_to", "location_to"},
};

}  // namespace

std::string rf_get_putaway_pallet(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("rf_get_putaway_pallet "));
  return FieldRecordsReply(rs, kPutawayPallet);
}

std::string rf_get_putaway_pallet_location(Call& call) {
  const std::string& op = call["operator"];
  const std::string& pallet = call["pallet"];
  Recordset rs = call.OpenRecordset(Sql("rf_get_putaway_pallet_location ").text(pallet).text(op));
  if (rs.eof()) {
    return StatusReply("-100", "No recordset returned to TALWEN.DLL") +
           MakeTag("warehouse_to", "") + MakeTag("location_to", "");
  }
  OutputBuffer out;
  WriteFields(out, rs, kPalletDestination);  // the first row only
  return out.take();
}

std::string rf_get_putaway_pallet_location2(Call& call) {
  return FirstRowReply(call.ExecuteToGrid(Sql("rf_get_putaway_pallet_location2 ")
                                              .text(call["client"])
                                              .text(call["pallet_no"])
                                              .text(call["operator"])));
}

std::string rf_receipt_allocate_putaway_location(Call& call) {
  return FirstRowReply(call.ExecuteToGrid(Sql("rf_receipt_allocate_putaway_location ")
                                              .text(call["client"])
                                              .text(call["receipt_no"])
                                              .text(call["operator"])));
}

std::string rf_receipt_find_putaway_location(Call& call) {
  Command command = call.OpenCommand("rf_receipt_find_putaway_location");
  command.inputs({call["client"], call["receipt_no"], call["pallet_no"], call["operator"]});
  command.Execute();
  return MakeTag("warehouse", command.output("@warehouse")) +
         MakeTag("location", command.output("@location")) + command.status_reply();
}

std::string rf_receipt_pallet_putaway(Call& call) {
  Command command = call.OpenCommand("rf_receipt_pallet_putaway");
  command.inputs({call["client"], call["receipt_no"], call["pallet_no"], call["warehouse"],
                  call["location"], call["operator"]});
  command.Execute();
  return command.status_reply();
}

// The two movement statements join the procedure name and the first argument without a blank:
// a non-empty first value is rendered " N'...'" and so supplies it, an empty one ("Null")
// makes a name no procedure has, and the failed statement answers the empty reply.
std::string rf_putaway_stock_movements_pallet(Call& call) {
  return FirstRowReply(call.ExecuteToGrid(Sql("rf_putaway_stock_movements_pallet")
                                              .text(call["pallet"])
                                              .text(call["warehouse_to"])
                                              .text(call["location_to"])
                                              .text(call["operator"])));
}

std::string rf_putaway_stock_movements_pallet2(Call& call) {
  return FirstRowReply(call.ExecuteToGrid(Sql("rf_putaway_stock_movements_pallet2")
                                              .text(call["client"])
                                              .text(call["pallet_no"])
                                              .text(call["warehouse_to"])
                                              .text(call["location_to"])
                                              .text(call["operator"])));
}

}  // namespace talwen
