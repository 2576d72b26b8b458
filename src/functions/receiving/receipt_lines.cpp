// Receipt lines and receipt look-ups: editing and deleting stored lines, their user-defined
// fields, the receipt header, receipt types, advance-shipping-notice items, closed receipts of
// an item and the received contents of a carton.
#include "frame/call.h"
#include "frame/grid.h"
#include "frame/reply.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/receiving/receiving.h"
#include "functions/receiving/support.h"

namespace talwen {
namespace {

using receiving::ReceiptLine;

constexpr TagField kReceiptMaster[] = {
    {"receipt_no", "receipt_no"},
    {"receipt_station", "receipt_station"},
    {"receipt_type", "receipt_type"},
    {"warehouse", "warehouse"},
    {"zone", "zone"},
    {"carrier", "carrier"},
    {"vehicle", "vehicle"},
    {"container", "Container"},
    {"receipt_date", "receipt_date", FormatIsoDate},
    {"client", "client"},
    {"customer", "customer"},
    {"supplier", "supplier"},
    {"client_po_no", "client_po_no"},
    {"client_so_no", "client_so_no"},
    {"receipt_ref_no", "receipt_ref_no"},
    {"status", "Status"},
    {"remarks", "remarks"},
    {"asn_flag", "asn_flag"},
};

constexpr TagField kAsnItem[] = {
    {"line_no", "line_no"},
    {"item_no", "item_no"},
    {"item_description", "item_description"},
    {"uom", "uom"},
    {"qty", "qty"},
    {"qty_received", "qty_received"},
    {"qty_balanced", "qty_balanced"},
    {"grade", "grade"},
};

}  // namespace

std::string rf_update_receipt_detail(Call& call) {
  const ReceiptLine line = ReceiptLine::Read(call);
  const std::vector<Value> inputs = line.Inputs(receiving::NullOrUnroundedInt16(line.line_no));
  const Value asn_line_no = receiving::NullOrUnroundedInt16(line.asn_line_no);
  Command command = call.OpenCommand("rf_update_receipt_detail");
  receiving::AssignInputs(command, inputs);
  // Positions 30 and 31 are left to the procedure's defaults.
  command.set(32, asn_line_no);
  command.set(33, line.po_no);
  command.Execute();
  return command.status_reply() + MakeTag("line_no", command.output("@line_no"));
}

std::string rf_delete_receipt_line(Call& call) {
  Command command = call.OpenCommand("rf_delete_receipt_line");
  command.inputs({call["client"], call["receipt_no"], call["line_no"], call["operator"]});
  command.Execute();
  return command.status_reply();
}

std::string rf_update_receipt_detail_udf(Call& call) {
  const ReceiptLine line = ReceiptLine::Read(call);
  // The procedure name is followed directly by the first argument.
  Recordset rs = call.OpenRecordset(line.Statement("rf_update_receipt_detail_udf", line.status));
  if (rs.eof()) return "";
  return StatusReply(rs.text("sqlstatus"), rs.text("sqlmsg"));
}

std::string rf_receipt_item_udf(Call& call) {
  const ReceiptLine line = ReceiptLine::Read(call);
  // No status is read here: the 29th argument is always the empty text.
  return RecordsReply(call.ExecuteToGrid(line.Statement("rf_receipt_item_udf ", "")));
}

std::string rf_get_receipt_detail3(Call& call) {
  return RecordsReply(call.ExecuteToGrid(
      Sql("rf_get_receipt_detail3 ").text(call["client"]).text(call["receipt_no"])));
}

std::string rf_get_receipt_master(Call& call) {
  const std::string& receipt_no = call["receipt_no"].empty() ? call["receipt"] : call["receipt_no"];
  Recordset rs =
      call.OpenRecordset(Sql("rf_get_receipt_master ").text(call["client"]).text(receipt_no));
  OutputBuffer out;
  if (!rs.eof()) WriteFields(out, rs, kReceiptMaster);
  return out.take();
}

std::string rf_get_receipt_type(Call& call) {
  Recordset rs = call.OpenRecordset("rf_get_receipt_type");
  OutputBuffer out;
  for (; !rs.eof(); rs.move_next()) out.tag("receipt_type", rs.field("receipt_type"));
  return out.take();
}

std::string rf_get_receipt_asn_item(Call& call) {
  Recordset rs = call.OpenRecordset(
      Sql("rf_get_receipt_asn_item ").text(call["client"]).text(call["receipt_no"]).literal("1"));
  return FieldRecordsReply(rs, kAsnItem);
}

std::string rf_get_item_closed_receipts(Call& call) {
  Recordset rs = call.OpenRecordset(
      Sql("rf_get_item_closed_receipts ").text(call["client"]).text(call.item_no()));
  return FieldRecordsReply(rs, receiving::kReceiptTags);
}

std::string rf_get_carton_rd(Call& call) {
  const ResultGrid grid = call.ExecuteToGrid(
      Sql("rf_get_carton_rd ").text(call["client"]).text(call["carton_no"]).text(call["operator"]));
  return RecordsReply(grid, Cutoff(call["limit"], "item_no"));
}

}  // namespace talwen
