// The handlers of the putaway RF functions.
#pragma once

#include <string>

namespace talwen {

class Call;

}  // namespace talwen
