// What the receiving handlers share: the conversions of session texts into the typed inputs
// of the receiving procedures and the received line as the session describes it.
//
// A conversion that fails throws ConversionError. Handlers convert every input before they
// open a command, so a bad number or date ends the handler with the empty reply before the
// database is called at all.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "db/value.h"
#include "frame/call.h"
#include "frame/convert.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"

namespace talwen::receiving {

class ConversionError : public BadInput {
 public:
  using BadInput::BadInput;
};

// The receiving inputs keep rules of their own where the frame's conversions (frame/convert.h)
// would round or accept more, and every failure is a ConversionError.
//
// The text as a double by the frame's StrictDouble: optional blanks, an optional sign, digits
// with an optional "." fraction and an optional exponent ("12", "-1.5", " 12.5 ", "1e3").
// Anything else, the empty text included, throws ConversionError.
double StrictNumber(std::string_view text);
// A whole number from -32768 to 32767 ("3", " 3", "3.0"); fractions are refused rather than
// rounded (unlike RoundedInt16 and Int16OrZero), so a line number is never silently changed
// into another one.
int16_t UnroundedInt16(std::string_view text);
// An optional number: Null for the empty text only, else StrictNumber; a text of blanks is
// refused rather than taken as empty.
Value NullOrStrictNumber(std::string_view text);
// An optional 16-bit integer: Null for the empty text only, else UnroundedInt16.
Value NullOrUnroundedInt16(std::string_view text);
// A date text as a date value. Accepted: year first "yyyy-mm-dd" or "yyyy/mm/dd"; day first
// "dd/mm/yyyy", "dd-mm-yyyy" or "dd.mm.yyyy"; "dd Mon yyyy"; each optionally followed by a
// time "hh:mm[:ss]". The order of day and month follows from where the four-digit year
// stands; a month-first text is never assumed. Anything else throws.
Value ToDate(std::string_view text);

// The same conversions of a value the database returned (an output parameter): numbers as
// they are, number texts parsed; Null and other kinds throw.
double StrictNumber(const Value& value);
int16_t UnroundedInt16(const Value& value);

// A receipt as the open and the closed receipt listings write it.
inline constexpr TagField kReceiptTags[] = {
    {"receipt_no", "receipt_no"},
    {"status", "Status"},
    {"receipt_type", "receipt_type"},
    {"warehouse", "warehouse"},
    {"receipt_station", "receipt_station"},
    {"receipt_date", "receipt_date", FormatIsoDate},
    {"supplier", "supplier"},
    {"receipt_ref_no", "receipt_ref_no"},
    {"client_po_no", "client_po_no"},
};

// One received line, as the session gives it (nothing trimmed). The item follows the product
// key fallback ("item" when "item_no" is empty), the production date "mfg_date" when
// "prod_date" is empty.
struct ReceiptLine {
  std::string_view client, receipt_no, line_no, po_no, pallet, item, uom, qty, grade, lot, batch,
      supplier, customer, receipt_date, expiry_date, production_date, size, color, item_class,
      width, depth, height, weight, currency, unit_price, ppq_packing, ppq_qty, user_defined,
      asn_line_no, status, operator_id;

  static ReceiptLine Read(const Call& call);

  // The 29 typed inputs that the line procedures take from position 1, with line_no at
  // position 3. qty is always converted; the dimensions, unit_price and ppq_qty are Null when
  // empty. Throws ConversionError.
  std::vector<Value> Inputs(Value line_no) const;

  // The statement of the user-defined-field procedures: prefix, then the line's 30 arguments
  // with status given by the caller.
  Sql Statement(std::string_view prefix, std::string_view status_arg) const;
};

// Assign values to the command's positions 1, 2, ... in order.
void AssignInputs(Command& command, std::span<const Value> values);

}  // namespace talwen::receiving
