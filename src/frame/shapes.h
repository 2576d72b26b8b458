// The reply shapes that recur across handlers, each written once.
//
//   FirstRowReply     one tag per column of the first row, named by the column
//   WriteRecords      "<record>" + one tag per column + "</record>" for every row, with the
//                     optional "<Too many records>" cut-off
//   WriteFields       fixed tags read from named columns, from a table of TagField rows
//   StatusReply       "<sqlstatus>s</sqlstatus><sqlmsg>m</sqlmsg>" (reply.h)
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "frame/call.h"
#include "frame/grid.h"
#include "frame/reply.h"

namespace talwen {

// One tag per column of row 0. Throws std::out_of_range when the statement gave no row (the
// handler then ends with the empty reply).
std::string FirstRowReply(const ResultGrid& grid);
void WriteFirstRow(OutputBuffer& out, const ResultGrid& grid);

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

}  // namespace talwen
