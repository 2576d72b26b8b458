// Serial numbers of received goods: recorded against the receipt (and its line), recorded for
// an adjustment, removed when scanned by mistake; and warrant receipt numbers.
#include "frame/call.h"
#include "frame/reply.h"
#include "functions/receiving/receiving.h"
#include "functions/receiving/support.h"

namespace talwen {

std::string rf_update_receipt_serial(Call& call) {
  const Value receipt_date = receiving::ToDate(call["receipt_date"]);
  Command command = call.OpenCommand("rf_update_receipt_serial");
  command.inputs({call["client"], call["item_no"], call["serial_no"], call["receipt_no"]});
  command.set(5, receipt_date);
  command.set(6, call["supplier"]).set(7, call["pallet"]).set(8, call["operator"]);
  command.Execute();
  return command.status_reply();
}

std::string rf_update_receipt_serial2(Call& call) {
  const int16_t receipt_line = receiving::UnroundedInt16(call["receipt_line"]);
  const Value receipt_date = receiving::ToDate(call["receipt_date"]);
  Command command = call.OpenCommand("rf_update_receipt_serial2");
  command.inputs({call["client"], call["item_no"], call["serial_no"], call["receipt_no"]});
  command.set(5, Value::int16(receipt_line)).set(6, receipt_date);
  command.set(7, call["supplier"]).set(8, call["pallet"]).set(9, call["operator"]);
  command.Execute();
  return command.status_reply();
}

std::string rf_update_receipt_serial_adjustment(Call& call) {
  Command command = call.OpenCommand("rf_update_receipt_serial_adjustment");
  command.inputs(
      {call["client"], call["item_no"], call["serial_no"], call["receipt_no"], call["operator"]});
  command.Execute();
  return command.status_reply();
}

std::string rf_remove_receipt_serial(Call& call) {
  Command command = call.OpenCommand("rf_remove_receipt_serial");
  command.inputs(
      {call["client"], call["item_no"], call["serial_no"], call["receipt_no"], call["operator"]});
  command.Execute();
  return command.status_reply();
}

std::string rf_next_warrant_receipt(Call& call) {
  Command command = call.OpenCommand("rf_next_warrant_receipt");
  command.inputs({call["client"]});
  command.Execute();
  return MakeTag("receipt_no", command.output("@receipt"));
}

}  // namespace talwen
