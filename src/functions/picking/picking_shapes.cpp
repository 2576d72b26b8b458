#include "functions/picking/picking_shapes.h"

#include "frame/grid.h"

namespace talwen::picking {

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

std::string FirstRowText(const ResultGrid& grid, std::string_view column) {
  return grid.has_rows() ? GridValueByName(grid, column, 0).to_text() : std::string();
}

}  // namespace talwen::picking
