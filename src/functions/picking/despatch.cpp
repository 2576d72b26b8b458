// Despatch: the pallets waiting for despatch, their contents, and the despatch of a pallet
// onto a trip.
#include <string>

#include "frame/call.h"
#include "frame/reply.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/picking/picking.h"

namespace talwen {

namespace {

// Six values, each followed by a tab; the pallet label gives two.
constexpr LineField kDespatchLine[] = {
    {"warehouse"}, {"customer"}, {"sales_order"}, {"pallet", true}, {"despatch"},
};

constexpr LineField kPalletItemLine[] = {
    {"client"}, {"item_no"}, {"Description"}, {"uom"}, {"qty"},
};

}  // namespace

std::string rf_extract_despatch_list(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("exec rf_extract_despatch_list ")
                                        .text(call["client"])
                                        .text(call["customer"])
                                        .text(call["so_no"]));
  return LineRecordsReply(rs, kDespatchLine);
}

std::string rf_get_despatch_pallet_items(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("exec rf_get_despatch_pallet_items ")
                                        .text(call["client"])
                                        .text(call["so_no"])
                                        .text(call["pallet"]));
  return LineRecordsReply(rs, kPalletItemLine);
}

// "0" when the first row's "sqlstatus" is exactly "0"; every other outcome (a refusal, a
// database error, no row) is the empty reply.
std::string rf_confirm_despatch(Call& call) {
  const ResultGrid grid = call.ExecuteToGrid(Sql("exec rf_confirm_despatch ")
                                                 .text(call["client"])
                                                 .text(call["customer"])
                                                 .text(call["so_no"])
                                                 .text(call["despatch"])
                                                 .text(call["pallet"])
                                                 .text(call["trip"])
                                                 .text(call["vehicle"])
                                                 .text(call["route"])
                                                 .text(call["carrier"])
                                                 .text(call["driver"])
                                                 .text(call["operator"]));
  return FirstRowText(grid, "sqlstatus") == "0" ? "0" : "";
}

}  // namespace talwen
