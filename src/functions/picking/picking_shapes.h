// Shapes shared by the picking and despatch handlers.
//
// The pick list, the despatch list and the despatch pallet items answer with tab-separated
// lines, one "<record>" per row: each value is followed by one tab, and the pallet label is
// written as two values, all of it but its last character and then that last character (the
// label's check character). A line is described by a table of LineField rows, read by one
// loop, as the tagged replies are by TagField tables.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "frame/call.h"
#include "frame/reply.h"
#include "frame/shapes.h"

namespace talwen::picking {

// One value of a tab-separated line: the field so named, or, with pallet_label, the two
// values of a pallet label read from that field.
struct LineField {
  std::string_view field;
  bool pallet_label = false;
};

// The line of the recordset's current row: every value followed by a tab. A missing field
// throws (the handler ends with the empty reply).
std::string TabLine(const Recordset& rs, std::span<const LineField> fields);

// From the current row to EOF, MakeTag("record", line) for every row; "" when there is none.
std::string LineRecordsReply(Recordset& rs, std::span<const LineField> fields);

// The text of the named column in row 0; "" when the statement gave no row (or failed).
std::string FirstRowText(const ResultGrid& grid, std::string_view column);

}  // namespace talwen::picking
