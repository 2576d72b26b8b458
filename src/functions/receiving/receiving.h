// The handlers of the receiving RF functions.
#pragma once

#include <string>

namespace talwen {

class Call;

}  // namespace talwen
