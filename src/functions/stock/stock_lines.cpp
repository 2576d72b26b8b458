#include "functions/stock/stock_lines.h"

#include "frame/convert.h"
#include "frame/grid.h"
#include "frame/reply.h"
#include "frame/shapes.h"

namespace talwen::stock {
namespace {

// A stock line: these tags, "line_no", then the rest.
constexpr TagField kLineHead[] = {
    {"rec_num", "rec_num"},   {"client", "client"},
    {"item_no", "item_no"},   {"description", "Description"},
    {"uom", "uom"},           {"qty_avail", "qty_avail"},
    {"grade", "grade"},       {"lot_no", "lot_no"},
    {"batch_no", "batch_no"}, {"expiry_date", "expiry_date", FormatIsoDate},
};
constexpr TagField kLineTail[] = {
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

std::string PlaceAndNumberedLinesReply(Recordset& rs) {
  if (rs.eof() || !EqualsZero(rs.field("sqlstatus"))) return {};
  OutputBuffer out;
  out.tag("warehouse", rs.field("warehouse"));
  out.tag("location", rs.field("location"));
  for (int line = 1; !rs.eof(); rs.move_next(), ++line) {
    OutputBuffer record;
    WriteFields(record, rs, kLineHead);
    record.tag("line_no", std::to_string(line));
    WriteFields(record, rs, kLineTail);
    out.tag("record", record.text());
  }
  return out.take();
}

}  // namespace talwen::stock
