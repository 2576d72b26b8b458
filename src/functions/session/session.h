// The handlers of the session RF functions.
#pragma once

#include <string>

namespace talwen {

class Call;

std::string rf_get_last_client_accessed(Call& call);
std::string rf_system_logout(Call& call);

}  // namespace talwen
