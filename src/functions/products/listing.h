// Reply shapes shared by the product and serial-number handlers.
#pragma once

#include <span>
#include <string>

#include "frame/call.h"
#include "frame/reply.h"
#include "frame/shapes.h"

namespace talwen {

// The fixed tags of the recordset's first row; nothing when it has no row.
std::string FirstRowFields(const Recordset& rs, std::span<const TagField> fields);

// Every row of the recordset as "<record>" + the fixed tags + "</record>", stopping with the
// cut-off's sentinel after the record that passes its threshold.
std::string RecordFields(Recordset& rs, std::span<const TagField> fields,
                         const Cutoff& cutoff = {});

// Every row of a typed grid as a record of all its columns, date columns written as
// "yyyy-mm-dd" (FormatIsoDate), other values as their text.
void WriteTypedRecords(OutputBuffer& out, const TypedGrid& grid);

}  // namespace talwen
