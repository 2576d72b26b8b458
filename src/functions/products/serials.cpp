// Serial numbers: traced through their history, listed by product, warranty and pallet;
// warranty numbers recorded and serial numbers deleted.
#include <array>

#include "frame/call.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/products/listing.h"
#include "functions/products/products.h"

namespace talwen {
namespace {

// The serial trace list: tag, field.
constexpr auto kSerialTraceFields = std::to_array<TagField>({
    {"serial_no", "serial_no"},
    {"warranty_no", "warranty_no"},
    {"receipt_no", "receipt_no"},
    {"receipt_line", "receipt_line"},
    {"receipt_date", "receipt_date", FormatIsoDate},
    {"supplier", "supplier"},
    {"customer", "customer"},
    {"so_no", "sales_order"},
    {"so_line", "line_no"},
    {"do_no", "delivery_order"},
    {"delivery_date", "delivery_date", FormatIsoDate},
    {"pallet", "pallet"},
    {"wo_no", "works_order"},
    {"task_no", "task_no"},
    {"activity", "activity"},
});

constexpr auto kWarrantyFields = std::to_array<TagField>({
    {"serial_no", "serial_no"},
    {"warranty_no", "warranty_no"},
    {"receipt_no", "receipt_no"},
    {"receipt_date", "receipt_date", FormatIsoDate},
    {"pallet", "pallet"},
    {"warehouse", "warehouse"},
    {"location", "location"},
});

}  // namespace

std::string rf_get_serial_no(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("rf_get_serial_no ")
                                        .text(call["client"])
                                        .text(call["item_no"])
                                        .text(call["serial_no"])
                                        .text(call["search_field"])
                                        .text(call["search_value"]));
  return FieldRecordsReply(rs, kSerialTraceFields, Cutoff(call["limit"], "serial_no"));
}

std::string rf_get_serial_warranty_nos(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("rf_get_serial_warranty_nos ")
                                        .text(call["client"])
                                        .text(call["item_no"])
                                        .text(call["mode"]));
  return FieldRecordsReply(rs, kWarrantyFields, Cutoff(call["limit"], "serial_no"));
}

std::string rf_get_serial_products(Call& call) {
  const ResultGrid grid = call.ExecuteToGrid(Sql("rf_get_serial_products ")
                                                 .text(call["client"])
                                                 .text(call["mode"])
                                                 .text(call["status"])
                                                 .text(call["operator"]));
  return RecordsReply(grid, Cutoff(call["limit"], "item_no"));
}

std::string rf_get_available_serial_nos(Call& call) {
  const TypedGrid grid = call.ExecuteToTypedGrid(Sql("rf_get_available_serial_nos ")
                                                     .text(call["client"])
                                                     .text(call["item_no"])
                                                     .text(call["pallet"]));
  OutputBuffer out;
  WriteTypedRecords(out, grid);
  return out.take();
}

std::string rf_update_serial_warranty(Call& call) {
  Command command = call.OpenCommand("rf_update_serial_warranty");
  command.inputs(
      {call["client"], call["item_no"], call["serial_no"], call["warranty_no"], call["operator"]});
  command.Execute();
  return command.status_reply();
}

std::string rf_delete_serial_no(Call& call) {
  Command command = call.OpenCommand("rf_delete_serial_no");
  command.inputs(
      {call["client"], call["item_no"], call["serial_no"], call["pallet"], call["operator"]});
  command.Execute();
  return command.status_reply();
}

}  // namespace talwen
