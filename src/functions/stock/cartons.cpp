// Cartons: creation, mapping to a location, quantities, splitting and enquiries. (Moving a
// carton to another location is with the other moves, in relocation.cpp.)
#include "frame/call.h"
#include "frame/convert.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/stock/stock.h"

namespace talwen {
namespace {

// The carton item list: one record per stock line of the carton. "line_no" (between the two
// tables) is the row counter, 1 for the first row.
constexpr TagField kCartonItemHead[] = {
    {"rec_num", "rec_num"},   {"client", "client"},
    {"item_no", "item_no"},   {"description", "Description"},
    {"uom", "uom"},           {"qty_avail", "qty_avail"},
    {"grade", "grade"},       {"lot_no", "lot_no"},
    {"batch_no", "batch_no"}, {"expiry_date", "expiry_date", FormatIsoDate},
};
constexpr TagField kCartonItemTail[] = {
    {"supplier", "supplier"},
    {"owner", "owner"},
    {"prod_date", "prod_date", FormatIsoDate},
    {"item_size", "item_size"},
    {"item_color", "item_color"},
    {"item_class", "item_class"},
    {"width", "item_width"},
    {"depth", "item_depth"},
    {"height", "item_height"},
    {"weight", "item_weight"},
    {"status", "Status"},
    {"maker", "maker"},
    {"last_update", "last_update", FormatIsoDate},
    {"currency", "Currency"},
    {"unit_cost", "unit_cost"},
    {"ppq_packing", "ppq_packing"},
    {"ppq_qty", "ppq_qty"},
    {"serial_no_flag", "serial_no_flag"},
    {"num_serial", "num_serial"},
};

}  // namespace

std::string rf_create_carton(Call& call) {
  return FirstRowReply(call.ExecuteToGrid(Sql("rf_create_carton ")
                                              .text(call["warehouse"])
                                              .text(call["location"])
                                              .text(call["client"])
                                              .text(call["item_no"])  // no fallback to "item"
                                              .text(call["batch_no"])
                                              .number(call["qty"])
                                              .text(call["uom"])
                                              .text(call["carton_no"])
                                              .text(call["operator"])));
}

std::string rf_map_carton(Call& call) {
  return FirstRowReply(call.ExecuteToGrid(Sql("rf_map_carton ")
                                              .text(call["warehouse"])
                                              .text(call["location"])
                                              .text(call["client"])
                                              .text(call["carton_no"])
                                              .text(call["operator"])));
}

std::string rf_adjust_carton_qty(Call& call) {
  return FirstRowReply(call.ExecuteToGrid(Sql("rf_adjust_carton_qty ")
                                              .text(call["client"])
                                              .text(call["carton_no"])
                                              .number(call["qty"])
                                              .text(call["operator"])));
}

std::string rf_split_carton(Call& call) {
  return FirstRowReply(call.ExecuteToGrid(Sql("rf_split_carton ")
                                              .text(call["client"])
                                              .text(call["parent_carton_no"])
                                              .text(call["child_carton_no"])
                                              .number(call["child_qty"])
                                              .text(call["operator"])));
}

std::string rf_query_carton(Call& call) {
  const ResultGrid grid = call.ExecuteToGrid(
      Sql("rf_query_carton ").text(call["client"]).text(call["carton_no"]).text(call["operator"]));
  return RecordsReply(grid, Cutoff(call["limit"], "item_no"));
}

// The carton's warehouse and location, then its stock lines; nothing at all unless the first
// row's "sqlstatus" is 0.
std::string rf_get_carton_items2(Call& call) {
  Recordset rs =
      call.OpenRecordset(Sql("rf_get_carton_items ").text(call["client"]).text(call["carton_no"]));
  if (rs.eof() || !EqualsZero(rs.field("sqlstatus"))) return {};
  OutputBuffer out;
  out.tag("warehouse", rs.field("warehouse"));
  out.tag("location", rs.field("location"));
  for (int line = 1; !rs.eof(); rs.move_next(), ++line) {
    OutputBuffer record;
    WriteFields(record, rs, kCartonItemHead);
    record.tag("line_no", std::to_string(line));
    WriteFields(record, rs, kCartonItemTail);
    out.tag("record", record.text());
  }
  return out.take();
}

}  // namespace talwen
