// The function table: every RF function this build serves, with its handler and flags.
//
// The program hands RfFunctions() to the frame (Environment::functions); hosts and tests may
// look rows up directly.
#pragma once

#include <span>
#include <string_view>

#include "frame/dispatch.h"

namespace talwen {

// Return the table of every RF function, built on first use.
const FunctionTable& RfFunctions();

// Return every row, in table order.
std::span<const RfFunction> AllFunctions();

// Return the row of a lower-cased function name; nullptr when the name is unknown or not
// served.
const RfFunction* FindFunction(std::string_view lower_name);

}  // namespace talwen
