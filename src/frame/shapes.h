// The reply shapes that recur across handlers, each written once.
//
//   FirstRowReply       one tag per column of the first row, named by the column
//   WriteRecords        "<record>" + one tag per column + "</record>" for every row, with the
//                       optional "<Too many records>" cut-off
//   WriteFields         fixed tags read from named columns, from a table of TagField rows
//   FirstRowFields      the fixed tags of a recordset's first row
//   WriteFieldRecords   "<record>" + the fixed tags + "</record>" for every recordset row, with
//                       the optional cut-off
//   WriteFieldPerRow    one tag per recordset row, read from one field
//   LineRecordsReply    one "<record>" per row holding a tab-separated line (LineField rows)
//   RenamedColumns      columns found by name and written under other tags (Renamed rows)
//   StockLinesReply     a carton's or pallet's place, then its numbered stock lines
//   SplitPalletLabel    a pallet label and its check character, written as two values
//   StatusReply         "<sqlstatus>s</sqlstatus><sqlmsg>m</sqlmsg>" (reply.h)
//   SqlErrorReply       the status reply of a failed grid-form statement
//   GridStatusReply     the status reply of a grid-form statement, or its execution error
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "frame/call.h"
#include "frame/grid.h"
#include "frame/reply.h"

namespace talwen {

// One tag per column of row 0. Throws NoRows when the statement gave no row (the handler then
// ends with the empty reply).
std::string FirstRowReply(const ResultGrid& grid);
void WriteFirstRow(OutputBuffer& out, const ResultGrid& grid);

// The status reply of a failed grid-form statement: last_sql_error in decimal (with its sign)
// and last_sql_message.
std::string SqlErrorReply(const Call& call);

// The text of the named column (GridValueByName) in row 0; "" when the statement gave no row
// or failed. For the handlers that go on whatever the statement did.
std::string FirstRowText(const ResultGrid& grid, std::string_view column);

// The status reply of a statement run in the grid form, for the handlers that report database
// errors: when the statement failed, SqlErrorReply; otherwise the "sqlstatus" and "sqlmsg" columns
// of row 0, found by name (blanks and letter case aside; a missing column is written empty). A
// statement that answered no row ends the handler (NoRows), also when it gave no columns.
std::string GridStatusReply(const Call& call, const ResultGrid& grid);

// Every row as a record of all its columns; nothing when there are no rows. With an active
// cutoff the listing stops after the record that passes the threshold, with the sentinel.
void WriteRecords(OutputBuffer& out, const ResultGrid& grid, const Cutoff& cutoff = {});
std::string RecordsReply(const ResultGrid& grid, const Cutoff& cutoff = {});

// How a fixed tag's value is written.
using Conversion = std::string (*)(const Value&);
std::string AsText(const Value& value);  // the value's text, Null as ""

// A fixed tag: written under `tag`, read from the column (or field) named `column`.
struct TagField {
  std::string_view tag;
  std::string_view column;
  Conversion convert = AsText;
};

// The fixed tags of row r, each read with GridValueByName (a missing column gives "").
void WriteFields(OutputBuffer& out, const ResultGrid& grid, int r,
                 std::span<const TagField> fields);
// The fixed tags of the recordset's current row, each read as a field (a missing field ends
// the handler).
void WriteFields(OutputBuffer& out, const Recordset& rs, std::span<const TagField> fields);

// The fixed tags of the recordset's current (first) row; "" when it has no row.
std::string FirstRowFields(const Recordset& rs, std::span<const TagField> fields);

// Every row from the current one to EOF as "<record>" + the fixed tags + "</record>"; nothing
// when there are no rows. With an active cutoff the listing stops after the record that passes
// the threshold, with the sentinel.
void WriteFieldRecords(OutputBuffer& out, Recordset& rs, std::span<const TagField> fields,
                       const Cutoff& cutoff = {});
std::string FieldRecordsReply(Recordset& rs, std::span<const TagField> fields,
                              const Cutoff& cutoff = {});

// One element per row from the current one to EOF: the value of `field` written under `tag`.
void WriteFieldPerRow(OutputBuffer& out, Recordset& rs, std::string_view tag,
                      std::string_view field);
std::string FieldPerRowReply(Recordset& rs, std::string_view tag, std::string_view field);

// One value of a tab-separated line: the field so named, or, with pallet_label, the two
// values of a pallet label read from that field (SplitPalletLabel).
struct LineField {
  std::string_view field;
  bool pallet_label = false;
};

// The line of the recordset's current row: every value followed by one tab. A missing field
// ends the handler.
std::string TabLine(const Recordset& rs, std::span<const LineField> fields);
// From the current row to EOF, MakeTag("record", line) for every row; "" when there is none.
std::string LineRecordsReply(Recordset& rs, std::span<const LineField> fields);

// A result column written under another tag name.
struct Renamed {
  std::string_view column;
  std::string_view tag;
};

// How a column name is compared with a Renamed row's: exactly, or without regard to the case
// of ASCII letters. (GridValueByName also ignores blanks around names; these do not.)
enum class NameMatch { kExact, kCaseBlind };

// The index of the first column of grid whose name matches name; -1 when none does.
int ColumnNamed(const ResultGrid& grid, std::string_view name, NameMatch match);

// The columns of a table of Renamed rows as one grid has them: each row's first matching
// column, or none.
class RenamedColumns {
 public:
  RenamedColumns(const ResultGrid& grid, std::span<const Renamed> renames, NameMatch match);

  // The value of renames[i] in row r; the empty text when the grid lacks that column.
  Value value(size_t i, int r) const;
  // "<record>", each Renamed row's tag with its value in row r, "</record>".
  void WriteRecord(OutputBuffer& out, int r) const;

 private:
  const ResultGrid& grid_;
  std::span<const Renamed> renames_;
  std::vector<int> columns_;  // per Renamed row: its column, or -1
};

// Row r's columns in the grid's own order: a column that a Renamed row matches under that
// row's tag (once per matching row), any other column under its own name when keep_others,
// else not at all.
void WriteColumnsRenamed(OutputBuffer& out, const ResultGrid& grid, int r,
                         std::span<const Renamed> renames, NameMatch match, bool keep_others);

// The stock lines of a carton or a pallet: the place (the first row's "warehouse" and
// "location") once, then every row as a "record" tag holding the line's fixed tags with
// "line_no" counting from 1. Nothing at all unless the first row's "sqlstatus" equals 0. A
// missing field ends the handler.
std::string StockLinesReply(Recordset& rs);

// A pallet label split before its last character, the label's check character: {"PAL", "1"}
// for "PAL1". The last character is the last UTF-8 code point, never a part of one. An empty
// label gives two empty values.
std::pair<std::string_view, std::string_view> SplitPalletLabel(std::string_view label);

}  // namespace talwen
