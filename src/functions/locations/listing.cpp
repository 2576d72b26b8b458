#include "functions/locations/listing.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace talwen::locations {

double LeadingNumber(std::string_view text) {
  std::string number;
  bool digits = false, point = false, exponent = false;
  for (const char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    const char last = number.empty() ? '\0' : number.back();
    if (c >= '0' && c <= '9') {
      digits = true;
    } else if ((c == '-' || c == '+') && (number.empty() || last == 'e')) {
    } else if (c == '.' && !point && !exponent) {
      point = true;
    } else if ((c == 'e' || c == 'E' || c == 'd' || c == 'D') && digits && !exponent) {
      exponent = true;
      number.push_back('e');
      continue;
    } else {
      break;
    }
    number.push_back(c);
  }
  if (!digits) return 0;
  // strtod stops at a dangling exponent or sign, which is what the reading above allows.
  const double value = std::strtod(number.c_str(), nullptr);
  return std::isfinite(value) ? value : 0;
}

}  // namespace talwen::locations
