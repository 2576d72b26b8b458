#include "functions/products/listing.h"

#include "db/connection.h"

namespace talwen {
namespace {

bool is_date_type(int32_t type) {
  return type == db::kTypeDate || type == db::kTypeDbDate || type == db::kTypeDbTime ||
         type == db::kTypeDbTimeStamp;
}

}  // namespace

std::string FirstRowFields(const Recordset& rs, std::span<const TagField> fields) {
  OutputBuffer out;
  if (!rs.eof()) WriteFields(out, rs, fields);
  return out.take();
}

std::string RecordFields(Recordset& rs, std::span<const TagField> fields, const Cutoff& cutoff) {
  OutputBuffer out;
  while (!rs.eof()) {
    OutputBuffer record;
    WriteFields(record, rs, fields);
    out.tag("record", record.text());
    rs.move_next();
    if (cutoff.reached(out)) break;
  }
  return out.take();
}

void WriteTypedRecords(OutputBuffer& out, const TypedGrid& grid) {
  for (int r = 0; r <= grid.last_row(); ++r) {
    out.append("<record>");
    for (int c = 0; c <= grid.last_column(); ++c) {
      if (is_date_type(grid.column_type(c))) {
        out.tag(grid.column_name(c), FormatIsoDate(grid(c, r)));
      } else {
        out.tag(grid.column_name(c), grid(c, r));
      }
    }
    out.append("</record>");
  }
}

}  // namespace talwen
