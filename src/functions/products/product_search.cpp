// Product searches: by partial key or description, and by barcode.
#include <array>
#include <string>

#include "frame/call.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "frame/trace_log.h"
#include "functions/products/listing.h"
#include "functions/products/products.h"

namespace talwen {
namespace {

constexpr auto kMatchFields = std::to_array<TagField>({
    {"item_no", "item_no"},
    {"description", "Description"},
    {"alternate_code", "alternate_code"},
    {"substitute", "substitute"},
});

// Both searches call the one procedure.
Sql MatchingProductSql(const Call& call) {
  return Sql("get_matching_product2 ")
      .text(call["client"])
      .text(call.item_no())
      .text(call["status"])
      .text(call["operator"]);
}

}  // namespace

std::string rf_get_matching_product(Call& call) {
  Recordset rs = call.OpenRecordset(MatchingProductSql(call));
  // This search is cut off only when the page asks with exactly "Y".
  const Cutoff cutoff(call["limit"] == "Y" ? "Y" : "", "item_no");
  OutputBuffer out;
  for (; !rs.eof(); rs.move_next()) {
    WriteLogLine(call, rs.text("item_no"));
    WriteLogLine(call, rs.text("Description"));
    OutputBuffer record;
    WriteFields(record, rs, kMatchFields);
    out.tag("record", record.text());
    if (cutoff.reached(out)) break;
  }
  return out.take();
}

std::string rf_get_matching_product2(Call& call) {
  const ResultGrid grid = call.ExecuteToGrid(MatchingProductSql(call));
  return RecordsReply(grid, Cutoff(call["limit"], "item_no"));
}

std::string rf_get_barcode_item_no(Call& call) {
  const TypedGrid grid = call.ExecuteToTypedGrid(
      Sql("rf_get_barcode_item_no ").text(call["client"]).text(call["barcode_no"]));
  OutputBuffer out;
  out.tag("count", std::to_string(grid.last_row() + 1));
  WriteTypedRecords(out, grid);
  return out.take();
}

}  // namespace talwen
