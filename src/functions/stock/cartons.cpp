// Cartons: quantities, creation, mapping, splitting and enquiries.
#include "frame/call.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/stock/stock.h"

namespace talwen {

std::string rf_adjust_carton_qty(Call& call) {
  return FirstRowReply(call.ExecuteToGrid(Sql("rf_adjust_carton_qty ")
                                              .text(call["client"])
                                              .text(call["carton_no"])
                                              .number(call["qty"])
                                              .text(call["operator"])));
}

}  // namespace talwen
