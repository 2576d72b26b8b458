// Location and item-location enquiries: what a location holds, which locations match a typed
// beginning, where a product is stored and which stock records hold it.
#include "frame/call.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/locations/locations.h"

namespace talwen {
namespace {

constexpr TagField kLocationItemTags[] = {
    {"rec_num", "rec_num"},
    {"client", "client"},
    {"item_no", "item_no"},
    {"item_description", "item_description"},
    {"pallet", "pallet"},
    {"uom", "uom"},
    {"qty_rcvd", "qty_rcvd"},
    {"qty_avail", "qty_avail"},
    {"qty_booked", "qty_booked"},
    {"grade", "grade"},
    {"lot_no", "lot_no"},
    {"batch_no", "batch_no"},
    {"supplier", "supplier"},
    {"owner", "owner"},
    {"expiry_date", "expiry_date", FormatIsoDate},
    {"prod_date", "prod_date", FormatIsoDate},
    {"item_size", "item_size"},
    {"item_color", "item_color"},
    {"item_class", "item_class"},
    {"item_width", "item_width"},
    {"item_depth", "item_depth"},
    {"item_height", "item_height"},
    {"item_weight", "item_weight"},
};

constexpr TagField kLocationCartonTags[] = {
    {"rec_num", "rec_num"},
    {"client", "client"},
    {"item_no", "item_no"},
    {"item_description", "item_description"},
    {"pallet_no", "pallet_no"},
    {"uom", "uom"},
    {"qty_rcvd", "qty_rcvd"},
    {"qty_avail", "qty_avail"},
    {"qty_booked", "qty_booked"},
    {"grade", "grade"},
    {"lot_no", "lot_no"},
    {"batch_no", "batch_no"},
    {"supplier", "supplier"},
    {"owner", "owner"},
    {"expiry_date", "expiry_date", FormatIsoDate},
    {"prod_date", "prod_date", FormatIsoDate},
    {"carton_no", "carton_no"},
};

constexpr TagField kStockRecordTags[] = {
    {"rec_num", "rec_num"},
    {"pallet", "pallet"},
    {"location", "location"},
    {"status", "Status"},
    {"qty_avail", "qty_avail"},
    {"qty_booked", "qty_booked"},
    {"uom", "uom"},
    {"grade", "grade"},
    {"lot_no", "lot_no"},
    {"batch_no", "batch_no"},
    {"supplier", "supplier"},
    {"customer", "customer"},
    {"item_size", "item_size"},
    {"item_color", "item_color"},
    {"item_class", "item_class"},
    {"prod_date", "prod_date", FormatIsoDate},
    {"expiry_date", "expiry_date", FormatIsoDate},
    {"receipt_date", "receipt_date", FormatIsoDate},
    {"origin_country", "origin_country"},
};

constexpr TagField kItemLocationTags[] = {
    {"warehouse", "warehouse"},
    {"location", "location"},
    {"pallet", "pallet"},
    {"uom", "uom"},
    {"qty", "qty"},
    {"status", "Status"},
};

constexpr TagField kMatchingLocationTags[] = {{"location", "location"}, {"zone", "zone"}};

constexpr TagField kMatchingLocationPalletTags[] = {
    {"pallet", "pallet"},
    {"warehouse", "warehouse"},
    {"location", "location"},
    {"zone", "zone"},
};

// A stock line of a product: seven values, each followed by a tab; the pallet label gives two.
constexpr LineField kItemLocationLine[] = {
    {"warehouse"}, {"location"}, {"pallet", true}, {"uom"}, {"qty"}, {"Status"},
};

// The columns "rf_get_item_locations_grade" writes, wherever the result puts them.
constexpr std::string_view kGradeColumns[] = {"warehouse", "location", "pallet", "grade",
                                              "uom",       "qty",      "status"};

// "rf_get_item_locations" and "rf_get_item_locations2" call the same procedure.
Sql ItemLocationsStatement(const Call& call) {
  Sql sql("rf_get_item_locations ");
  sql.text(call["warehouse"]).text(call["client"]).text(call.item_no());
  return sql;
}

}  // namespace

std::string rf_get_location_items(Call& call) {
  Recordset rs = call.OpenRecordset(
      Sql("rf_get_location_items ").text(call["warehouse"]).text(call["location"]));
  return FieldRecordsReply(rs, kLocationItemTags);
}

std::string rf_get_location_cartons(Call& call) {
  Recordset rs = call.OpenRecordset(
      Sql("rf_get_location_cartons ").text(call["warehouse"]).text(call["location"]));
  return FieldRecordsReply(rs, kLocationCartonTags);
}

std::string rf_get_location_serial_nos(Call& call) {
  return RecordsReply(call.ExecuteToGrid(Sql("rf_get_location_serial_nos ")
                                             .text(call["warehouse"])
                                             .text(call["location"])
                                             .text(call["client"])
                                             .text(call.item_no())));
}

std::string rf_get_matching_location(Call& call) {
  const std::string& warehouse = call["warehouse"];
  const std::string& location = call["location"];
  const Cutoff cutoff(call["limit"], "location");
  Recordset rs = call.OpenRecordset(Sql("get_matching_location ").text(warehouse).text(location));
  return FieldRecordsReply(rs, kMatchingLocationTags, cutoff);
}

std::string rf_get_matching_location_pallet(Call& call) {
  const std::string& warehouse = call["warehouse"];
  const std::string& location = call["location"];
  const Cutoff cutoff(call["limit"], "pallet");
  Recordset rs =
      call.OpenRecordset(Sql("get_matching_location_pallet ").text(warehouse).text(location));
  return FieldRecordsReply(rs, kMatchingLocationPalletTags, cutoff);
}

std::string rf_get_warehouse_location_pallet(Call& call) {
  const std::string& warehouse = call["warehouse"];
  const std::string& location = call["location"];
  const std::string& pallet = call["pallet"];
  const Cutoff cutoff(call["limit"], "pallet");
  return RecordsReply(
      call.ExecuteToGrid(
          Sql("rf_get_warehouse_location_pallet ").text(warehouse).text(location).text(pallet)),
      cutoff);
}

// One tab-separated line per stock line, the pallet label split into its body and its check
// character. A line without a pallet (loose stock) keeps its seven values, both pallet parts
// empty.
std::string rf_get_item_locations(Call& call) {
  Recordset rs = call.OpenRecordset(ItemLocationsStatement(call));
  return LineRecordsReply(rs, kItemLocationLine);
}

std::string rf_get_item_locations2(Call& call) {
  Recordset rs = call.OpenRecordset(ItemLocationsStatement(call));
  return FieldRecordsReply(rs, kItemLocationTags);
}

// The marked columns of every row, in the order the result gives them.
std::string rf_get_item_locations_grade(Call& call) {
  TypedGrid grid = call.ExecuteToTypedGrid(Sql("rf_get_item_locations_grade ")
                                               .text(call["warehouse"])
                                               .text(call["client"])
                                               .text(call.item_no()));
  if (!grid.has_rows()) return {};
  for (const std::string_view key : kGradeColumns) SetGridValueByKey(grid, key, Value::text("1"));
  OutputBuffer out;
  for (int r = 0; r <= grid.last_row(); ++r) {
    out.append("<record>");
    for (int c = 0; c <= grid.last_column(); ++c) {
      if (grid.mark(c).to_text() == "1") out.tag(grid.column_name(c), grid(c, r));
    }
    out.append("</record>");
  }
  return out.take();
}

std::string rf_get_item_recnums(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("rf_get_item_recnums ")
                                        .text(call["client"])
                                        .text(call.item_no())
                                        .text(call["warehouse"]));
  return FieldRecordsReply(rs, kStockRecordTags);
}

}  // namespace talwen
