// Stock relocation and pallet updates: stock lines, pallets and cartons moved, a stock line's
// quantity corrected, stock created, pallet numbers drawn, serial numbers put on pallets.
#include "frame/call.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/stock/stock.h"

namespace talwen {
namespace {

// The status reply of an item relocation, with a message of its own where the procedure left
// the message empty: the success text for status "0" (compared as text), the failure text
// for any other status.
std::string RelocationReply(const Command& command, std::string_view success,
                            std::string_view failure) {
  const std::string status = command.output("@sqlstatus");
  std::string message = command.output("@sqlmsg");
  if (message.empty()) message = status == "0" ? success : failure;
  return StatusReply(status, message);
}

}  // namespace

std::string rf_item_relocation(Call& call) {
  const std::string& client = call["client"];
  const std::string& op = call["operator"];
  const std::string& item = call.item_no();
  const std::string& uom = call["uom"];
  const std::string& qty = call["qty"];
  const std::string& pallet = call["pallet"];
  const std::string& warehouse = call["warehouse"];
  const std::string& location = call["location"];
  const std::string& rec_num = call["rec_num"];
  const std::string& destination = call["destination"];

  Command command = call.OpenCommand("rf_item_relocation");
  command.inputs({pallet, warehouse, location, destination, client, item, rec_num, qty, uom, op});
  command.Execute();
  return RelocationReply(command, "Item transferred.", "Failed to transfer item from pallet.");
}

std::string rf_item_relocation2(Call& call) {
  Command command = call.OpenCommand("rf_item_relocation2");
  command.inputs({call["rec_num"], call["warehouse"], call["location"], call["pallet"], call["qty"],
                  call["grade"], call["operator"]});
  command.Execute();
  return RelocationReply(command, "Item relocated.", "Failed to relocate item from pallet.");
}

std::string rf_location_transfer(Call& call) {
  Command command = call.OpenCommand("rf_location_transfer");
  command.inputs({call["pallet"], call["warehouse"], call["destination"], call["operator"]});
  command.Execute();
  return command.status_reply();
}

std::string rf_pallet_relocation(Call& call) {
  Command command = call.OpenCommand("rf_pallet_relocation");
  command.inputs(
      {call["pallet"], call["warehouse"], call["location"], call["grade"], call["operator"]});
  command.Execute();
  return command.status_reply();
}

std::string rf_relocate_carton(Call& call) {
  const std::string& client = call["client"];
  const std::string& carton_no = call["carton_no"];
  const std::string& warehouse = call["warehouse"];
  const std::string& location = call["location"];
  const std::string& op = call["operator"];
  return FirstRowReply(call.ExecuteToGrid(Sql("rf_relocate_carton ")
                                              .text(warehouse)
                                              .text(location)
                                              .text(client)
                                              .text(carton_no)
                                              .text(op)));
}

std::string rf_update_pallet_location_qty(Call& call) {
  Command command = call.OpenCommand("rf_update_pallet_location_qty");
  command.inputs(
      {call["rec_num"], call["new_uom"], call["new_qty"], call["docref"], call["operator"]});
  command.Execute();
  return command.status_reply();
}

// Only the number: a failure to draw one shows as an empty "pallet_no".
std::string rf_next_pallet_no(Call& call) {
  Command command = call.OpenCommand("rf_next_pallet_no");
  command.inputs({call["client"], call["customer"]});
  command.Execute();
  return MakeTag("pallet_no", command.output("@pallet"));
}

std::string rf_create_stock(Call& call) {
  return FirstRowReply(call.ExecuteToGrid(Sql("rf_create_stock ")
                                              .text(call["warehouse"])
                                              .text(call["location"])
                                              .text(call["client"])
                                              .text(call.item_no())
                                              .text(call["grade"])
                                              .text(call["uom"])
                                              .number(call["qty"])
                                              .text(call["ref_no"])
                                              .text(call["operator"])));
}

// The product is "item_no" alone: no fallback to "item".
std::string rf_update_serial_pallet(Call& call) {
  Command command = call.OpenCommand("rf_update_serial_pallet");
  command.inputs(
      {call["client"], call["item_no"], call["serial_no"], call["pallet"], call["operator"]});
  command.Execute();
  return command.status_reply();
}

}  // namespace talwen
