// Pallet enquiries: which pallets match a typed beginning, where a pallet stands, what it
// holds (three generations of the contents reply, one of them per carton) and which serial
// numbers it carries.
#include <span>

#include "frame/call.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/locations/listing.h"
#include "functions/locations/locations.h"

namespace talwen {
namespace {

// The contents of a pallet; the carton listing adds "carton_no" at the end.
constexpr TagField kContentsTags[] = {
    {"rec_num", "rec_num"},
    {"client", "client"},
    {"item_no", "item_no"},
    {"item_description", "item_description"},
    {"uom", "uom"},
    {"qty_rcvd", "qty_rcvd"},
    {"qty_avail", "qty_avail"},
    {"qty_booked", "qty_booked"},
    {"grade", "grade"},
    {"lot_no", "lot_no"},
    {"batch_no", "batch_no"},
    {"supplier", "supplier"},
    {"owner", "owner"},
    {"receipt_date", "receipt_date", FormatIsoDate},
    {"expiry_date", "expiry_date", FormatIsoDate},
    {"prod_date", "prod_date", FormatIsoDate},
    {"item_size", "item_size"},
    {"item_color", "item_color"},
    {"item_class", "item_class"},
    {"item_width", "item_width"},
    {"item_depth", "item_depth"},
    {"item_height", "item_height"},
    {"item_weight", "item_weight"},
    {"ppq_packing", "ppq_packing"},
    {"ppq_qty", "ppq_qty"},
    {"currency", "Currency"},
    {"unit_cost", "unit_cost"},
    {"carton_no", "carton_no"},
};
constexpr std::span<const TagField> kPalletContents(kContentsTags, std::size(kContentsTags) - 1);

}  // namespace

// Served by the second generation; the first answers nothing and calls nothing.
std::string rf_get_pallet_items(Call&) {
  return {};
}

// The pallet's place once, then its lines numbered from 1; nothing unless the procedure's
// first row reports status 0.
std::string rf_get_pallet_items2(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("rf_get_pallet_items ").text(call["pallet"]));
  return StockLinesReply(rs);
}

std::string rf_get_pallet_items3(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("rf_get_pallet_items3 ").text(call["pallet"]));
  return FieldRecordsReply(rs, kPalletContents);
}

std::string rf_get_pallet_carton_items3(Call& call) {
  Recordset rs = call.OpenRecordset(
      Sql("rf_get_pallet_carton_items3 ").text(call["client"]).text(call["pallet_no"]));
  return FieldRecordsReply(rs, kContentsTags);
}

// The status pair of the first row, and the pallet's place unless the status is negative.
std::string rf_get_pallet_location(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("rf_get_pallet_location ").text(call["pallet"]));
  if (rs.eof()) return {};
  const std::string status = rs.text("sqlstatus");
  OutputBuffer out;
  out.tag("sqlstatus", status);
  out.tag("sqlmsg", rs.field("sqlmsg"));
  if (locations::LeadingNumber(status) >= 0) {
    out.tag("warehouse", rs.field("warehouse"));
    out.tag("location", rs.field("location"));
  }
  return out.take();
}

std::string rf_get_pallet_serial_nos(Call& call) {
  return RecordsReply(call.ExecuteToGrid(Sql("rf_get_pallet_serial_nos ")
                                             .text(call["pallet"])
                                             .text(call["client"])
                                             .text(call.item_no())
                                             .text(call["location_mode"])));
}

std::string rf_get_matching_pallet(Call& call) {
  const std::string& pallet = call["pallet"];
  const Cutoff cutoff(call["limit"], "pallet");
  return RecordsReply(call.ExecuteToGrid(Sql("rf_get_matching_pallet ").text(pallet)), cutoff);
}

std::string rf_get_matching_pallet2(Call& call) {
  const std::string& pallet = call["pallet"];
  const std::string& warehouse = call["warehouse"];
  const Cutoff cutoff(call["limit"], "pallet");
  return RecordsReply(
      call.ExecuteToGrid(Sql("rf_get_matching_pallet2 ").text(pallet).text(warehouse)), cutoff);
}

}  // namespace talwen
