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

std::string GridStatusReply(const Call& call, const ResultGrid& grid) {
  if (call.last_sql_error != 0) {
    return StatusReply(std::to_string(call.last_sql_error), call.last_sql_message);
  }
  if (!grid.has_rows()) throw std::out_of_range("no rows in the result");
  return StatusReply(GridValueByName(grid, "sqlstatus", 0).to_text(),
                     GridValueByName(grid, "sqlmsg", 0).to_text());
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

std::string FirstRowFields(const Recordset& rs, std::span<const TagField> fields) {
  OutputBuffer out;
  if (!rs.eof()) WriteFields(out, rs, fields);
  return out.take();
}

void WriteFieldRecords(OutputBuffer& out, Recordset& rs, std::span<const TagField> fields,
                       const Cutoff& cutoff) {
  for (; !rs.eof(); rs.move_next()) {
    out.append("<record>");
    WriteFields(out, rs, fields);
    out.append("</record>");
    if (cutoff.reached(out)) return;
  }
}

std::string FieldRecordsReply(Recordset& rs, std::span<const TagField> fields,
                              const Cutoff& cutoff) {
  OutputBuffer out;
  WriteFieldRecords(out, rs, fields, cutoff);
  return out.take();
}

void WriteFieldPerRow(OutputBuffer& out, Recordset& rs, std::string_view tag,
                      std::string_view field) {
  for (; !rs.eof(); rs.move_next()) out.tag(tag, rs.field(field));
}

std::string FieldPerRowReply(Recordset& rs, std::string_view tag, std::string_view field) {
  OutputBuffer out;
  WriteFieldPerRow(out, rs, tag, field);
  return out.take();
}

std::pair<std::string_view, std::string_view> SplitPalletLabel(std::string_view label) {
  if (label.empty()) return {label, label};
  size_t last = label.size() - 1;
  // Step back over UTF-8 continuation bytes (10xxxxxx) to the start of the last code point.
  while (last > 0 && (static_cast<unsigned char>(label[last]) & 0xC0) == 0x80) --last;
  return {label.substr(0, last), label.substr(last)};
}

}  // namespace talwen
