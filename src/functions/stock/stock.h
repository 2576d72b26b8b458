// The handlers of the stock RF functions.
#pragma once

#include <string>

namespace talwen {

class Call;

std::string rf_adjust_carton_qty(Call& call);

}  // namespace talwen
