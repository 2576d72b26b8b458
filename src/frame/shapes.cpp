#include "frame/shapes.h"

#include <stdexcept>

namespace talwen {

std::string AsText(const Value& value) {
  return value.to_text();
}

void WriteFirstRow(OutputBuffer& out, const ResultGrid& grid) {
  // Also when a failed statement left no columns: the handler ends, and the failure is told.
  if (!grid.has_rows()) throw std::out_of_range("no rows in the result");
  for (int c = 0; c <= grid.last_column(); ++c) out.tag(grid.column_name(c), grid(c, 0));
}

std::string FirstRowReply(const ResultGrid& grid) {
  OutputBuffer out;
  WriteFirstRow(out, grid);
  return out.take();
}

void WriteRecords(OutputBuffer& out, const ResultGrid& grid, const Cutoff& cutoff) {
  for (int r = 0; r <= grid.last_row(); ++r) {
    out.append("<record>");
    for (int c = 0; c <= grid.last_column(); ++c) out.tag(grid.column_name(c), grid(c, r));
    out.append("</record>");
    if (cutoff.reached(out)) return;
  }
}

std::string RecordsReply(const ResultGrid& grid, const Cutoff& cutoff) {
  OutputBuffer out;
  WriteRecords(out, grid, cutoff);
  return out.take();
}

void WriteFields(OutputBuffer& out, const ResultGrid& grid, int r,
                 std::span<const TagField> fields) {
  for (const TagField& f : fields) out.tag(f.tag, f.convert(GridValueByName(grid, f.column, r)));
}

void WriteFields(OutputBuffer& out, const Recordset& rs, std::span<const TagField> fields) {
  for (const TagField& f : fields) out.tag(f.tag, f.convert(rs.field(f.column)));
}

}  // namespace talwen
