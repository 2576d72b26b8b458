// Purchase orders and open receipts: what a client expects to receive, order by order and
// line by line, and the receipts still open.
#include "frame/call.h"
#include "frame/grid.h"
#include "frame/reply.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/receiving/receiving.h"
#include "functions/receiving/support.h"

namespace talwen {
namespace {

constexpr TagField kOpenPo[] = {
    {"client", "client"},
    {"po_no", "order_no"},
    {"po_type", "order_type"},
    {"po_ref_no", "reference_no"},
    {"supplier", "supplier"},
    {"supplier_name", "supplier_name"},
    {"transport_mode", "transport_mode"},
    {"carrier", "carrier"},
    {"last_receipt_no", "last_receipt_no"},
    {"last_receipt_date", "last_receipt", FormatIsoDate},
    {"last_received_by", "received_by"},
    {"created_date", "create_date", FormatIsoDate},
    {"created_by", "maker"},
    {"remarks", "remarks"},
};

constexpr TagField kOpenPoItem[] = {
    {"client", "client"},
    {"po_no", "po_no"},
    {"line_no", "line_no"},
    {"item_no", "item_no"},
    {"item_description", "item_description"},
    {"uom", "uom"},
    {"qty_requested", "qty_requested"},
    {"qty_received", "qty_received"},
    {"qty_balanced", "qty_balanced"},
    {"po_type", "po_type"},
    {"po_ref_no", "po_ref_no"},
    {"supplier", "supplier"},
    {"supplier_name", "supplier_name"},
    {"transport_mode", "transport_mode"},
    {"carrier", "carrier"},
    {"last_receipt_no", "last_receipt_no"},
    {"last_receipt_date", "last_receipt_date", FormatIsoDate},
    {"last_received_by", "last_received_by"},
    {"created_date", "created_date", FormatIsoDate},
    {"created_by", "created_by"},
    {"remarks", "remarks"},
};

// The dates of an order's lines are written as the fields' own text.
constexpr TagField kPoDetail[] = {
    {"line_no", "line_no"},
    {"item_no", "item_no"},
    {"item_description", "Description"},
    {"uom", "uom"},
    {"qty", "qty"},
    {"qty_received", "qty_received"},
    {"qty_putaway", "qty_putaway"},
    {"supplier", "supplier"},
    {"grade", "grade"},
    {"lot_no", "lot"},
    {"batch_no", "batch"},
    {"expiry_date", "expiry_date"},
    {"prod_date", "prod_date"},
    {"item_size", "item_size"},
    {"item_color", "item_color"},
    {"item_class", "item_class"},
    {"status", "Status"},
};

}  // namespace

std::string rf_get_open_pos(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("rf_get_open_pos ").text(call["client"]));
  return FieldRecordsReply(rs, kOpenPo);
}

std::string rf_get_open_po_items(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("rf_get_open_po_items ").text(call["client"]));
  return FieldRecordsReply(rs, kOpenPoItem);
}

std::string rf_get_open_receipts(Call& call) {
  // The two arguments are joined by a comma alone.
  Recordset rs = call.OpenRecordset(
      Sql("rf_get_open_receipts ").text(call["client"]).raw(",").text(call["receipt_no"]));
  return FieldRecordsReply(rs, receiving::kReceiptTags);
}

std::string rf_get_po_detail(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("get_po_detail ").text(call["client"]).text(call["po_no"]));
  return FieldRecordsReply(rs, kPoDetail);
}

std::string rf_get_po(Call& call) {
  const ResultGrid grid =
      call.ExecuteToGrid(Sql("get_po2 ").text(call["client"]).text(call["po_no"]));
  return RecordsReply(grid, Cutoff(call["limit"], "po_no"));
}

}  // namespace talwen
