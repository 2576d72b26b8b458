// The handlers of the picking RF functions.
#pragma once

#include <string>

namespace talwen {

class Call;

}  // namespace talwen
