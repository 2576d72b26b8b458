// Shapes and conversions shared by the picking and despatch handlers.
//
// The pick list, the despatch list and the despatch pallet items answer with tab-separated
// lines, one "<record>" per row: each value is followed by one tab, and the pallet label is
// written as two values, all of it but its last character and then that last character (the
// label's check character). A line is described by a table of LineField rows, read by one
// loop, as the tagged replies are by TagField tables.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "db/value.h"
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

// A pallet label split before its last character: {"PAL", "1"} for "PAL1". The last character
// is the last UTF-8 code point, never a part of one. An empty label gives two empty values, so
// that a line keeps its number of values.
std::pair<std::string_view, std::string_view> SplitPalletLabel(std::string_view label);

// The line of the recordset's current row: every value followed by a tab. A missing field
// throws (the handler ends with the empty reply).
std::string TabLine(const Recordset& rs, std::span<const LineField> fields);

// From the current row to EOF, append MakeTag("record", line) for every row.
void WriteLineRecords(OutputBuffer& out, Recordset& rs, std::span<const LineField> fields);

// Every row from the current one to EOF as "<record>" + the fixed tags + "</record>".
void WriteFieldRecords(OutputBuffer& out, Recordset& rs, std::span<const TagField> fields);

// The text of the named column in row 0; "" when the statement gave no row (or failed).
std::string FirstRowText(const ResultGrid& grid, std::string_view column);

// Does the value equal the number 0? A number of any kind, or a text that reads as one;
// Null, other text and everything else does not.
bool EqualsZero(const Value& value);

// A procedure input that the database takes as a 16-bit integer: the number the text holds
// (blanks, an optional sign, digits and an optional fraction, rounded to the nearest integer,
// ties to even), or 0 when the text is not numeric (the empty text included). A number outside
// -32768..32767 cannot be passed: std::out_of_range is thrown, naming the key, before any
// database call.
Value Int16OrZero(std::string_view key, std::string_view text);

}  // namespace talwen::picking
