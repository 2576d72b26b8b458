// Serial numbers shipped against a sales order: recorded, changed with a warranty, removed.
#include <string>

#include "frame/call.h"
#include "frame/convert.h"
#include "functions/picking/picking.h"

namespace talwen {

std::string rf_update_so_serial(Call& call) {
  Command command = call.OpenCommand("rf_update_so_serial");
  command.inputs({call["client"], call["item_no"], call["serial_no"], call["customer"],
                  call["so_no"], call["pallet"], call["operator"]});
  command.Execute();
  return command.status_reply();
}

// The order line, task and activity go as 16-bit integers (0 when not numeric); they are
// converted before the database is asked anything.
std::string rf_update_so_serial_warranty(Call& call) {
  Value so_line = Int16OrZero("so_line", call["so_line"]);
  Value task_no = Int16OrZero("task_no", call["task_no"]);
  Value activity = Int16OrZero("activity", call["activity"]);
  Command command = call.OpenCommand("rf_update_so_serial_warranty");
  command.inputs({call["client"], call["item_no"], call["serial_no"], call["so_no"]});
  command.set(5, std::move(so_line))
      .set(6, call["warranty_no"])
      .set(7, call["wo_no"])
      .set(8, std::move(task_no))
      .set(9, std::move(activity))
      .set(10, call["operator"]);
  command.Execute();
  return command.status_reply();
}

std::string rf_remove_so_serial(Call& call) {
  Command command = call.OpenCommand("rf_remove_so_serial");
  command.inputs(
      {call["client"], call["item_no"], call["serial_no"], call["so_no"], call["operator"]});
  command.Execute();
  return command.status_reply();
}

}  // namespace talwen
