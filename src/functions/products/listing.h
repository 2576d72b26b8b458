// The typed-grid listing of the product handlers.
#pragma once

#include <span>
#include <string>

#include "frame/call.h"
#include "frame/reply.h"
#include "frame/shapes.h"

namespace talwen {

// Every row of a typed grid as a record of all its columns, date columns written as
// "yyyy-mm-dd" (FormatIsoDate), other values as their text.
void WriteTypedRecords(OutputBuffer& out, const TypedGrid& grid);

}  // namespace talwen
