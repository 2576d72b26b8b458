// The handlers of the products RF functions.
#pragma once

#include <string>

namespace talwen {

class Call;

}  // namespace talwen
