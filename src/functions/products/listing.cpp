#include "functions/products/listing.h"

#include "db/connection.h"

namespace talwen {
namespace {

bool is_date_type(int32_t type) {
  return type == db::kTypeDate || type == db::kTypeDbDate || type == db::kTypeDbTime ||
         type == db::kTypeDbTimeStamp;
}

}  // namespace

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
