// The number test of a status field that the pallet enquiries share. (The listings, the split
// of a pallet label and the test for zero are the frame's: src/frame/shapes.h, convert.h.)
#pragma once

#include <string_view>

namespace talwen::locations {

// The number a text begins with, reading as far as it can: blanks anywhere are skipped, then
// an optional sign, digits, an optional fraction and exponent; 0 when there is no number
// (so "" and "abc" are 0, "-2 rows" is -2). Unlike the frame's NumberOf, which wants the whole
// text to be a number, trailing text is ignored and exponents are read.
double LeadingNumber(std::string_view text);

}  // namespace talwen::locations
