// Cartons: creation, mapping to a location, quantities, splitting and enquiries. (Moving a
// carton to another location is with the other moves, in relocation.cpp.)
#include "frame/call.h"
#include "frame/convert.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/stock/stock.h"

namespace talwen {
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
  return StockLinesReply(rs);
}

}  // namespace talwen
