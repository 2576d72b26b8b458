// The handlers of cycle counting: whether a location can be counted, the stock it holds, the
// start of its count, one counted line or carton per call, the end of the count, and the
// closing of a count task. The counting rules (differences, adjustments, task progress) live
// in the database; the handlers pass the page's values in a fixed order and shape the reply.
#pragma once

#include <string>

namespace talwen {

class Call;

std::string rf_check_location_status(Call& call);
std::string rf_cc_get_location_stock(Call& call);
std::string rf_initialise_rf_stkcount_location(Call& call);
std::string rf_cc_update_cycle_count(Call& call);
std::string rf_update_rf_stkcount_carton(Call& call);
std::string rf_update_rf_stkcount_location(Call& call);
std::string rf_close_count_task(Call& call);

}  // namespace talwen
