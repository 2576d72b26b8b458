// Small pieces shared by the location and pallet enquiries: fixed-tag listings over a
// recordset, the split of a pallet label, and the number tests of a status field.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "frame/call.h"
#include "frame/reply.h"
#include "frame/shapes.h"

namespace talwen::locations {

// Every row until EOF as "<record>" + the fixed tags + "</record>"; with an active cut-off the
// listing stops after the record that passes the threshold, with the sentinel record. A
// missing field ends the handler.
void WriteRows(OutputBuffer& out, Recordset& rs, std::span<const TagField> fields,
               const Cutoff& cutoff = {});
std::string RowsReply(Recordset& rs, std::span<const TagField> fields, const Cutoff& cutoff = {});

// A pallet label as its body and its check character: "P0000017" gives {"P000001", "7"}. The
// empty label gives two empty parts. Characters are whole UTF-8 sequences.
std::pair<std::string_view, std::string_view> SplitCheckCharacter(std::string_view label);

// Does the value equal the number 0? Numbers by value; text when it is the text of a number;
// Null and everything else never.
bool EqualsZero(const Value& value);

// The number a text begins with, reading as far as it can: blanks anywhere are skipped, then
// an optional sign, digits, an optional fraction and exponent; 0 when there is no number
// (so "" and "abc" are 0, "-2 rows" is -2).
double LeadingNumber(std::string_view text);

}  // namespace talwen::locations
