// The stock lines of a carton or a pallet, as the carton and pallet contents enquiries write
// them.
#pragma once

#include <string>

#include "frame/call.h"

namespace talwen::stock {

// The place (warehouse and location of the first row) once, then every row as a "record" tag
// holding the line's fixed tags with "line_no" counting from 1. Nothing at all unless the
// first row's "sqlstatus" equals 0. A missing field ends the handler.
std::string PlaceAndNumberedLinesReply(Recordset& rs);

}  // namespace talwen::stock
