// The handlers of the counting RF functions.
#pragma once

#include <string>

namespace talwen {

class Call;

}  // namespace talwen
