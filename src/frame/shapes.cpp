#include "frame/shapes.h"

#include <stdexcept>

#include "base/text.h"
#include "frame/convert.h"

namespace talwen {
namespace {

// A stock line: these tags, "line_no", then the rest.
constexpr TagField kStockLineHead[] = {
    {"rec_num", "rec_num"},   {"client", "client"},
    {"item_no", "item_no"},   {"description", "Description"},
    {"uom", "uom"},           {"qty_avail", "qty_avail"},
    {"grade", "grade"},       {"lot_no", "lot_no"},
    {"batch_no", "batch_no"}, {"expiry_date", "expiry_date", FormatIsoDate},
};
constexpr TagField kStockLineTail[] = {
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

bool names_match(std::string_view column, std::string_view name, NameMatch match) {
  return match == NameMatch::kExact ? column == name : iequals(column, name);
}

}  // namespace

std::string AsText(const Value& value) {
  return value.to_text();
}

void WriteFirstRow(OutputBuffer& out, const ResultGrid& grid) {
  // Also when a failed statement left no columns: the handler ends, and the failure is told.
  if (!grid.has_rows()) throw NoRows("no rows in the result");
  for (int c = 0; c <= grid.last_column(); ++c) out.tag(grid.column_name(c), grid(c, 0));
}

std::string FirstRowReply(const ResultGrid& grid) {
  OutputBuffer out;
  WriteFirstRow(out, grid);
  return out.take();
}

std::string SqlErrorReply(const Call& call) {
  return StatusReply(std::to_string(call.last_sql_error), call.last_sql_message);
}

std::string FirstRowText(const ResultGrid& grid, std::string_view column) {
  return grid.has_rows() ? GridValueByName(grid, column, 0).to_text() : std::string();
}

std::string GridStatusReply(const Call& call, const ResultGrid& grid) {
  if (call.last_sql_error != 0) return SqlErrorReply(call);
  if (!grid.has_rows()) throw NoRows("no rows in the result");
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

std::string TabLine(const Recordset& rs, std::span<const LineField> fields) {
  std::string line;
  for (const LineField& f : fields) {
    if (f.pallet_label) {
      const std::string label = rs.text(f.field);
      const auto [body, check] = SplitPalletLabel(label);
      line.append(body).push_back('\t');
      line.append(check).push_back('\t');
    } else {
      rs.field(f.field).append_text(line);
      line.push_back('\t');
    }
  }
  return line;
}

std::string LineRecordsReply(Recordset& rs, std::span<const LineField> fields) {
  OutputBuffer out;
  for (; !rs.eof(); rs.move_next()) out.tag("record", TabLine(rs, fields));
  return out.take();
}

int ColumnNamed(const ResultGrid& grid, std::string_view name, NameMatch match) {
  for (int c = 0; c <= grid.last_column(); ++c) {
    if (names_match(grid.column_name(c), name, match)) return c;
  }
  return -1;
}

RenamedColumns::RenamedColumns(const ResultGrid& grid, std::span<const Renamed> renames,
                               NameMatch match)
    : grid_(grid), renames_(renames) {
  for (const Renamed& r : renames_) columns_.push_back(ColumnNamed(grid_, r.column, match));
}

Value RenamedColumns::value(size_t i, int r) const {
  return columns_.at(i) < 0 ? Value::text("") : grid_(columns_[i], r);
}

void RenamedColumns::WriteRecord(OutputBuffer& out, int r) const {
  out.append("<record>");
  for (size_t i = 0; i < renames_.size(); ++i) out.tag(renames_[i].tag, value(i, r));
  out.append("</record>");
}

void WriteColumnsRenamed(OutputBuffer& out, const ResultGrid& grid, int r,
                         std::span<const Renamed> renames, NameMatch match, bool keep_others) {
  for (int c = 0; c <= grid.last_column(); ++c) {
    const std::string& name = grid.column_name(c);
    bool renamed = false;
    for (const Renamed& rename : renames) {
      if (!names_match(name, rename.column, match)) continue;
      out.tag(rename.tag, grid(c, r));
      renamed = true;
    }
    if (!renamed && keep_others) out.tag(name, grid(c, r));
  }
}

std::string StockLinesReply(Recordset& rs) {
  if (rs.eof() || !EqualsZero(rs.field("sqlstatus"))) return {};
  OutputBuffer out;
  out.tag("warehouse", rs.field("warehouse"));
  out.tag("location", rs.field("location"));
  for (int line = 1; !rs.eof(); rs.move_next(), ++line) {
    OutputBuffer record;
    WriteFields(record, rs, kStockLineHead);
    record.tag("line_no", std::to_string(line));
    WriteFields(record, rs, kStockLineTail);
    out.tag("record", record.text());
  }
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
