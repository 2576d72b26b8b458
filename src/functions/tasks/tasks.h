// The handlers of the tasks RF functions.
#pragma once

#include <string>

namespace talwen {

class Call;

}  // namespace talwen
