// The handlers of the locations RF functions.
#pragma once

#include <string>

namespace talwen {

class Call;

}  // namespace talwen
