// Receipt check-in: stations, receipt numbers, the receipt header, each scanned line, cartons
// checked against the receipt, and completing or closing the receipt.
#include "frame/call.h"
#include "frame/reply.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/receiving/receiving.h"
#include "functions/receiving/support.h"

namespace talwen {

using receiving::ReceiptLine;

std::string rf_get_check_in_station(Call& call) {
  const ResultGrid grid =
      call.ExecuteToGrid(Sql("rf_get_check_in_station ").text(call["warehouse"]));
  const int station = FindColumnIndex(grid, "station");
  OutputBuffer out;
  for (int r = 0; r <= call.last_row_index; ++r) out.tag("station", grid(station, r));
  return out.take();
}

std::string rf_receipt_check_carton(Call& call) {
  return FirstRowReply(call.ExecuteToGrid(Sql("rf_receipt_check_carton ")
                                              .text(call["client"])
                                              .text(call["receipt_no"])
                                              .text(call["carton_no"])
                                              .text(call["operator"])));
}

std::string rf_receipt_checkin_carton_list(Call& call) {
  return FirstRowReply(call.ExecuteToGrid(Sql("rf_receipt_checkin_carton_list ")
                                              .text(call["client"])
                                              .text(call["receipt_no"])
                                              .text(call["carton_list"])
                                              .text(call["operator"])
                                              .literal("Y")));
}

std::string rf_receipt_checkin_carton_list2(Call& call) {
  return FirstRowReply(call.ExecuteToGrid(Sql("rf_receipt_checkin_carton_list2 ")
                                              .text(call["client"])
                                              .text(call["carton_list"])
                                              .text(call["operator"])
                                              .literal("Y")));
}

std::string rf_receipt_checkin_without_closing(Call& call) {
  return FirstRowReply(call.ExecuteToGrid(Sql("rf_receipt_checkin_without_closing ")
                                              .text(call["client"])
                                              .text(call["receipt_no"])
                                              .text(call["operator"])
                                              .literal("Y")));
}

std::string rf_next_receipt_num(Call& call) {
  Command command = call.OpenCommand("rf_next_receipt_num");
  command.inputs({call["client"], call["operator"]});
  command.Execute();
  return MakeTag("receipt_no", command.output("@receipt"));
}

std::string rf_check_in_header(Call& call) {
  const std::string& remarks = call["remarks"];
  Command command = call.OpenCommand("rf_check_in_header");
  command.inputs({call["client"], call["receipt_no"], call["warehouse"], call["station"],
                  call["receipt_date"], call["receipt_type"], call["carrier"], call["vehicle"],
                  call["container"], call["customer"], call["supplier"], call["client_po_no"],
                  call["client_so_no"], call["receipt_ref_no"],
                  remarks.empty() ? std::string_view("Created through RF Terminal.") : remarks,
                  call["operator"]});
  command.Execute();
  return MakeTag("receipt_no", command.output("@receipt_no")) + command.status_reply();
}

std::string rf_check_duplicate_receipt_detail(Call& call) {
  // The line number is the procedure's to assign: whatever "line_no" holds, Null goes in.
  const std::vector<Value> inputs = ReceiptLine::Read(call).Inputs(Value::null());
  Command command = call.OpenCommand("rf_check_duplicate_receipt_detail");
  receiving::AssignInputs(command, inputs);
  command.Execute();
  return command.status_reply() + MakeTag("line_no", command.output("@line_no"));
}

std::string rf_check_receipt_item_qty(Call& call) {
  Command command = call.OpenCommand("rf_check_receipt_item_qty");
  command.inputs({call["client"], call["receipt_no"], call.item_no()});
  command.Execute();
  const double qty = receiving::StrictNumber(command["@qty"]);
  const int16_t serial_qty = receiving::UnroundedInt16(command["@serial_qty"]);
  return MakeTag("qty", format_double(qty)) + MakeTag("uom", command.output("@uom")) +
         MakeTag("rm_status", command.output("@rm_status")) +
         MakeTag("serial_qty", std::to_string(serial_qty));
}

std::string rf_receipt_checkin(Call& call) {
  Command command = call.OpenCommand("receipt_checkin");
  command.inputs({call["client"], call["receipt_no"], call["operator"], "Y"});
  command.Execute();
  return command.status_reply();
}

std::string rf_close_receipt2(Call& call) {
  Command command = call.OpenCommand("rf_close_receipt2");
  command.inputs({call["client"], call["receipt_no"], call["operator"]});
  command.Execute();
  return command.status_reply();
}

}  // namespace talwen
